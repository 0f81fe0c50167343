#include "browser/TaskThread.h"

#include <concurrentqueue/concurrentqueue.h>
#include <pthread.h>

#include <chrono>

namespace browser {

struct TaskThread::Queue {
    moodycamel::ConcurrentQueue<Task> tasks;
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
    queue_->tasks.enqueue(std::move(task));
}

void TaskThread::Clear() {
    Task task;
    while (queue_->tasks.try_dequeue(task)) {
    }
}

void TaskThread::Loop() {
    while (!stop_) {
        Task task;
        if (queue_->tasks.try_dequeue(task) && task)
            task();
        std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs_));
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
