#include "browser/TaskThread.h"

#include <pthread.h>

#include <chrono>

#include "util/Sync.h"

namespace browser {

struct TaskThread::Queue {
    util::LockedQueue<Task> tasks;
};

TaskThread::TaskThread(std::string name, int intervalMs)
    : queue_(std::make_unique<Queue>()), intervalMs_(intervalMs), name_(std::move(name)) {
    thread_ = std::make_unique<std::thread>([this] { Loop(); });
    pthread_setname_np(thread_->native_handle(), name_.substr(0, 15).c_str());
}

TaskThread::~TaskThread() {
    Stop();
}

void TaskThread::Post(Task task) {
    queue_->tasks.Push(std::move(task));
}

void TaskThread::Clear() {
    queue_->tasks.Clear();
}

void TaskThread::Loop() {
    while (!stop_) {
        // A task starts as soon as it is posted; the interval bounds how late a stop is seen.
        Task task;
        if (queue_->tasks.Pop(task, intervalMs_) && task)
            task();
    }
}

void TaskThread::Stop() {
    stop_ = true;
    Clear();
    if (thread_) {
        if (thread_->joinable())
            thread_->join();
        thread_.reset();
    }
    stop_ = false;
    name_.clear();
}

}  // namespace browser
