#include "browser/Session.h"

#include <vector>

#include "browser/Connection.h"

namespace browser {

using nlohmann::json;

bool Reply::IsError() const {
    auto error = message.find("error");
    return error != message.end() && error->is_object();
}

std::string Reply::ErrorText() const {
    if (!IsError())
        return {};
    const json& error = message["error"];
    std::string text = error.value("message", "");
    if (!text.empty())
        return text;
    auto code = error.find("code");
    return code != error.end() && code->is_number_integer() ? "code " + std::to_string(code->get<long long>())
                                                            : "an error";
}

const json& Reply::Result() const {
    static const json none = json::object();
    auto result = message.find("result");
    return result != message.end() && result->is_object() ? *result : none;
}

Session::Session(Connection& connection, std::string id) : connection_(connection), id_(std::move(id)) {}

void Session::Send(const std::string& method, const json& params, int timeoutMs, ReplyHandler onReply) {
    const int id = connection_.NextCallId();
    json message{{"id", id}, {"method", method}, {"params", params}};
    if (!id_.empty())
        message["sessionId"] = id_;
    std::string text;
    try {
        text = message.dump();
    } catch (const json::exception&) {
        if (onReply)
            onReply({util::Status::Failure("the call " + method + " holds text that is not UTF-8"), {}});
        return;
    }
    {
        std::unique_lock lock(connection_.lock_);
        if (ended_) {
            const std::string reason = endReason_;
            lock.unlock();
            if (onReply)
                onReply({util::Status::Failure(reason), {}});
            return;
        }
        lastId_ = id;
        Pending& pending = pending_[id];
        pending.label = method;
        pending.timed = timeoutMs >= 0;
        pending.deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
        pending.onReply = std::move(onReply);
        connection_.ChangedLocked();  // the timer sees the new deadline
    }
    if (connection_.SendText(std::move(text)))
        return;
    ReplyHandler handler;
    std::string reason;
    {
        std::lock_guard lock(connection_.lock_);
        handler = TakeLocked(id);
        reason = ended_ ? endReason_ : "the connection is closed";
    }
    if (handler)
        handler({util::Status::Failure(reason), {}});
}

Reply Session::Call(const std::string& method, const json& params, int timeoutMs) {
    struct Outcome {  // NOLINT(bugprone-exception-escape): json's moves are noexcept
        bool done = false;
        Reply reply;
    };
    auto outcome = std::make_shared<Outcome>();
    Connection& connection = connection_;
    Send(method, params, timeoutMs, [&connection, outcome](Reply reply) {
        std::lock_guard lock(connection.lock_);
        outcome->reply = std::move(reply);
        outcome->done = true;
        connection.ChangedLocked();
    });
    // The deadline and the end both complete the call: this wait always ends.
    std::unique_lock lock(connection_.lock_);
    connection_.changed_.wait(lock, [&outcome] { return outcome->done; });
    return std::move(outcome->reply);
}

void Session::Post(const std::string& method, const json& params) {
    json message{{"id", connection_.NextPostId()}, {"method", method}, {"params", params}};
    if (!id_.empty())
        message["sessionId"] = id_;
    if (Ended())
        return;
    connection_.SendText(message.dump(-1, ' ', false, json::error_handler_t::replace));
}

void Session::OnEvent(const std::string& method, EventHandler handler) {
    std::lock_guard lock(dispatchLock_);
    if (!Ended())
        handlers_.emplace(method, std::move(handler));
}

void Session::Dispatch(const std::string& method, const json& params) {
    std::lock_guard lock(dispatchLock_);
    std::vector<EventHandler> handlers;  // a copy: a handler may subscribe further
    auto [first, last] = handlers_.equal_range(method);
    for (auto it = first; it != last; ++it) handlers.push_back(it->second);
    for (const EventHandler& handler : handlers) handler(params);
}

util::Status Session::WaitFor(const std::function<bool()>& ready, int timeoutMs, const std::string& label) {
    std::unique_lock lock(connection_.lock_);
    auto over = [&] { return ready() || ended_; };
    if (timeoutMs < 0) {
        connection_.changed_.wait(lock, over);
    } else {
        connection_.changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), over);
    }
    if (ready())
        return {};
    return util::Status::Failure(ended_ ? endReason_ : "timed out waiting for " + label);
}

void Session::Notify() {
    std::lock_guard lock(connection_.lock_);
    connection_.ChangedLocked();
}

Session::ReplyHandler Session::TakeLocked(int id) {
    auto it = pending_.find(id);
    if (it == pending_.end())
        return {};
    ReplyHandler handler = std::move(it->second.onReply);
    pending_.erase(it);
    return handler;
}

void Session::End(const std::string& reason) {
    std::vector<ReplyHandler> waiting;
    std::string why;
    {
        std::lock_guard lock(connection_.lock_);
        if (!ended_) {
            ended_ = true;
            endReason_ = reason;
        }
        why = endReason_;
        for (auto& [id, pending] : pending_) {
            if (pending.onReply)
                waiting.push_back(std::move(pending.onReply));
        }
        pending_.clear();
        connection_.ChangedLocked();
    }
    for (const ReplyHandler& handler : waiting) handler({util::Status::Failure(why), {}});
    // A handler under way on the transport's thread finishes first; none runs after this.
    std::lock_guard lock(dispatchLock_);
    handlers_.clear();
}

bool Session::Ended() const {
    std::lock_guard lock(connection_.lock_);
    return ended_;
}

}  // namespace browser
