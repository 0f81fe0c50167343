#include "net/WebSocketClient.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "util/ByteOrder.h"

namespace net {
namespace {

constexpr std::size_t kUrlLimit = 512;
constexpr std::size_t kOriginLimit = 200;
constexpr std::size_t kLineBuffer = 1024;
constexpr std::size_t kReceiveStep = 1500;

enum Opcode : std::uint8_t {
    kContinuation = 0x0,
    kText = 0x1,
    kBinary = 0x2,
    kCloseFrame = 0x8,
    kPing = 0x9,
    kPong = 0xa,
};

bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINPROGRESS;
}

bool SendLine(int fd, const char* text) {
    std::size_t left = std::strlen(text);
    while (left > 0) {
        ssize_t n = ::send(fd, text, left, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        text += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Reads one line of the handshake reply byte by byte. False when the peer closed the connection.
// tooLong is set when 1,023 bytes came without a line end.
bool ReadLine(int fd, char (&line)[kLineBuffer], bool& tooLong) {
    std::size_t i = 0;
    tooLong = false;
    for (;;) {
        if (i >= kLineBuffer - 1) {
            line[i] = '\0';
            tooLong = true;
            return true;
        }
        ssize_t n = ::recv(fd, line + i, 1, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        ++i;
        if (i >= 2 && (line[i - 1] == '\n' || line[i - 2] == '\r'))
            break;
    }
    line[i] = '\0';
    return true;
}

int Connect(const char* host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    char service[16];
    std::snprintf(service, sizeof service, "%d", port);
    addrinfo* result = nullptr;
    int rc = ::getaddrinfo(host, service, &hints, &result);
    if (rc != 0) {
        std::fprintf(stderr, "getaddrinfo: %s\n", gai_strerror(rc));
        return -1;
    }
    int fd = -1;
    for (addrinfo* p = result; p != nullptr; p = p->ai_next) {
        fd = ::socket(p->ai_family, p->ai_socktype | SOCK_CLOEXEC, p->ai_protocol);
        if (fd < 0)
            continue;
        if (::connect(fd, p->ai_addr, p->ai_addrlen) == 0)
            break;
        ::close(fd);
        fd = -1;
    }
    ::freeaddrinfo(result);
    return fd;
}

}  // namespace

std::unique_ptr<WebSocketClient> WebSocketClient::FromUrl(const std::string& url, const std::string& origin,
                                                          int handshakeTimeoutMs) {
    if (url.size() >= kUrlLimit) {
        std::fprintf(stderr, "ERROR: url size limit exceeded: %s\n", url.c_str());
        return nullptr;
    }
    if (origin.size() >= kOriginLimit) {
        std::fprintf(stderr, "ERROR: origin size limit exceeded: %s\n", origin.c_str());
        return nullptr;
    }
    char host[kUrlLimit] = {};
    char path[kUrlLimit] = {};
    int port = 0;
    if (std::sscanf(url.c_str(), "ws://%511[^:/]:%d/%511s", host, &port, path) == 3) {
    } else if (std::sscanf(url.c_str(), "ws://%511[^:/]/%511s", host, path) == 2) {
        port = 80;
    } else if (std::sscanf(url.c_str(), "ws://%511[^:/]:%d", host, &port) == 2) {
        path[0] = '\0';
    } else if (std::sscanf(url.c_str(), "ws://%511[^:/]", host) == 1) {
        port = 80;
        path[0] = '\0';
    } else {
        std::fprintf(stderr, "ERROR: Could not parse WebSocket url: %s\n", url.c_str());
        return nullptr;
    }

    int fd = Connect(host, port);
    if (fd < 0) {
        std::fprintf(stderr, "Unable to connect to %s:%d\n", host, port);
        return nullptr;
    }

    // The handshake blocks, but not forever: a peer that accepts and then says nothing ends it.
    timeval limit{handshakeTimeoutMs / 1000, (handshakeTimeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);

    char line[kLineBuffer];
    bool sent = true;
    std::snprintf(line, sizeof line, "GET /%s HTTP/1.1\r\n", path);
    sent = sent && SendLine(fd, line);
    if (port == 80) {
        std::snprintf(line, sizeof line, "Host: %s\r\n", host);
    } else {
        std::snprintf(line, sizeof line, "Host: %s:%d\r\n", host, port);
    }
    sent = sent && SendLine(fd, line);
    sent = sent && SendLine(fd, "Upgrade: websocket\r\n");
    sent = sent && SendLine(fd, "Connection: Upgrade\r\n");
    if (!origin.empty()) {
        std::snprintf(line, sizeof line, "Origin: %s\r\n", origin.c_str());
        sent = sent && SendLine(fd, line);
    }
    std::snprintf(line, sizeof line, "Sec-WebSocket-Key: %s\r\n", kHandshakeKey);
    sent = sent && SendLine(fd, line);
    sent = sent && SendLine(fd, "Sec-WebSocket-Version: 13\r\n");
    sent = sent && SendLine(fd, "\r\n");
    if (!sent) {
        ::close(fd);
        return nullptr;
    }

    bool tooLong = false;
    if (!ReadLine(fd, line, tooLong)) {
        ::close(fd);
        return nullptr;
    }
    if (tooLong) {
        std::fprintf(stderr, "ERROR: Got invalid status line connecting to: %s\n", url.c_str());
        ::close(fd);
        return nullptr;
    }
    int status = 0;
    if (std::sscanf(line, "HTTP/1.1 %d", &status) != 1 || status != 101) {
        std::fprintf(stderr, "ERROR: Got bad status connecting to %s: %s", url.c_str(), line);
        ::close(fd);
        return nullptr;
    }
    for (;;) {
        if (!ReadLine(fd, line, tooLong)) {
            ::close(fd);
            return nullptr;
        }
        if (line[0] == '\r' && line[1] == '\n')
            break;
    }

    const timeval none{0, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &none, sizeof none);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &none, sizeof none);
    int flag = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &flag, sizeof flag);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    return std::unique_ptr<WebSocketClient>(new WebSocketClient(fd));
}

WebSocketClient::WebSocketClient(int socket) : socket_(socket) {}

WebSocketClient::~WebSocketClient() {
    CloseSocket();
}

void WebSocketClient::CloseSocket() {
    if (socket_ >= 0)
        ::close(socket_);
    socket_ = -1;
}

WebSocketClient::ReadyState WebSocketClient::GetReadyState() const {
    return readyState_;
}

void WebSocketClient::Poll(int timeoutMs) {
    if (readyState_ == ReadyState::Closed) {
        if (timeoutMs > 0) {
            timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
            ::select(0, nullptr, nullptr, nullptr, &tv);
        }
        return;
    }
    if (timeoutMs != 0) {
        fd_set readFds, writeFds;
        FD_ZERO(&readFds);
        FD_ZERO(&writeFds);
        FD_SET(socket_, &readFds);
        if (!txBuffer_.empty())
            FD_SET(socket_, &writeFds);
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        ::select(socket_ + 1, &readFds, &writeFds, nullptr, timeoutMs > 0 ? &tv : nullptr);
    }
    for (;;) {
        const std::size_t before = rxBuffer_.size();
        rxBuffer_.resize(before + kReceiveStep);
        ssize_t n = ::recv(socket_, rxBuffer_.data() + before, kReceiveStep, 0);
        const int error = errno;
        if (n < 0 && error == EINTR) {
            rxBuffer_.resize(before);
            continue;
        }
        if (n < 0 && WouldBlock(error)) {
            rxBuffer_.resize(before);
            break;
        }
        if (n <= 0) {
            rxBuffer_.resize(before);
            CloseSocket();
            readyState_ = ReadyState::Closed;
            std::fputs(n == 0 ? "Connection closed!\n" : "Connection error!\n", stderr);
            return;
        }
        rxBuffer_.resize(before + static_cast<std::size_t>(n));
    }
    while (!txBuffer_.empty()) {
        ssize_t n = ::send(socket_, txBuffer_.data(), txBuffer_.size(), MSG_NOSIGNAL);
        const int error = errno;
        if (n < 0 && error == EINTR)
            continue;
        if (n < 0 && WouldBlock(error))
            break;
        if (n <= 0) {
            CloseSocket();
            readyState_ = ReadyState::Closed;
            std::fputs(n == 0 ? "Connection closed!\n" : "Connection error!\n", stderr);
            return;
        }
        txBuffer_.erase(txBuffer_.begin(), txBuffer_.begin() + n);
    }
    if (txBuffer_.empty() && readyState_ == ReadyState::Closing) {
        CloseSocket();
        readyState_ = ReadyState::Closed;
    }
}

void WebSocketClient::QueueFrame(std::uint8_t opcode, const std::uint8_t* payload, std::size_t size) {
    if (readyState_ == ReadyState::Closing || readyState_ == ReadyState::Closed)
        return;
    std::uint8_t header[14];
    std::size_t headerSize = 2 + (size >= 126 ? 2 : 0) + (size >= 65536 ? 6 : 0) + (useMask_ ? 4 : 0);
    header[0] = static_cast<std::uint8_t>(0x80 | opcode);
    const std::uint8_t mask = useMask_ ? 0x80 : 0;
    if (size < 126) {
        header[1] = static_cast<std::uint8_t>(size) | mask;
    } else if (size < 65536) {
        header[1] = 126 | mask;
        util::WriteBigEndian(header + 2, static_cast<std::uint16_t>(size));
    } else {
        header[1] = 127 | mask;
        util::WriteBigEndian(header + 2, static_cast<std::uint64_t>(size));
    }
    if (useMask_)
        std::memcpy(header + headerSize - 4, kMaskKey, 4);
    const std::size_t start = txBuffer_.size() + headerSize;
    txBuffer_.insert(txBuffer_.end(), header, header + headerSize);
    txBuffer_.insert(txBuffer_.end(), payload, payload + size);
    if (useMask_) {
        for (std::size_t i = 0; i < size; ++i) txBuffer_[start + i] ^= kMaskKey[i & 3];
    }
}

void WebSocketClient::Send(const std::string& text) {
    QueueFrame(kText, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

void WebSocketClient::SendBinary(const std::vector<std::uint8_t>& bytes) {
    QueueFrame(kBinary, bytes.data(), bytes.size());
}

void WebSocketClient::SendBinary(const std::string& bytes) {
    QueueFrame(kBinary, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

void WebSocketClient::SendPing() {
    QueueFrame(kPing, nullptr, 0);
}

void WebSocketClient::Close() {
    if (readyState_ == ReadyState::Closing || readyState_ == ReadyState::Closed)
        return;
    readyState_ = ReadyState::Closing;
    const std::uint8_t closeFrame[6] = {0x88, 0x80, 0, 0, 0, 0};
    txBuffer_.insert(txBuffer_.end(), closeFrame, closeFrame + 6);
}

void WebSocketClient::Dispatch(const std::function<void(const std::string&)>& callback) {
    DispatchBinary([&callback](const std::vector<std::uint8_t>& message) {
        callback(std::string(message.begin(), message.end()));
    });
}

void WebSocketClient::DispatchBinary(const std::function<void(const std::vector<std::uint8_t>&)>& callback) {
    if (receiveBroken_)
        return;
    for (;;) {
        if (rxBuffer_.size() < 2)
            return;
        const std::uint8_t* data = rxBuffer_.data();
        const bool fin = (data[0] & 0x80) != 0;
        const std::uint8_t opcode = data[0] & 0x0f;
        const bool masked = (data[1] & 0x80) != 0;
        const std::uint8_t shortLength = data[1] & 0x7f;
        const std::size_t headerSize =
            2 + (shortLength == 126 ? 2 : 0) + (shortLength == 127 ? 8 : 0) + (masked ? 4 : 0);
        if (rxBuffer_.size() < headerSize)
            return;
        std::uint64_t length = shortLength;
        if (shortLength == 126) {
            length = util::ReadBigEndian<std::uint16_t>(data + 2);
        } else if (shortLength == 127) {
            length = util::ReadBigEndian<std::uint64_t>(data + 2);
            if (length & (1ull << 63)) {
                std::fputs("ERROR: Frame has invalid frame length. Closing.\n", stderr);
                receiveBroken_ = true;
                Close();
                return;
            }
        }
        if (rxBuffer_.size() - headerSize < length)
            return;  // wait for the rest of the payload
        const std::size_t payloadSize = static_cast<std::size_t>(length);
        std::uint8_t* payload = rxBuffer_.data() + headerSize;
        if (masked) {
            const std::uint8_t* key = rxBuffer_.data() + headerSize - 4;
            for (std::size_t i = 0; i < payloadSize; ++i) payload[i] ^= key[i & 3];
        }
        switch (opcode) {
            case kContinuation:
            case kText:
            case kBinary:
                messageBuffer_.insert(messageBuffer_.end(), payload, payload + payloadSize);
                if (fin) {
                    callback(messageBuffer_);
                    std::vector<std::uint8_t>().swap(messageBuffer_);
                }
                break;
            case kPing:
                QueueFrame(kPong, payload, payloadSize);
                break;
            case kPong:
                break;
            case kCloseFrame:
                Close();
                break;
            default:
                std::fputs("ERROR: Got unexpected WebSocket message.\n", stderr);
                Close();
                break;
        }
        rxBuffer_.erase(rxBuffer_.begin(),
                        rxBuffer_.begin() + static_cast<std::ptrdiff_t>(headerSize + payloadSize));
    }
}

}  // namespace net
