#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/worker_thread.h"

namespace {

// A job the test can hold inside its work until released.
struct GatedJob {
    std::mutex mutex;
    std::condition_variable cv;
    bool open = true;
    std::atomic<int> runs{0};
    std::atomic<bool> inside{false};
    ChangeFlags lastRequest{};
    ChangeFlags* request = nullptr;

    static void work(void* self) {
        auto& job = *static_cast<GatedJob*>(self);
        job.inside = true;
        if (job.request) job.lastRequest = *job.request;
        std::unique_lock<std::mutex> lock(job.mutex);
        job.cv.wait(lock, [&] { return job.open; });
        job.inside = false;
        ++job.runs;
    }
    void close() {
        std::lock_guard<std::mutex> lock(mutex);
        open = false;
    }
    void release() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            open = true;
        }
        cv.notify_all();
    }
    void waitInside() {
        while (!inside) std::this_thread::yield();
    }
};

bool neverUnfinished(void*) { return false; }

// Frames until the running pass has been collected.
int framesUntilCollected(PassTracker& t, ChangeFlags& flags, ChangeFlags& request, WorkerThread& w) {
    for (int frame = 1; frame < 100000; ++frame) {
        if (updateStarFieldHandOff(t, flags, request, w, neverUnfinished, nullptr)) return frame;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    return -1;
}

}  // namespace

TEST(WorkerHandOff, EachStartRunsTheJobOnceAndTheWaitReturnsAfterIt) {
    GatedJob gate;
    WorkerJob job;
    job.owner = &gate;
    job.work = GatedJob::work;
    WorkerThread worker;
    launchWorker(worker, job);
    for (int i = 1; i <= 200; ++i) {
        startJob(worker);
        waitForJob(worker);
        EXPECT_EQ(gate.runs, i);
        EXPECT_FALSE(job.running);
    }
    stopWorker(worker);
    stopWorker(worker);  // a second stop does nothing
    EXPECT_EQ(gate.runs, 200);
}

TEST(WorkerHandOff, NothingChangingStartsNoPass) {
    GatedJob gate;
    WorkerJob job;
    job.owner = &gate;
    job.work = GatedJob::work;
    WorkerThread worker;
    launchWorker(worker, job);
    PassTracker tracker;
    ChangeFlags flags{}, request{};
    for (int i = 0; i < 50; ++i) EXPECT_FALSE(updateStarFieldHandOff(tracker, flags, request, worker, neverUnfinished, nullptr));
    EXPECT_EQ(gate.runs, 0);
    flags.viewpointMoved = 1;
    EXPECT_GT(framesUntilCollected(tracker, flags, request, worker), 0);
    EXPECT_EQ(gate.runs, 1);
    EXPECT_EQ(request.viewpointMoved, 1);
    EXPECT_FALSE(flags.any());
    for (int i = 0; i < 50; ++i) EXPECT_FALSE(updateStarFieldHandOff(tracker, flags, request, worker, neverUnfinished, nullptr));
    EXPECT_EQ(gate.runs, 1);
    stopWorker(worker);
}

TEST(WorkerHandOff, ASettingChangedDuringAPassGivesExactlyOneMorePass) {
    GatedJob gate;
    WorkerJob job;
    job.owner = &gate;
    job.work = GatedJob::work;
    WorkerThread worker;
    launchWorker(worker, job);
    PassTracker tracker;
    ChangeFlags flags{}, request{};
    gate.request = &request;

    gate.close();
    flags.viewpointMoved = 1;
    EXPECT_FALSE(updateStarFieldHandOff(tracker, flags, request, worker, neverUnfinished, nullptr));
    gate.waitInside();
    // Changes while the pass runs: remembered, the pass left alone.
    for (int frame = 0; frame < 5; ++frame) {
        flags.settingsChanged = 1;
        EXPECT_FALSE(updateStarFieldHandOff(tracker, flags, request, worker, neverUnfinished, nullptr));
    }
    EXPECT_TRUE(tracker.restartPending);
    gate.release();
    EXPECT_GT(framesUntilCollected(tracker, flags, request, worker), 0);
    EXPECT_EQ(gate.runs, 1);
    // The next frame starts the one further pass with the remembered change.
    EXPECT_GT(framesUntilCollected(tracker, flags, request, worker), 0);
    EXPECT_EQ(gate.runs, 2);
    EXPECT_EQ(gate.lastRequest.settingsChanged, 1);
    for (int i = 0; i < 50; ++i) updateStarFieldHandOff(tracker, flags, request, worker, neverUnfinished, nullptr);
    EXPECT_EQ(gate.runs, 2);
    stopWorker(worker);
}

TEST(WorkerHandOff, WaitForPassCollectsInTheStartingFrame) {
    GatedJob gate;
    WorkerJob job;
    job.owner = &gate;
    job.work = GatedJob::work;
    WorkerThread worker;
    launchWorker(worker, job);
    PassTracker tracker;
    tracker.waitForPass = true;
    ChangeFlags flags{}, request{};
    for (int i = 1; i <= 20; ++i) {
        flags.viewpointMoved = 1;
        EXPECT_TRUE(updateStarFieldHandOff(tracker, flags, request, worker, neverUnfinished, nullptr));
        EXPECT_EQ(gate.runs, i);
    }
    stopWorker(worker);
}

TEST(WorkerHandOff, UnfinishedWorkResumesWithoutChanges) {
    GatedJob gate;
    WorkerJob job;
    job.owner = &gate;
    job.work = GatedJob::work;
    WorkerThread worker;
    launchWorker(worker, job);
    PassTracker tracker;
    ChangeFlags flags{}, request{};
    int remaining = 3;
    auto unfinished = [](void* counter) { return *static_cast<int*>(counter) > 0; };
    for (int frame = 0; frame < 2000 && gate.runs < 3; ++frame) {
        if (updateStarFieldHandOff(tracker, flags, request, worker, unfinished, &remaining)) --remaining;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    EXPECT_EQ(gate.runs, 3);
    stopWorker(worker);
}

TEST(WorkerHandOff, QuittingWhileAPassRunsWaitsForItAndJoins) {
    GatedJob gate;
    WorkerJob job;
    job.owner = &gate;
    job.work = GatedJob::work;
    WorkerThread worker;
    launchWorker(worker, job);
    gate.close();
    startJob(worker);
    gate.waitInside();
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        gate.release();
    });
    stopWorker(worker);  // returns only after the pass ended and the thread joined
    EXPECT_EQ(gate.runs, 1);
    EXPECT_FALSE(worker.thread->joinable());
    releaser.join();
}

TEST(WorkerHandOff, StoppingAnIdleWorkerJoinsAtOnce) {
    GatedJob gate;
    WorkerJob job;
    job.owner = &gate;
    job.work = GatedJob::work;
    WorkerThread worker;
    launchWorker(worker, job);
    stopWorker(worker);
    EXPECT_EQ(gate.runs, 0);
    EXPECT_FALSE(worker.thread->joinable());
}
