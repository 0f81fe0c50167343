// The DevTools protocol over one transport to a whole browser, in flat mode: the browser's own session
// and one session per attached target share the channel. Every message that arrives is parsed once and
// routed by its sessionId: answers to the pending call of that id, events to the session's handlers. A
// session is made when the browser reports its attachment (Target.attachedToTarget, on whatever session
// asked for it), before any of its own messages are handled, and ends when the browser reports it
// detached. A timer thread fails every call whose deadline passed. When the transport ends (the browser
// went, or Close was called) every session ends with the reason, and with it every waiter.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <thread>
#include <unordered_map>

#include "browser/Session.h"
#include "browser/Transport.h"

namespace browser {

class Connection {
  public:
    explicit Connection(std::unique_ptr<Transport> transport);
    // Closes the transport and waits for its thread and the timer's: no handler runs after this.
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Starts delivery from the transport.
    void Start();

    // The browser's own session, whose messages carry no sessionId.
    Session& Root() { return *root_; }
    // The session of an attached target, once the browser reported it; null before, and after it
    // detached.
    std::shared_ptr<Session> SessionOf(const std::string& sessionId) const;

    // Ends the connection from any thread: every session ends with reason.
    void Close(const std::string& reason);
    bool Ended() const;
    // Why the connection ended; empty while it is open.
    std::string EndReason() const;

  private:
    friend class Session;
    // Ids unique across the connection: calls count from 1, posts from far above.
    int NextCallId() { return ++lastCallId_; }
    int NextPostId() { return ++lastPostId_; }
    // Hands a message to the transport; false when the channel has ended.
    bool SendText(std::string text);
    void OnMessage(const std::string& text);
    void OnClose(const std::string& reason);
    // Routes an answer to the call of its id: on the session the message names, or, for an answer that
    // names none, on whichever session made the call.
    void Answer(const std::string& sessionId, int id, nlohmann::json&& message);
    // The timer thread: fails the calls whose deadline passed.
    void Expire(const std::stop_token& stop);
    // Something a waiter or the timer looks at changed (under lock_).
    void ChangedLocked();

    std::unique_ptr<Transport> transport_;
    mutable std::mutex lock_;  // guards the sessions, their calls and every end
    std::condition_variable_any changed_;
    unsigned generation_ = 0;  // counts changes, for the timer
    std::shared_ptr<Session> root_;
    std::unordered_map<std::string, std::shared_ptr<Session>> sessions_;
    bool ended_ = false;
    std::string endReason_;
    std::atomic<int> lastCallId_{0};
    std::atomic<int> lastPostId_{1 << 30};
    std::jthread timer_;  // last: it starts once the rest is in place
};

}  // namespace browser
