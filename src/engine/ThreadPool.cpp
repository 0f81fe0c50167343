#include "engine/ThreadPool.h"

#include <pthread.h>

#include <atomic>
#include <chrono>

#include "util/Sync.h"

namespace engine {

struct ThreadPool::Shared {
    std::atomic<bool> stop{false};
    util::LockedQueue<Task> queue;
};

ThreadPool::ThreadPool(int threads, const std::string& name) : shared_(std::make_shared<Shared>()) {
    if (threads < 1)
        threads = 1;
    for (int i = 0; i < threads; ++i) {
        threads_.emplace_back([shared = shared_] {
            while (!shared->stop) {
                // A task starts as soon as it is queued; the interval bounds how late a stop is seen.
                Task task;
                if (shared->queue.Pop(task, kPollIntervalMs) && task)
                    task();
            }
        });
        pthread_setname_np(threads_.back().native_handle(), name.substr(0, 15).c_str());
    }
}

ThreadPool::~ThreadPool() {
    shared_->stop = true;
    for (std::thread& t : threads_) {
        if (t.get_id() == std::this_thread::get_id()) {
            t.detach();  // it holds the shared state and ends after its task
        } else if (t.joinable()) {
            t.join();
        }
    }
}

void ThreadPool::Push(Task task) {
    shared_->queue.Push(std::move(task));
}

}  // namespace engine
