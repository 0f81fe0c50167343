// The transport over a WebSocket to the browser's debugging port: a thread of its own moves bytes
// between the socket and the queues, and delivers what arrives.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "browser/Transport.h"

namespace net {
class WebSocketClient;
}

namespace browser {

class WebSocketTransport : public Transport {
  public:
    // Takes an open socket.
    explicit WebSocketTransport(std::unique_ptr<net::WebSocketClient> socket);
    // Closes the channel and waits for its thread.
    ~WebSocketTransport() override;
    WebSocketTransport(const WebSocketTransport&) = delete;
    WebSocketTransport& operator=(const WebSocketTransport&) = delete;

    void Start(MessageHandler onMessage, CloseHandler onClose) override;
    bool Send(std::string message) override;
    void Close(const std::string& reason) override;

  private:
    void Loop(const MessageHandler& onMessage, const CloseHandler& onClose);
    void Wake();

    std::unique_ptr<net::WebSocketClient> socket_;
    std::mutex lock_;
    std::vector<std::string> outbox_;
    std::string closeReason_;  // set by Close
    std::atomic<bool> closing_{false};
    std::atomic<bool> ended_{false};
    int wakeFd_ = -1;
    std::thread thread_;
};

}  // namespace browser
