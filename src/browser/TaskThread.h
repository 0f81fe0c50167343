// One background thread that runs queued tasks one after another, each as soon as it is posted; the
// interval bounds how late a stop is seen. A long task holds the thread for its whole duration.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace browser {

class TaskThread {
  public:
    using Task = std::function<void()>;

    // Starts the thread; name labels it (at most 15 bytes are shown by the system).
    TaskThread(std::string name, int intervalMs);
    // Stops the thread; see Stop.
    ~TaskThread();
    TaskThread(const TaskThread&) = delete;
    TaskThread& operator=(const TaskThread&) = delete;

    // Appends a task; returns at once. Safe from any thread.
    void Post(Task task);
    // Drops every queued task that has not started.
    void Clear();
    // Drops queued tasks, waits for the running one to return and ends the thread. Not from the task
    // thread itself.
    void Stop();

  private:
    void Loop();

    struct Queue;
    std::unique_ptr<Queue> queue_;
    std::atomic<bool> stop_{false};
    std::unique_ptr<std::thread> thread_;
    int intervalMs_;
    std::string name_;
};

}  // namespace browser
