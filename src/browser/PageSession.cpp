#include "browser/PageSession.h"

#include <chrono>

#include "util/Scrambled.h"

namespace browser {
namespace {

using nlohmann::json;

const std::string& MethodTargets() {
    return SCRAMBLED("Target.getTargets", 0x2a61f0c9d83b5e47ull);
}
const std::string& MethodAttach() {
    return SCRAMBLED("Target.attachToTarget", 0x7c15e8a2b94d0f36ull);
}
const std::string& MethodCreate() {
    return SCRAMBLED("Target.createTarget", 0x3e90b7d15a4c2f68ull);
}
const std::string& MethodCreateContext() {
    return SCRAMBLED("Target.createBrowserContext", 0x2d6b90f4a1c83e57ull);
}
const std::string& MethodCloseTarget() {
    return SCRAMBLED("Target.closeTarget", 0x58c2e1a7f03d9b46ull);
}
const std::string& MethodDiscover() {
    return SCRAMBLED("Target.setDiscoverTargets", 0x0f7a4d92c6b1e853ull);
}
const std::string& EventTargetCreated() {
    return SCRAMBLED("Target.targetCreated", 0x61d8f3b20e9a7c45ull);
}

// The kinds of target a page could open besides itself: windows and workers. A frame of the page
// itself ("iframe") stays.
bool IsClosable(const std::string& type) {
    return type == "page" || type == "background_page" || type == "service_worker" ||
           type == "shared_worker" || type == "worker" || type == "webview";
}

}  // namespace

PageSession::PageSession(std::unique_ptr<Transport> browser, Page page)
    : browser_(std::move(browser)), page_(page) {
    browser_->Start([this](const std::string& message) { OnBrowserMessage(message); },
                    [this](const std::string& reason) { OnBrowserClose(reason); });
}

PageSession::~PageSession() {
    browser_->Close("closed");
    browser_.reset();  // waits for the channel's thread: no handler runs after this
}

std::string PageSession::TargetId() const {
    std::lock_guard lock(lock_);
    return targetId_;
}

bool PageSession::CallBrowser(const std::string& method, const json& params, int timeoutMs,
                              const std::atomic<bool>& cancelled, json& result) {
    int id;
    {
        std::lock_guard lock(lock_);
        id = awaitedId_ = nextId_++;
        replied_ = false;
    }
    if (!browser_->Send(json{{"id", id}, {"method", method}, {"params", params}}.dump()))
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock lock(lock_);
    while (!replied_ && !ended_ && !cancelled) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        changed_.wait_for(lock, std::chrono::milliseconds(50));
    }
    if (!replied_)
        return false;
    auto found = reply_.find("result");
    if (found == reply_.end() || !found->is_object())
        return false;
    result = *found;
    return true;
}

bool PageSession::Attach(int timeoutMs, const std::atomic<bool>& cancelled, std::string& reason) {
    json reply;
    std::string targetId;
    if (page_ == Page::First) {
        if (!CallBrowser(MethodTargets(), json::object(), timeoutMs, cancelled, reply)) {
            reason = "the browser did not answer";
            return false;
        }
        for (const json& target : reply.value("targetInfos", json::array())) {
            if (target.is_object() && target.value("type", "") == "page") {
                targetId = target.value("targetId", "");
                break;
            }
        }
    } else if (CallBrowser(MethodCreateContext(), json{{"disposeOnDetach", true}}, timeoutMs, cancelled,
                           reply) &&
               !reply.value("browserContextId", "").empty()) {
        // A context of its own, which the browser disposes of, with the page, when this channel ends:
        // the page shares nothing with the browser's other pages and goes however the session ends.
        const json params{{"url", "about:blank"}, {"browserContextId", reply.value("browserContextId", "")}};
        if (CallBrowser(MethodCreate(), params, timeoutMs, cancelled, reply))
            targetId = reply.value("targetId", "");
    }
    if (targetId.empty()) {
        reason = page_ == Page::First ? "the browser has no page" : "the browser opened no page";
        return false;
    }
    {
        std::lock_guard lock(lock_);
        targetId_ = targetId;
    }
    if (!CallBrowser(MethodAttach(), json{{"targetId", targetId}, {"flatten", true}}, timeoutMs, cancelled,
                     reply) ||
        reply.value("sessionId", "").empty()) {
        reason = "the browser's page could not be attached";
        return false;
    }
    {
        std::lock_guard lock(lock_);
        sessionId_ = reply.value("sessionId", "");
        mark_ = "\"sessionId\":\"" + sessionId_ + "\"";
    }
    // In a browser of the program's own, every other target is closed as soon as it appears (those there
    // now are reported at once).
    if (page_ == Page::First &&
        !CallBrowser(MethodDiscover(), json{{"discover", true}}, timeoutMs, cancelled, reply)) {
        reason = "the browser did not report its targets";
        return false;
    }
    return true;
}

void PageSession::CloseIfForeign(const json& targetInfo) {
    if (page_ != Page::First || !targetInfo.is_object() || !IsClosable(targetInfo.value("type", "")))
        return;
    const std::string id = targetInfo.value("targetId", "");
    int callId;
    {
        std::lock_guard lock(lock_);
        if (id.empty() || id == targetId_)
            return;
        callId = nextId_++;
    }
    browser_->Send(
        json{{"id", callId}, {"method", MethodCloseTarget()}, {"params", {{"targetId", id}}}}.dump());
}

void PageSession::OnBrowserMessage(const std::string& message) {
    {
        MessageHandler deliver;
        {
            std::lock_guard lock(lock_);
            if (!mark_.empty() && message.find(mark_) != std::string::npos) {
                // The page's own. Nothing of it comes before Start: no domain of the page is enabled yet.
                if (!started_)
                    return;
                deliver = onMessage_;
            }
        }
        if (deliver) {
            deliver(message);
            return;
        }
    }
    const json parsed = json::parse(message, nullptr, false);
    if (!parsed.is_object() || parsed.contains("sessionId"))
        return;  // not the browser's own: another target's session
    if (parsed.value("method", "") == EventTargetCreated()) {
        CloseIfForeign(parsed.value("params", json::object()).value("targetInfo", json()));
        return;
    }
    std::lock_guard lock(lock_);
    if (parsed.value("id", -1) == awaitedId_ && !replied_) {
        reply_ = parsed;
        replied_ = true;
        changed_.notify_all();
    }
}

void PageSession::OnBrowserClose(const std::string& reason) {
    CloseHandler handler;
    {
        std::lock_guard lock(lock_);
        ended_ = true;
        endReason_ = reason;
        changed_.notify_all();
        if (started_)
            handler = onClose_;
    }
    if (handler)
        handler(reason);
}

void PageSession::Start(MessageHandler onMessage, CloseHandler onClose) {
    std::string reason;
    {
        std::lock_guard lock(lock_);
        onMessage_ = std::move(onMessage);
        onClose_ = std::move(onClose);
        started_ = true;
        if (!ended_)
            return;
        reason = endReason_;
    }
    onClose_(reason);  // the channel ended before the session started
}

bool PageSession::Send(std::string message) {
    {
        std::lock_guard lock(lock_);
        if (ended_)
            return false;
        // Every message goes to the page session: its id joins the message's members.
        if (!sessionId_.empty() && !message.empty() && message[0] == '{')
            message.insert(1, mark_ + (message.size() > 2 ? "," : ""));
    }
    return browser_->Send(std::move(message));
}

void PageSession::Close(const std::string& reason) {
    browser_->Close(reason);
}

}  // namespace browser
