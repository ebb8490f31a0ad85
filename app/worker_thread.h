// The two long-lived worker threads (star field, control panel) and the
// hand-off between them and the main thread.
//
// Per worker there are two mutexes: the worker holds startMutex except while it
// waits for a job, the main thread holds doneMutex (through doneLock) except
// while it waits for a job to finish. Locking the partner's mutex therefore
// only succeeds while the partner waits, so no signal can be lost. Every wait
// is guarded by a flag written under the waiter's mutex, so spurious wake-ups
// simply wait again.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "state/program_state.h"

// What a worker runs: work(owner) once per start. running is raised by the
// main thread just before a start and cleared by the worker as soon as the
// work is done; the main thread polls it between frames.
struct WorkerJob {
    void* owner = nullptr;
    void (*work)(void* owner) = nullptr;
    std::atomic<bool> running{false};
};

struct WorkerThread {
    WorkerJob* job = nullptr;
    std::unique_ptr<std::thread> thread;
    std::condition_variable startSignal;
    std::mutex startMutex;  // held by the worker except while it waits for a start
    std::condition_variable doneSignal;
    std::mutex doneMutex;  // held by the main thread except while it waits for a finish
    std::unique_lock<std::mutex> doneLock{doneMutex, std::defer_lock};
    std::atomic<bool> stop{false};
    bool startPosted = false;  // under startMutex: a start the worker has not taken yet
    bool donePosted = false;   // under doneMutex: a finish the main thread has not collected yet
};

// Main thread: takes doneLock and starts the thread, which waits for its first job.
void launchWorker(WorkerThread& worker, WorkerJob& job);

// Main thread: raise the job's running flag and wake the worker.
void startJob(WorkerThread& worker);

// Main thread: wait until the worker has signalled the end of the job started last.
void waitForJob(WorkerThread& worker);

// Main thread, at shutdown: lets a running job finish, stops and joins the thread.
// Does nothing when the worker was already stopped.
void stopWorker(WorkerThread& worker);

// Main thread bookkeeping of star-field passes.
struct PassTracker {
    bool passWasRunning = false;
    bool restartPending = false;
    bool waitForPass = false;  // collect every pass in the frame that started it
};

// What the hand-off asks of the star field, on the main thread.
struct PassHooks {
    // Work left over from the last pass; asked only while no pass runs.
    bool (*unfinished)(void* context) = nullptr;
    // Right before a pass starts, with the change flags handed to it: the
    // snapshot the pass will work from.
    void (*prepare)(void* context, const ChangeFlags& changes) = nullptr;
    void* context = nullptr;
};

// One frame of the star-field hand-off. Starts a pass (handing the flags to
// prepare and clearing them) when something changed and none is running,
// remembers changes that arrive while one runs, and collects a finished pass.
// Returns true when a pass was collected this frame: its results are then
// ready for upload.
bool updateStarFieldHandOff(PassTracker& tracker, ChangeFlags& flags, WorkerThread& worker, const PassHooks& hooks);
