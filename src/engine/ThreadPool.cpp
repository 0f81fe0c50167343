#include "engine/ThreadPool.h"

#include <concurrentqueue/concurrentqueue.h>
#include <pthread.h>

#include <atomic>
#include <chrono>

namespace engine {

struct ThreadPool::Shared {
    std::atomic<bool> stop{false};
    moodycamel::ConcurrentQueue<Task> queue;
};

ThreadPool::ThreadPool(int threads, const std::string& name) : shared_(std::make_shared<Shared>()) {
    if (threads < 1)
        threads = 1;
    for (int i = 0; i < threads; ++i) {
        threads_.emplace_back([shared = shared_] {
            while (!shared->stop) {
                Task task;
                if (shared->queue.try_dequeue(task) && task)
                    task();
                if (shared->stop)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(kPollIntervalMs));
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
    shared_->queue.enqueue(std::move(task));
}

}  // namespace engine
