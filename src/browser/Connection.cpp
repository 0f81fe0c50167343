#include "browser/Connection.h"

#include <chrono>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "util/Scrambled.h"

namespace browser {
namespace {

using nlohmann::json;

const std::string& EventAttached() {
    return SCRAMBLED("Target.attachedToTarget", 0x5b1e7d3a90c4f268ull);
}
const std::string& EventDetached() {
    return SCRAMBLED("Target.detachedFromTarget", 0x2c8f4a61e7b0d935ull);
}

}  // namespace

Connection::Connection(std::unique_ptr<Transport> transport)
    : transport_(std::move(transport)),
      root_(std::make_shared<Session>(*this, std::string())),
      timer_([this](const std::stop_token& stop) { Expire(stop); }) {}

Connection::~Connection() {
    Close("the connection was closed");
    timer_.request_stop();
    if (timer_.joinable())
        timer_.join();
    transport_.reset();  // joins the transport's thread: no message is handled after this
}

void Connection::Start() {
    transport_->Start([this](const std::string& text) { OnMessage(text); },
                      [this](const std::string& reason) { OnClose(reason); });
}

std::shared_ptr<Session> Connection::SessionOf(const std::string& sessionId) const {
    std::lock_guard lock(lock_);
    auto it = sessions_.find(sessionId);
    return it == sessions_.end() ? nullptr : it->second;
}

bool Connection::SendText(std::string text) {
    {
        std::lock_guard lock(lock_);
        if (ended_)
            return false;
    }
    return transport_->Send(std::move(text));
}

void Connection::ChangedLocked() {
    ++generation_;
    changed_.notify_all();
}

void Connection::Close(const std::string& reason) {
    OnClose(reason);  // the first end's reason stands
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

void Connection::OnClose(const std::string& reason) {
    std::vector<std::shared_ptr<Session>> sessions;
    std::string why;
    {
        std::lock_guard lock(lock_);
        if (!ended_) {
            ended_ = true;
            endReason_ = reason;
        }
        why = endReason_;
        sessions.push_back(root_);
        for (auto& [id, session] : sessions_) sessions.push_back(session);
        sessions_.clear();
        ChangedLocked();
    }
    for (const auto& session : sessions) session->End(why);
}

void Connection::OnMessage(const std::string& text) {
    json message = json::parse(text, nullptr, false);
    if (!message.is_object())
        return;  // not a protocol message
    std::string sessionId;
    if (auto found = message.find("sessionId"); found != message.end()) {
        if (!found->is_string())
            return;
        sessionId = found->get<std::string>();
    }
    if (auto id = message.find("id"); id != message.end()) {
        if (id->is_number_integer())
            Answer(sessionId, id->get<int>(), std::move(message));
        return;
    }
    auto methodMember = message.find("method");
    if (methodMember == message.end() || !methodMember->is_string())
        return;
    const std::string method = methodMember->get<std::string>();
    static const json noParams = json::object();
    auto paramsMember = message.find("params");
    const json& params =
        paramsMember != message.end() && paramsMember->is_object() ? *paramsMember : noParams;

    std::shared_ptr<Session> session;
    std::shared_ptr<Session> detached;
    {
        std::lock_guard lock(lock_);
        if (ended_)
            return;
        if (sessionId.empty()) {
            session = root_;
        } else if (auto it = sessions_.find(sessionId); it != sessions_.end()) {
            session = it->second;
        }
        if (!session)
            return;  // a session this connection does not know (detached, or never ours)
        // The child's session exists before any message of its own is handled.
        const std::string child = params.value("sessionId", "");
        if (method == EventAttached() && !child.empty() && sessions_.count(child) == 0)
            sessions_.emplace(child, std::make_shared<Session>(*this, child));
        if (method == EventDetached() && !child.empty()) {
            if (auto it = sessions_.find(child); it != sessions_.end()) {
                detached = it->second;
                sessions_.erase(it);
            }
        }
    }
    session->Dispatch(method, params);
    if (detached)
        detached->End("the page's target detached");
}

void Connection::Answer(const std::string& sessionId, int id, json&& message) {
    Session::ReplyHandler handler;
    {
        std::lock_guard lock(lock_);
        if (ended_)
            return;
        std::shared_ptr<Session> session = root_;
        if (!sessionId.empty()) {
            auto it = sessions_.find(sessionId);
            session = it != sessions_.end() ? it->second : nullptr;
        }
        if (session)
            handler = session->TakeLocked(id);
        // The browser leaves the sessionId out of some answers (errors among them): the id alone names
        // the call, wherever it was made.
        for (auto it = sessions_.begin(); !handler && sessionId.empty() && it != sessions_.end(); ++it)
            handler = it->second->TakeLocked(id);
    }
    if (handler)  // answers nobody waits for any more (a deadline passed, or a post's) are dropped
        handler({util::Status{}, std::move(message)});
}

void Connection::Expire(const std::stop_token& stop) {
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(lock_);
    while (!stop.stop_requested()) {
        const auto now = Clock::now();
        auto next = Clock::time_point::max();
        std::vector<std::pair<Session::ReplyHandler, std::string>> expired;
        auto sweep = [&](Session& session) {
            for (auto it = session.pending_.begin(); it != session.pending_.end();) {
                Session::Pending& pending = it->second;
                if (!pending.timed || pending.deadline > now) {
                    if (pending.timed && pending.deadline < next)
                        next = pending.deadline;
                    ++it;
                    continue;
                }
                expired.emplace_back(std::move(pending.onReply), pending.label);
                it = session.pending_.erase(it);
            }
        };
        sweep(*root_);
        for (auto& [id, session] : sessions_) sweep(*session);
        if (!expired.empty()) {
            lock.unlock();
            for (auto& [handler, label] : expired) {
                if (handler)
                    handler({util::Status::Failure("timed out waiting for " + label), {}});
            }
            lock.lock();
            continue;
        }
        const unsigned seen = generation_;
        auto changed = [this, seen] { return generation_ != seen; };
        if (next == Clock::time_point::max()) {
            changed_.wait(lock, stop, changed);
        } else {
            changed_.wait_until(lock, stop, next, changed);
        }
    }
}

}  // namespace browser
