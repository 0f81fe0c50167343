#include "support/LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace testing_support {

LoopbackServer::LoopbackServer(Handler handler, int port) : handler_(std::move(handler)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener_, 64) != 0) {
        ::close(listener_);
        listener_ = -1;
        return;
    }
    socklen_t len = sizeof addr;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    acceptor_ = std::thread([this] {
        for (;;) {
            int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                if (stopping_)
                    return;
                continue;
            }
            if (stopping_) {
                ::close(fd);
                return;
            }
            std::lock_guard lock(mutex_);
            workers_.emplace_back([this, fd] {
                handler_(fd);
                ::close(fd);
            });
        }
    });
}

LoopbackServer::~LoopbackServer() {
    stopping_ = true;
    if (listener_ >= 0) {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
    }
    if (acceptor_.joinable())
        acceptor_.join();
    for (auto& t : workers_) t.join();
}

bool LoopbackServer::SendAll(int socket, const std::string& bytes) {
    size_t off = 0;
    while (off < bytes.size()) {
        ssize_t n = ::send(socket, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        off += static_cast<size_t>(n);
    }
    return true;
}

std::string LoopbackServer::ReadUntil(int socket, const std::string& marker) {
    std::string data;
    char c;
    while (data.find(marker) == std::string::npos) {
        ssize_t n = ::recv(socket, &c, 1, 0);
        if (n <= 0)
            break;
        data += c;
    }
    return data;
}

std::string LoopbackServer::ReadBytes(int socket, size_t n) {
    std::string data(n, '\0');
    size_t got = 0;
    while (got < n) {
        ssize_t r = ::recv(socket, data.data() + got, n - got, 0);
        if (r <= 0)
            break;
        got += static_cast<size_t>(r);
    }
    data.resize(got);
    return data;
}

int FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

PythonHttpServer::PythonHttpServer(const std::string& folder) {
    port_ = FreePort();
    pid_ = ::fork();
    if (pid_ == 0) {
        const std::string port = std::to_string(port_);
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        ::execlp("python3", "python3", "-m", "http.server", port.c_str(), "--bind", "127.0.0.1",
                 "--directory", folder.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Wait until it accepts connections.
    for (int i = 0; i < 200; ++i) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<uint16_t>(port_));
        const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        if (up)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    throw std::runtime_error("python3 -m http.server did not start");
}

PythonHttpServer::~PythonHttpServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
}

std::string PythonHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

}  // namespace testing_support
