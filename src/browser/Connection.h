// The DevTools protocol over one transport: numbered calls, each waited for with a label and a
// deadline, events handed to their subscribers, and one end. When the transport ends (the browser
// went, or Close was called) every waiter wakes with the reason, and every later call fails with it
// at once. Calls may come from any thread; events and the end arrive on the transport's thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <unordered_map>

#include "browser/Transport.h"
#include "util/Status.h"

namespace browser {

class Connection {
  public:
    using EventHandler = std::function<void(const nlohmann::json& params)>;

    // The answer to one call: the whole response message, or a status that says why there is none.
    struct Reply {  // NOLINT(bugprone-exception-escape): json's moves are noexcept
        util::Status status;
        nlohmann::json message;  // {"id": ..., "result": ...} or {"id": ..., "error": ...}
        // True when the browser answered with an error object.
        bool IsError() const;
        // The "result" object of the answer; empty when there is none.
        const nlohmann::json& Result() const;
    };

    explicit Connection(std::unique_ptr<Transport> transport);
    // Closes the transport; every waiter has woken before it goes.
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Subscribes to an event; before Start only.
    void OnEvent(const std::string& method, EventHandler handler);
    // Starts delivery from the transport.
    void Start();

    // Sends a call and waits for its answer, at most timeoutMs (-1: no limit). The status fails with
    // the reason when the connection ended first, or names the call when its deadline passed.
    Reply Call(const std::string& method, const nlohmann::json& params, int timeoutMs);
    // Sends a call whose answer nobody waits for (ids of their own, apart from Call's).
    void Post(const std::string& method, const nlohmann::json& params);

    // Waits until ready() holds, at most timeoutMs (-1: no limit); fails with the end's reason or with
    // "timed out waiting for <label>". ready() is checked under the connection's lock; whoever changes
    // what it reads calls Notify afterwards.
    util::Status WaitFor(const std::function<bool()>& ready, int timeoutMs, const std::string& label);
    void Notify();

    // Ends the connection from any thread: every wait returns with reason.
    void Close(const std::string& reason);
    bool Ended() const;
    // Why the connection ended; empty while it is open.
    std::string EndReason() const;
    // The id of the latest Call.
    int LastId() const { return lastId_; }

  private:
    struct Pending {  // NOLINT(bugprone-exception-escape): json's moves are noexcept
        std::string label;
        bool answered = false;
        nlohmann::json message;
    };
    void OnMessage(const std::string& text);
    void OnClose(const std::string& reason);
    // Waits on the lock until done() or the end, at most timeoutMs; true when done() held.
    bool WaitLocked(std::unique_lock<std::mutex>& lock, const std::function<bool()>& done, int timeoutMs);

    std::unique_ptr<Transport> transport_;
    std::multimap<std::string, EventHandler> handlers_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::unordered_map<int, Pending> pending_;
    bool ended_ = false;
    std::string endReason_;
    std::atomic<int> lastId_{0};
    std::atomic<int> postId_{1 << 30};
};

}  // namespace browser
