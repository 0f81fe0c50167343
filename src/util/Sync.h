// Synchronisation helpers shared by the threads of the engine and the browser side.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace util {

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
    bool IsSet() const {
        std::lock_guard lock(mutex_);
        return signalled_;
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

}  // namespace util
