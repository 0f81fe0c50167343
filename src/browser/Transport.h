// A channel of DevTools messages to one browser: text messages out, text messages in, and its end.
// The connection above it never knows whether a WebSocket, a pipe or a test stands behind it.
#pragma once

#include <functional>
#include <string>

namespace browser {

class Transport {
  public:
    using MessageHandler = std::function<void(const std::string& message)>;
    using CloseHandler = std::function<void(const std::string& reason)>;

    virtual ~Transport() = default;
    // Begins delivering: onMessage for each message received, then onClose once when the channel ends
    // (from either side). Both are called on the transport's own thread, never after its destruction.
    virtual void Start(MessageHandler onMessage, CloseHandler onClose) = 0;
    // Queues one message; false when the channel has ended.
    virtual bool Send(std::string message) = 0;
    // Ends the channel from any thread; onClose follows with reason unless the channel had ended.
    virtual void Close(const std::string& reason) = 0;
};

}  // namespace browser
