#include "starfield/generation_pool.h"

#include <algorithm>

unsigned hardwareThreads() { return std::max(1u, std::thread::hardware_concurrency()); }

GenerationPool::GenerationPool(unsigned helpers) {
    threads.reserve(helpers);
    for (unsigned i = 0; i < helpers; ++i) threads.emplace_back([this] { helperLoop(); });
}

GenerationPool::~GenerationPool() {
    settle();
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    workReady.notify_all();
    for (std::thread& t : threads) t.join();
}

void GenerationPool::submit(PoolTask* const* tasks, size_t count) {
    if (count == 0) return;
    {
        std::lock_guard lock(mutex);
        for (size_t i = 0; i < count; ++i) {
            tasks[i]->state = TASK_QUEUED;
            queue.push_back(tasks[i]);
        }
    }
    if (count == 1)
        workReady.notify_one();
    else
        workReady.notify_all();
}

void GenerationPool::runHere(PoolTask& task, GenerationWorkspace& workspace, std::unique_lock<std::mutex>& lock) {
    task.state = TASK_RUNNING;
    ++running;
    lock.unlock();
    task.run(task.context, workspace);
    lock.lock();
    task.state = TASK_DONE;
    --running;
    taskDone.notify_all();
}

bool GenerationPool::finish(PoolTask& task, GenerationWorkspace& workspace) {
    std::unique_lock lock(mutex);
    while (task.state == TASK_QUEUED || task.state == TASK_RUNNING) {
        if (task.state == TASK_QUEUED) {
            queue.erase(std::find(queue.begin(), queue.end(), &task));
            runHere(task, workspace, lock);
        } else if (!queue.empty()) {
            // A helper has it: do the next queued task meanwhile.
            PoolTask& next = *queue.front();
            queue.pop_front();
            runHere(next, workspace, lock);
        } else {
            taskDone.wait(lock);
        }
    }
    return task.state == TASK_DONE;
}

void GenerationPool::drain(GenerationWorkspace& workspace) {
    std::unique_lock lock(mutex);
    while (!queue.empty() || running > 0) {
        if (queue.empty()) {
            taskDone.wait(lock);
            continue;
        }
        PoolTask& next = *queue.front();
        queue.pop_front();
        runHere(next, workspace, lock);
    }
}

bool GenerationPool::done(const PoolTask& task) {
    std::lock_guard lock(mutex);
    return task.state == TASK_DONE;
}

void GenerationPool::settle() {
    std::unique_lock lock(mutex);
    for (PoolTask* t : queue) t->state = TASK_IDLE;
    queue.clear();
    taskDone.wait(lock, [this] { return running == 0; });
}

void GenerationPool::helperLoop() {
    GenerationWorkspace workspace;
    std::unique_lock lock(mutex);
    for (;;) {
        workReady.wait(lock, [this] { return stopping || !queue.empty(); });
        if (stopping) return;
        PoolTask& task = *queue.front();
        queue.pop_front();
        runHere(task, workspace, lock);
    }
}
