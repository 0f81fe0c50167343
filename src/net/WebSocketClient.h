// A minimal RFC 6455 client over plain TCP (ws:// only). The opening handshake blocks; afterwards the
// owner calls Poll to move bytes between the socket and two buffers and Dispatch to receive complete
// messages. Diagnostics go to standard error. Used by one thread at a time; no locking.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace net {

class WebSocketClient {
  public:
    enum class ReadyState { Closing = 0, Closed = 1, Connecting = 2, Open = 3 };

    // Connects and performs the handshake; null on failure (the reason is printed to standard error).
    // A peer that does not answer the handshake within handshakeTimeoutMs counts as closed.
    static std::unique_ptr<WebSocketClient> FromUrl(const std::string& url, const std::string& origin,
                                                    int handshakeTimeoutMs = 10000);

    virtual ~WebSocketClient();
    WebSocketClient(const WebSocketClient&) = delete;
    WebSocketClient& operator=(const WebSocketClient&) = delete;

    // Waits up to timeoutMs for the socket (0: not at all, negative: without limit) and moves data.
    virtual void Poll(int timeoutMs);
    // Queues one text frame.
    virtual void Send(const std::string& text);
    // Queues one binary frame.
    virtual void SendBinary(const std::vector<std::uint8_t>& bytes);
    virtual void SendBinary(const std::string& bytes);
    // Queues a ping with an empty payload.
    virtual void SendPing();
    // Queues a close frame and enters Closing.
    virtual void Close();
    virtual ReadyState GetReadyState() const;
    // Hands every complete received message to callback.
    virtual void Dispatch(const std::function<void(const std::string&)>& callback);
    virtual void DispatchBinary(const std::function<void(const std::vector<std::uint8_t>&)>& callback);
    // The socket, for waiting on it together with other descriptors; -1 once closed.
    int NativeHandle() const { return socket_; }

    // The masking key of every outgoing frame.
    static constexpr std::uint8_t kMaskKey[4] = {0x37, 0xfa, 0x21, 0x3d};
    // The Sec-WebSocket-Key sent on every connection.
    static constexpr const char* kHandshakeKey = "dGhlIHNhbXBsZSBub25jZQ==";

  private:
    explicit WebSocketClient(int socket);
    void QueueFrame(std::uint8_t opcode, const std::uint8_t* payload, std::size_t size);
    void CloseSocket();

    std::vector<std::uint8_t> rxBuffer_;
    std::vector<std::uint8_t> txBuffer_;
    std::vector<std::uint8_t> messageBuffer_;
    int socket_ = -1;
    ReadyState readyState_ = ReadyState::Open;
    bool useMask_ = true;
    bool receiveBroken_ = false;
};

}  // namespace net
