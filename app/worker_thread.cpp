#include "app/worker_thread.h"

namespace {

void workerBody(WorkerThread* worker) {
    WorkerThread& w = *worker;
    std::unique_lock<std::mutex> startLock(w.startMutex);
    auto started = [&] { return w.startPosted || w.stop.load(); };
    w.startSignal.wait(startLock, started);
    while (!w.stop.load()) {
        w.startPosted = false;
        w.job->work(w.job->owner);
        w.job->running.store(false);
        {
            // Succeeds only while the main thread waits on doneSignal (or has
            // given up doneLock at shutdown), so the notification reaches it.
            std::lock_guard<std::mutex> done(w.doneMutex);
            w.donePosted = true;
        }
        w.doneSignal.notify_one();
        if (w.stop.load()) break;
        w.startSignal.wait(startLock, started);
    }
}

}  // namespace

void launchWorker(WorkerThread& worker, WorkerJob& job) {
    worker.job = &job;
    worker.doneLock.lock();
    worker.thread = std::make_unique<std::thread>(workerBody, &worker);
}

void startJob(WorkerThread& worker) {
    worker.job->running.store(true);
    {
        // The worker holds startMutex while it works, so this waits until it
        // is back in its wait.
        std::lock_guard<std::mutex> lock(worker.startMutex);
        worker.startPosted = true;
    }
    worker.startSignal.notify_one();
}

void waitForJob(WorkerThread& worker) {
    worker.doneSignal.wait(worker.doneLock, [&] { return worker.donePosted; });
    worker.donePosted = false;
}

void stopWorker(WorkerThread& worker) {
    if (worker.stop.load() || !worker.thread) return;
    if (worker.doneLock.owns_lock()) worker.doneLock.unlock();
    {
        // Waits for a running job to end; the worker cannot then miss the stop.
        std::lock_guard<std::mutex> lock(worker.startMutex);
        worker.stop.store(true);
    }
    worker.startSignal.notify_one();
    worker.thread->join();
}

bool updateStarFieldHandOff(PassTracker& tracker, ChangeFlags& flags, WorkerThread& worker, const PassHooks& hooks) {
    const bool busy = worker.job->running.load();
    // The engine's pass state belongs to the worker while a pass runs.
    const bool unfinished = !busy && hooks.unfinished != nullptr && hooks.unfinished(hooks.context);
    if (!flags.any() && !tracker.restartPending && !unfinished) {
        const bool previous = tracker.passWasRunning;
        tracker.passWasRunning = busy;
        if (!previous) return false;
    } else if (tracker.passWasRunning) {
        tracker.restartPending = true;  // the running pass is left alone
    } else {
        if (hooks.prepare != nullptr) hooks.prepare(hooks.context, flags);
        flags = ChangeFlags{};
        tracker.restartPending = false;
        startJob(worker);
        if (tracker.waitForPass) waitForJob(worker);
    }

    tracker.passWasRunning = worker.job->running.load();
    if (tracker.passWasRunning) return false;
    if (!tracker.waitForPass) waitForJob(worker);
    return true;
}
