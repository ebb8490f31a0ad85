// Helper threads for star generation. The star field hands them voxels to
// generate ahead of its pass (tasks), and collects each result when the pass
// reaches that voxel; a task not taken by a helper yet is then run on the
// pass's own thread, and while a helper is still at work on the one the pass
// needs, the pass's thread runs the next queued task instead of idling.
// Everything a task reads or writes besides its own context is read-only
// while it runs; the pool's mutex orders the hand-over of its result.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "starfield/star_generation.h"

// What the machine offers: std::thread::hardware_concurrency, at least 1.
unsigned hardwareThreads();

enum PoolTaskState : uint8_t {
    TASK_IDLE,     // not submitted, or taken back unrun
    TASK_QUEUED,   // waiting for a thread
    TASK_RUNNING,  // being run
    TASK_DONE,     // run; its results may be read
};

struct PoolTask {
    void (*run)(void* context, GenerationWorkspace& workspace) = nullptr;
    void* context = nullptr;
    PoolTaskState state = TASK_IDLE;  // under the pool's mutex
};

struct GenerationPool {
    // Starts `helpers` threads (0 is allowed: every task then runs in finish).
    explicit GenerationPool(unsigned helpers);
    // Takes back queued tasks, waits for running ones and joins the threads.
    ~GenerationPool();
    GenerationPool(const GenerationPool&) = delete;
    GenerationPool& operator=(const GenerationPool&) = delete;

    unsigned helpers() const { return static_cast<unsigned>(threads.size()); }
    // Queues tasks (first in, first out), waking helpers once for all of
    // them. A task must stay alive and untouched until it is done or taken
    // back.
    void submit(PoolTask* const* tasks, size_t count);
    void submit(PoolTask& task) {
        PoolTask* one = &task;
        submit(&one, 1);
    }
    // Returns once the task is done: runs it here (with `workspace`) when no
    // helper has taken it, otherwise runs other queued tasks here until the
    // helper has finished it. True when the task has run; false for a task
    // that was neither queued nor running (idle).
    bool finish(PoolTask& task, GenerationWorkspace& workspace);
    // Runs queued tasks here too until every submitted task is done.
    void drain(GenerationWorkspace& workspace);
    // Whether the task has run (it may then be destroyed).
    bool done(const PoolTask& task);
    // Takes back every queued task (it goes back to idle, unrun) and waits
    // until no task runs.
    void settle();

  private:
    void helperLoop();
    // Runs a task on this thread, the mutex released meanwhile.
    void runHere(PoolTask& task, GenerationWorkspace& workspace, std::unique_lock<std::mutex>& lock);

    std::mutex mutex;
    std::condition_variable workReady;  // a task was queued, or the pool stops
    std::condition_variable taskDone;   // a task finished
    std::deque<PoolTask*> queue;
    unsigned running = 0;
    bool stopping = false;
    std::vector<std::thread> threads;
};
