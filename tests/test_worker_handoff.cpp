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
    // Whether the engine has work left may be asked only between passes;
    // each pass does one pass's worth of what is left.
    std::atomic<int> askedWhileRunning{0}, leftOver{0};

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
        if (w.leftOver > 0) --w.leftOver;
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
        return w.leftOver > 0;
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

// Each flag alone starts a pass, reaches it in the request and is cleared;
// another change while the pass runs is remembered, the pass left alone, and
// gives exactly one more pass once it is collected; nothing changing, none.
TEST(WorkerHandOff, EachFlagStartsAPassAndAChangeDuringItExactlyOneMore) {
    uint8_t ChangeFlags::*const each[] = {&ChangeFlags::viewpointMoved, &ChangeFlags::settingsChanged,
                                          &ChangeFlags::swapChainRecreated, &ChangeFlags::labelsChanged};
    GatedWorker w;
    int runs = 0;
    for (size_t k = 0; k < std::size(each); ++k) {
        const auto flag = each[k], later = each[(k + 1) % std::size(each)];
        w.setOpen(false);
        w.flags.*flag = 1;
        EXPECT_FALSE(w.frame());
        ASSERT_TRUE(w.job.running) << k;
        w.waitInside();
        for (int frame = 0; frame < 5; ++frame) {
            w.flags.*later = 1;
            EXPECT_FALSE(w.frame());
        }
        EXPECT_TRUE(w.tracker.restartPending);
        w.setOpen(true);
        EXPECT_GT(w.framesUntilCollected(), 0);
        EXPECT_EQ(w.runs, ++runs);
        // The next frame starts the one further pass with the remembered change.
        EXPECT_GT(w.framesUntilCollected(), 0);
        EXPECT_EQ(w.runs, ++runs);
        EXPECT_EQ(w.lastRequest.*later, 1);
        EXPECT_FALSE(w.tracker.restartPending);  // forgotten once its pass started
        for (int i = 0; i < 50; ++i) EXPECT_FALSE(w.frame());
        EXPECT_EQ(w.runs, runs);
    }
    EXPECT_EQ(w.askedWhileRunning, 0);
}

// Waiting for the pass collects it in the frame that starts it, each start
// running the job once; unfinished work resumes without changes. Stopping
// joins after a running pass, and an idle worker without running the job.
// (The worker's destructor stops it a second time: that does nothing.)
TEST(WorkerHandOff, WaitForPassUnfinishedWorkAndStopping) {
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
    w.leftOver = 3;
    for (int pass = 0; pass < 3; ++pass) EXPECT_GT(w.framesUntilCollected(), 0);
    for (int i = 0; i < 50; ++i) EXPECT_FALSE(w.frame());
    EXPECT_EQ(w.runs, 3);
    w.setOpen(false);
    startJob(w.worker);
    w.waitInside();
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        w.setOpen(true);
    });
    stopWorker(w.worker);
    EXPECT_EQ(w.runs, 4);
    EXPECT_FALSE(w.worker.thread->joinable());
    releaser.join();
    GatedWorker idle;
    stopWorker(idle.worker);
    EXPECT_TRUE(idle.runs == 0 && !idle.worker.thread->joinable());
}
