// A fixed number of named threads that take tasks from one queue, each task as soon as it is queued;
// a stop is seen within 10 ms.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace engine {

class ThreadPool {
  public:
    using Task = std::function<void()>;
    static constexpr int kPollIntervalMs = 10;

    ThreadPool(int threads, const std::string& name);
    // Sets the stop flag and waits for every thread to finish its current task. A pool thread that
    // destroys its own pool is let go instead of joined.
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // Queues a task; safe from any thread.
    void Push(Task task);
    int ThreadCount() const { return static_cast<int>(threads_.size()); }

  private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    std::vector<std::thread> threads_;
};

}  // namespace engine
