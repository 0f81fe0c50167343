// The transport over the channel a browser started with --remote-debugging-pipe reads (its fd 3) and
// writes (its fd 4): NUL-terminated JSON messages. Here both are one end of a socket pair, which no other
// process can open, unlike a debugging port, and whose writes cannot raise SIGPIPE. The channel reaches
// the browser as a whole (each page is a session over it).
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "browser/Transport.h"

namespace browser {

class PipeTransport : public Transport {
  public:
    // Takes the descriptors: toBrowser (written, a socket) and fromBrowser (read); they may be one.
    PipeTransport(int toBrowser, int fromBrowser);
    // Closes the channel and waits for its thread.
    ~PipeTransport() override;
    PipeTransport(const PipeTransport&) = delete;
    PipeTransport& operator=(const PipeTransport&) = delete;

    void Start(MessageHandler onMessage, CloseHandler onClose) override;
    bool Send(std::string message) override;
    void Close(const std::string& reason) override;

  private:
    // The next message from the browser; false at the channel's end.
    bool Read(std::string& message);
    bool Write(const std::string& message);
    void Loop(const MessageHandler& onMessage, const CloseHandler& onClose);

    int toBrowser_;
    int fromBrowser_;
    int wakeFd_ = -1;
    std::string buffer_;  // bytes read after the last complete message
    std::mutex writeLock_;
    std::mutex closeLock_;
    std::string closeReason_;
    std::atomic<bool> closing_{false};
    std::thread thread_;
};

}  // namespace browser
