#include "browser/Connection.h"

#include <chrono>

namespace browser {

using nlohmann::json;

bool Connection::Reply::IsError() const {
    auto error = message.find("error");
    return error != message.end() && error->is_object();
}

const json& Connection::Reply::Result() const {
    static const json none = json::object();
    auto result = message.find("result");
    return result != message.end() && result->is_object() ? *result : none;
}

Connection::Connection(std::unique_ptr<Transport> transport) : transport_(std::move(transport)) {}

Connection::~Connection() {
    Close("the connection was closed");
    transport_.reset();  // joins the transport's thread: no handler runs after this
}

void Connection::OnEvent(const std::string& method, EventHandler handler) {
    handlers_.emplace(method, std::move(handler));
}

void Connection::Start() {
    transport_->Start([this](const std::string& text) { OnMessage(text); },
                      [this](const std::string& reason) { OnClose(reason); });
}

Connection::Reply Connection::Call(const std::string& method, const json& params, int timeoutMs) {
    int id = ++lastId_;
    std::string text;
    try {
        text = json{{"id", id}, {"method", method}, {"params", params}}.dump();
    } catch (const json::exception&) {
        return {util::Status::Failure("the call " + method + " holds text that is not UTF-8"), {}};
    }
    std::unique_lock lock(lock_);
    if (ended_)
        return {util::Status::Failure(endReason_), {}};
    pending_[id].label = method;
    lock.unlock();
    if (!transport_->Send(std::move(text))) {
        lock.lock();
        pending_.erase(id);
        return {util::Status::Failure(ended_ ? endReason_ : "the connection is closed"), {}};
    }
    lock.lock();
    const bool answered = WaitLocked(
        lock, [this, id] { return pending_[id].answered; }, timeoutMs);
    Reply reply;
    if (answered) {
        reply.message = std::move(pending_[id].message);
    } else {
        reply.status = util::Status::Failure(ended_ ? endReason_ : "timed out waiting for " + method);
    }
    pending_.erase(id);
    return reply;
}

void Connection::Post(const std::string& method, const json& params) {
    std::string text = json{{"id", postId_++}, {"method", method}, {"params", params}}.dump(
        -1, ' ', false, json::error_handler_t::replace);
    transport_->Send(std::move(text));
}

util::Status Connection::WaitFor(const std::function<bool()>& ready, int timeoutMs,
                                 const std::string& label) {
    std::unique_lock lock(lock_);
    if (WaitLocked(lock, ready, timeoutMs))
        return {};
    return util::Status::Failure(ended_ ? endReason_ : "timed out waiting for " + label);
}

bool Connection::WaitLocked(std::unique_lock<std::mutex>& lock, const std::function<bool()>& done,
                            int timeoutMs) {
    auto over = [&] { return done() || ended_; };
    if (timeoutMs < 0) {
        changed_.wait(lock, over);
    } else {
        changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), over);
    }
    return done();
}

void Connection::Notify() {
    std::lock_guard lock(lock_);
    changed_.notify_all();
}

void Connection::Close(const std::string& reason) {
    OnClose(reason);  // the first end's reason stands; every waiter wakes
    if (transport_)
        transport_->Close(reason);
}

bool Connection::Ended() const {
    std::lock_guard lock(lock_);
    return ended_;
}

std::string Connection::EndReason() const {
    std::lock_guard lock(lock_);
    return endReason_;
}

void Connection::OnMessage(const std::string& text) {
    json message = json::parse(text, nullptr, false);
    if (!message.is_object())
        return;  // not a protocol message
    if (auto id = message.find("id"); id != message.end() && id->is_number_integer()) {
        std::lock_guard lock(lock_);
        auto it = pending_.find(id->get<int>());
        if (it != pending_.end() && !it->second.answered) {  // answers nobody waits for are dropped
            it->second.answered = true;
            it->second.message = std::move(message);
            changed_.notify_all();
        }
        return;
    }
    auto method = message.find("method");
    if (method == message.end() || !method->is_string())
        return;
    static const json noParams = json::object();
    auto params = message.find("params");
    const json& args = params != message.end() && params->is_object() ? *params : noParams;
    auto [first, last] = handlers_.equal_range(method->get<std::string>());
    for (auto it = first; it != last; ++it) it->second(args);
}

void Connection::OnClose(const std::string& reason) {
    std::lock_guard lock(lock_);
    if (!ended_) {
        ended_ = true;
        endReason_ = reason;
    }
    changed_.notify_all();
}

}  // namespace browser
