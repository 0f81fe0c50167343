#include "browser/WebSocketTransport.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "net/WebSocketClient.h"

namespace browser {
namespace {

constexpr int kPollIntervalMs = 10;

}  // namespace

WebSocketTransport::WebSocketTransport(std::unique_ptr<net::WebSocketClient> socket)
    : socket_(std::move(socket)), wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WebSocketTransport::~WebSocketTransport() {
    Close("the connection was closed");
    if (thread_.joinable())
        thread_.join();
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

void WebSocketTransport::Start(MessageHandler onMessage, CloseHandler onClose) {
    thread_ = std::thread(
        [this, onMessage = std::move(onMessage), onClose = std::move(onClose)] { Loop(onMessage, onClose); });
}

bool WebSocketTransport::Send(std::string message) {
    if (ended_ || closing_)
        return false;
    {
        std::lock_guard lock(lock_);
        outbox_.push_back(std::move(message));
    }
    Wake();
    return true;
}

void WebSocketTransport::Close(const std::string& reason) {
    {
        std::lock_guard lock(lock_);
        if (closing_)
            return;
        closeReason_ = reason;
        closing_ = true;
    }
    Wake();
}

void WebSocketTransport::Wake() {
    if (wakeFd_ < 0)
        return;
    const std::uint64_t one = 1;
    const ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
    (void)ignored;
}

void WebSocketTransport::Loop(const MessageHandler& onMessage, const CloseHandler& onClose) {
    using State = net::WebSocketClient::ReadyState;
    std::string reason;
    std::vector<std::string> outgoing;
    while (reason.empty()) {
        if (closing_) {
            std::lock_guard lock(lock_);
            reason = closeReason_;
            break;
        }
        {
            std::lock_guard lock(lock_);
            outgoing.swap(outbox_);
        }
        for (const std::string& message : outgoing) socket_->Send(message);
        outgoing.clear();
        socket_->Poll(0);
        socket_->Dispatch([&onMessage](const std::string& message) { onMessage(message); });
        if (socket_->GetReadyState() != State::Open) {
            reason = "the browser closed the connection";
            break;
        }
        // Sleep until the socket has data, a message is queued, or the interval passed.
        bool queued;
        {
            std::lock_guard lock(lock_);
            queued = !outbox_.empty();
        }
        if (!queued && !closing_) {
            pollfd fds[2] = {{socket_->NativeHandle(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
            ::poll(fds, 2, kPollIntervalMs);
        }
        std::uint64_t drained;
        while (::read(wakeFd_, &drained, sizeof drained) > 0) {
        }
    }
    ended_ = true;
    socket_.reset();
    onClose(reason);
}

}  // namespace browser
