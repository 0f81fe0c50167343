// Synchronisation helpers shared by the threads of the engine and the browser side.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

namespace util {

// The end of a series of waits that share one time limit: each wait takes what is left.
class Deadline {
  public:
    // timeoutMs from now; -1: no limit.
    explicit Deadline(int timeoutMs)
        : unlimited_(timeoutMs < 0),
          at_(std::chrono::steady_clock::now() + std::chrono::milliseconds(unlimited_ ? 0 : timeoutMs)) {}
    // The milliseconds left, rounded up so that a wait of them ends past the deadline (0 once passed),
    // or -1 without limit.
    int Left() const {
        if (unlimited_)
            return -1;
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(at_ - std::chrono::steady_clock::now());
        return left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
    bool Passed() const { return !unlimited_ && std::chrono::steady_clock::now() >= at_; }

  private:
    bool unlimited_;
    std::chrono::steady_clock::time_point at_;
};

// A manual-reset event: Set wakes every waiter and stays signalled until Reset.
class ManualResetEvent {
  public:
    void Set() {
        std::lock_guard lock(mutex_);
        signalled_ = true;
        cv_.notify_all();
    }
    void Reset() {
        std::lock_guard lock(mutex_);
        signalled_ = false;
    }
    // Waits until signalled; timeoutMs < 0 waits without limit. True when signalled.
    bool Wait(int timeoutMs) const {
        std::unique_lock lock(mutex_);
        if (timeoutMs < 0) {
            cv_.wait(lock, [this] { return signalled_; });
            return true;
        }
        return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return signalled_; });
    }

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    bool signalled_ = false;
};

// A queue of values handed from threads to threads under a mutex: producers Push, consumers Pop, each
// waiting at most a given time for a value.
template <typename T>
class LockedQueue {
  public:
    // Appends a value and wakes one waiting consumer.
    void Push(T value) {
        {
            std::lock_guard lock(mutex_);
            items_.push_back(std::move(value));
        }
        cv_.notify_one();
    }
    // Takes the first value, waiting at most timeoutMs for one; false when none came.
    bool Pop(T& value, int timeoutMs) {
        std::unique_lock lock(mutex_);
        if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !items_.empty(); }))
            return false;
        value = std::move(items_.front());
        items_.pop_front();
        return true;
    }
    // Drops every value.
    void Clear() {
        std::lock_guard lock(mutex_);
        items_.clear();
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<T> items_;
};

}  // namespace util
