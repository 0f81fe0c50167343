// A TCP server on 127.0.0.1 for tests: every accepted connection runs the handler on a thread of its
// own. Stops accepting and joins the handlers on destruction.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

class LoopbackServer {
  public:
    using Handler = std::function<void(int socket)>;
    // Listens on port (0: any free port).
    explicit LoopbackServer(Handler handler, int port = 0);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool Listening() const { return listener_ >= 0; }
    int Port() const { return port_; }

    // Helpers for handlers.
    static bool SendAll(int socket, const std::string& bytes);
    // Reads until the text contains marker (or the peer closes); returns what was read.
    static std::string ReadUntil(int socket, const std::string& marker);
    // Reads exactly n bytes (fewer when the peer closes).
    static std::string ReadBytes(int socket, size_t n);

  private:
    Handler handler_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<std::thread> workers_;
};

// A running `python3 -m http.server` serving folder on a free loopback port; stopped on destruction.
class PythonHttpServer {
  public:
    explicit PythonHttpServer(const std::string& folder);
    ~PythonHttpServer();
    int Port() const { return port_; }
    std::string Url(const std::string& path) const;

  private:
    int pid_ = -1;
    int port_ = 0;
};

// A free TCP port on the loopback interface (bound and released).
int FreePort();

}  // namespace testing_support
