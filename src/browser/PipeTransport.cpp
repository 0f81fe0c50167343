#include "browser/PipeTransport.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <nlohmann/json.hpp>

#include "util/Scrambled.h"

namespace browser {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

const std::string& MethodTargets() {
    return SCRAMBLED("Target.getTargets", 0x2a61f0c9d83b5e47ull);
}
const std::string& MethodAttach() {
    return SCRAMBLED("Target.attachToTarget", 0x7c15e8a2b94d0f36ull);
}

}  // namespace

PipeTransport::PipeTransport(int toBrowser, int fromBrowser)
    : toBrowser_(toBrowser), fromBrowser_(fromBrowser), wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

PipeTransport::~PipeTransport() {
    Close("closed");
    if (thread_.joinable())
        thread_.join();
    for (int fd : {toBrowser_, fromBrowser_ == toBrowser_ ? -1 : fromBrowser_, wakeFd_}) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool PipeTransport::Read(std::string& message, int timeoutMs, const std::atomic<bool>* cancelled) {
    const auto deadline =
        timeoutMs < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const size_t end = buffer_.find('\0');
        if (end != std::string::npos) {
            message = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            return true;
        }
        if (closing_ || (cancelled != nullptr && *cancelled) || Clock::now() >= deadline)
            return false;
        pollfd fds[2] = {{fromBrowser_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, 100);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0 || (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
            continue;
        char chunk[65536];
        const ssize_t n = ::read(fromBrowser_, chunk, sizeof chunk);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
            return false;  // the browser closed its end: it is gone
        if (n > 0)
            buffer_.append(chunk, static_cast<size_t>(n));
    }
}

bool PipeTransport::Write(const std::string& message) {
    std::lock_guard lock(writeLock_);
    const std::string bytes = message + '\0';
    size_t done = 0;
    while (done < bytes.size()) {
        // A socket, so that a browser that went gives an error here rather than SIGPIPE.
        const ssize_t n = ::send(toBrowser_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool PipeTransport::CallBrowser(int id, const std::string& method, const json& params, int timeoutMs,
                                const std::atomic<bool>& cancelled, json& result) {
    if (!Write(json{{"id", id}, {"method", method}, {"params", params}}.dump()))
        return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string message;
    while (Clock::now() < deadline) {
        const int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
        if (!Read(message, std::max(left, 1), &cancelled))
            return false;
        const json parsed = json::parse(message, nullptr, false);
        if (parsed.is_object() && parsed.value("id", -1) == id && !parsed.contains("sessionId")) {
            auto found = parsed.find("result");
            if (found == parsed.end() || !found->is_object())
                return false;
            result = *found;
            return true;
        }
    }
    return false;
}

bool PipeTransport::Attach(int timeoutMs, const std::atomic<bool>& cancelled, std::string& reason) {
    json reply;
    if (!CallBrowser(1, MethodTargets(), json::object(), timeoutMs, cancelled, reply)) {
        reason = "the browser did not answer on its pipe";
        return false;
    }
    std::string targetId;
    for (const json& target : reply.value("targetInfos", json::array())) {
        if (target.is_object() && target.value("type", "") == "page") {
            targetId = target.value("targetId", "");
            break;
        }
    }
    if (targetId.empty()) {
        reason = "the browser has no page";
        return false;
    }
    if (!CallBrowser(2, MethodAttach(), json{{"targetId", targetId}, {"flatten", true}}, timeoutMs, cancelled,
                     reply)) {
        reason = "the browser's page could not be attached";
        return false;
    }
    sessionId_ = reply.value("sessionId", "");
    if (sessionId_.empty()) {
        reason = "the browser's page could not be attached";
        return false;
    }
    return true;
}

void PipeTransport::Start(MessageHandler onMessage, CloseHandler onClose) {
    thread_ = std::thread(
        [this, onMessage = std::move(onMessage), onClose = std::move(onClose)] { Loop(onMessage, onClose); });
}

void PipeTransport::Loop(const MessageHandler& onMessage, const CloseHandler& onClose) {
    // Only the page session's messages: the browser's own (targets coming and going) are not the page's.
    const std::string mark = "\"sessionId\":\"" + sessionId_ + "\"";
    std::string message;
    while (Read(message, -1, nullptr)) {
        if (sessionId_.empty() || message.find(mark) != std::string::npos)
            onMessage(message);
    }
    std::string reason;
    {
        std::lock_guard lock(closeLock_);
        reason = closing_ ? closeReason_ : "the browser closed its pipe";
    }
    onClose(reason);
}

bool PipeTransport::Send(std::string message) {
    if (closing_)
        return false;
    // Every message goes to the page session: its id joins the message's members.
    if (!sessionId_.empty() && !message.empty() && message[0] == '{')
        message.insert(1, "\"sessionId\":\"" + sessionId_ + "\"" + (message.size() > 2 ? "," : ""));
    return Write(message);
}

void PipeTransport::Close(const std::string& reason) {
    {
        std::lock_guard lock(closeLock_);
        if (closing_)
            return;
        closeReason_ = reason;
        closing_ = true;
    }
    const std::uint64_t one = 1;
    ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
    (void)ignored;
}

}  // namespace browser
