#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/worker_thread.h"

namespace {

// A worker thread running a job the test can hold inside its work until
// released, with the main thread's hand-off state; stopped (gate opened) on
// destruction, also when a test fails half-way.
struct GatedWorker {
    std::mutex mutex;
    std::condition_variable cv;
    bool open = true;
    std::atomic<int> runs{0};
    std::atomic<bool> inside{false};
    WorkerJob job;
    WorkerThread worker;
    PassTracker tracker;
    ChangeFlags flags{}, request{}, lastRequest{};
    // Whether the engine has work left may be asked only between passes.
    std::atomic<int> askedWhileRunning{0};

    GatedWorker() {
        job.owner = this;
        job.work = work;
        launchWorker(worker, job);
    }
    ~GatedWorker() {
        setOpen(true);
        stopWorker(worker);
    }
    // A pass: it sees the request it was started with, then waits at the gate.
    static void work(void* self) {
        auto& w = *static_cast<GatedWorker*>(self);
        w.inside = true;
        w.lastRequest = w.request;
        std::unique_lock<std::mutex> lock(w.mutex);
        w.cv.wait(lock, [&] { return w.open; });
        w.inside = false;
        ++w.runs;
    }
    void setOpen(bool value) {
        std::lock_guard<std::mutex> lock(mutex);
        open = value;
        cv.notify_all();
    }
    void waitInside() {
        while (!inside) std::this_thread::yield();
    }
    static bool unfinished(void* self) {
        auto& w = *static_cast<GatedWorker*>(self);
        if (w.inside) ++w.askedWhileRunning;
        return false;  // never any work left
    }
    // The snapshot a pass starts from: here, the change flags it was handed.
    static void copyRequest(void* self, const ChangeFlags& changes) {
        static_cast<GatedWorker*>(self)->request = changes;
    }
    bool frame() { return updateStarFieldHandOff(tracker, flags, worker, {unfinished, copyRequest, this}); }
    int framesUntilCollected() {
        for (int frame = 1; frame < 100000; ++frame) {
            if (this->frame()) return frame;
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
        return -1;
    }
};

}  // namespace

TEST(WorkerHandOff, ASettingChangedDuringAPassGivesExactlyOneMorePass) {
    GatedWorker w;
    w.setOpen(false);
    w.flags.viewpointMoved = 1;
    EXPECT_FALSE(w.frame());
    w.waitInside();
    // Changes while the pass runs: remembered, the pass left alone.
    for (int frame = 0; frame < 5; ++frame) {
        w.flags.settingsChanged = 1;
        EXPECT_FALSE(w.frame());
    }
    EXPECT_TRUE(w.tracker.restartPending);
    EXPECT_EQ(w.askedWhileRunning, 0);
    w.setOpen(true);
    EXPECT_GT(w.framesUntilCollected(), 0);
    EXPECT_EQ(w.runs, 1);
    // The next frame starts the one further pass with the remembered change.
    EXPECT_GT(w.framesUntilCollected(), 0);
    EXPECT_EQ(w.runs, 2);
    EXPECT_EQ(w.lastRequest.settingsChanged, 1);
    EXPECT_FALSE(w.tracker.restartPending);  // forgotten once its pass started
    for (int i = 0; i < 50; ++i) w.frame();
    EXPECT_EQ(w.runs, 2);
}

// Nothing changing starts no pass; any one of the flags alone starts one,
// reaches it in the request and is cleared.
TEST(WorkerHandOff, EveryFlagAloneStartsAPassAndNothingElseDoes) {
    uint8_t ChangeFlags::*const each[] = {&ChangeFlags::viewpointMoved, &ChangeFlags::settingsChanged,
                                          &ChangeFlags::swapChainRecreated, &ChangeFlags::labelsChanged};
    GatedWorker w;
    int runs = 0;
    for (auto flag : each) {
        for (int i = 0; i < 50; ++i) EXPECT_FALSE(w.frame());
        EXPECT_EQ(w.runs, runs);
        w.flags.*flag = 1;
        EXPECT_GT(w.framesUntilCollected(), 0);
        EXPECT_EQ(w.runs, ++runs);
        EXPECT_EQ(w.request.*flag, 1);
        EXPECT_FALSE(w.flags.any());
    }
}

// Waiting for the pass collects it in the frame that starts it, each start
// running the job once; unfinished work resumes without changes.
TEST(WorkerHandOff, WaitForPassAndUnfinishedWork) {
    GatedWorker w;
    w.tracker.waitForPass = true;
    for (int i = 1; i <= 200; ++i) {
        w.flags.viewpointMoved = 1;
        EXPECT_TRUE(w.frame());
        EXPECT_EQ(w.runs, i);
        EXPECT_FALSE(w.job.running);
    }
    w.tracker.waitForPass = false;
    w.runs = 0;
    int remaining = 3;
    auto unfinished = [](void* counter) { return *static_cast<int*>(counter) > 0; };
    for (int frame = 0; frame < 2000 && w.runs < 3; ++frame) {
        if (updateStarFieldHandOff(w.tracker, w.flags, w.worker, {unfinished, nullptr, &remaining})) --remaining;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    EXPECT_EQ(w.runs, 3);
}

// Idle, or while a pass runs: then after it. (The worker's destructor stops
// it a second time: that does nothing.)
TEST(WorkerHandOff, StoppingJoinsAfterAnyRunningPass) {
    for (const bool running : {false, true}) {
        SCOPED_TRACE(running ? "while a pass runs" : "idle");
        GatedWorker w;
        w.setOpen(false);
        if (running) {
            startJob(w.worker);
            w.waitInside();
        }
        std::thread releaser([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            w.setOpen(true);
        });
        stopWorker(w.worker);
        EXPECT_EQ(w.runs, running ? 1 : 0);
        EXPECT_FALSE(w.worker.thread->joinable());
        releaser.join();
    }
}
