#include "browser/PipeTransport.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace browser {

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

bool PipeTransport::Read(std::string& message) {
    for (;;) {
        const size_t end = buffer_.find('\0');
        if (end != std::string::npos) {
            message = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            return true;
        }
        if (closing_)
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

void PipeTransport::Start(MessageHandler onMessage, CloseHandler onClose) {
    thread_ = std::thread(
        [this, onMessage = std::move(onMessage), onClose = std::move(onClose)] { Loop(onMessage, onClose); });
}

void PipeTransport::Loop(const MessageHandler& onMessage, const CloseHandler& onClose) {
    std::string message;
    while (Read(message)) onMessage(message);
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
