// One DevTools session over a connection: the browser's own (no session id) or that of one attached
// target (flat mode: its messages carry its sessionId). Each call waits with a label and a deadline;
// its id is unique across the connection, so that an answer names one call whatever session it came
// on. Events go to the handlers subscribed to them, on the transport's thread, in the order they came.
// When the session ends (its target detached, or the connection ended) every waiter wakes with the
// reason, every later call fails with it at once, and no handler runs any more. Sessions are made by
// their connection and must not be used once it is gone.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <unordered_map>

#include "util/Status.h"

namespace browser {

class Connection;

// The answer to one call: the whole response message, or a status that says why there is none.
struct Reply {  // NOLINT(bugprone-exception-escape): json's moves are noexcept
    util::Status status;
    nlohmann::json message;  // {"id": ..., "result": ...} or {"id": ..., "error": ...}
    // True when the browser answered with an error object.
    bool IsError() const;
    // The error's message ("code N" when it has none); empty without an error.
    std::string ErrorText() const;
    // The "result" object of the answer; empty when there is none.
    const nlohmann::json& Result() const;
};

class Session {
  public:
    using EventHandler = std::function<void(const nlohmann::json& params)>;
    using ReplyHandler = std::function<void(Reply reply)>;

    // By the connection: id is the sessionId, empty for the browser's own session.
    Session(Connection& connection, std::string id);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const std::string& Id() const { return id_; }

    // Sends a call and waits for its answer, at most timeoutMs (-1: no limit). The status fails with
    // the end's reason when the session ended first, or names the call when its deadline passed. Not
    // from a handler: answers and events come on the thread that runs the handlers.
    Reply Call(const std::string& method, const nlohmann::json& params, int timeoutMs);
    // Sends a call without waiting: onReply (when given) runs once, with the answer on the transport's
    // thread, with the time-out on the connection's timer thread, with the end's reason on the thread
    // that ends the session, or at once when the call cannot be sent.
    void Send(const std::string& method, const nlohmann::json& params, int timeoutMs, ReplyHandler onReply);
    // Sends a call whose answer nobody waits for (ids of their own, apart from the calls').
    void Post(const std::string& method, const nlohmann::json& params);
    // Subscribes to one of this session's events; from any thread, at any time.
    void OnEvent(const std::string& method, EventHandler handler);

    // Waits until ready() holds, at most timeoutMs (-1: no limit); fails with the end's reason or with
    // "timed out waiting for <label>". ready() is checked under the connection's lock; whoever changes
    // what it reads calls Notify afterwards.
    util::Status WaitFor(const std::function<bool()>& ready, int timeoutMs, const std::string& label);
    void Notify();

    // Ends this side of the session from any thread (the browser is not told): every waiter wakes with
    // reason, and once it returns no handler of the session runs. The first end's reason stands.
    void End(const std::string& reason);
    bool Ended() const;
    // The id of this session's latest call (not of posts).
    int LastId() const { return lastId_; }

  private:
    friend class Connection;
    struct Pending {
        std::string label;
        bool timed = false;
        std::chrono::steady_clock::time_point deadline;
        ReplyHandler onReply;
    };
    // Delivers an event to its handlers (on the transport's thread).
    void Dispatch(const std::string& method, const nlohmann::json& params);
    // Takes the pending call id out (under the connection's lock); its handler, empty when none.
    ReplyHandler TakeLocked(int id);

    Connection& connection_;
    const std::string id_;
    // Under the connection's lock:
    std::unordered_map<int, Pending> pending_;
    bool ended_ = false;
    std::string endReason_;
    // Handlers, and their running: End waits for a handler under way.
    std::recursive_mutex dispatchLock_;
    std::multimap<std::string, EventHandler> handlers_;
    std::atomic<int> lastId_{0};
};

}  // namespace browser
