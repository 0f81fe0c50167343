// The transport over the channel a browser started with --remote-debugging-pipe reads (its fd 3) and
// writes (its fd 4): NUL-terminated JSON messages. Here both are one end of a socket pair, which no other
// process can open, unlike a debugging port, and whose writes cannot raise SIGPIPE. The channel reaches
// the browser as a whole; Attach makes it the channel of one page session.
#pragma once

#include <atomic>
#include <mutex>
#include <nlohmann/json_fwd.hpp>
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

    // Before Start: attaches to the browser's first page target and keeps its session, so that every
    // message sent goes to that page and only that page's messages are delivered. Waits at most
    // timeoutMs, and gives up as soon as cancelled turns true; false with the reason when it failed.
    bool Attach(int timeoutMs, const std::atomic<bool>& cancelled, std::string& reason);

    void Start(MessageHandler onMessage, CloseHandler onClose) override;
    bool Send(std::string message) override;
    void Close(const std::string& reason) override;

  private:
    // One message from the browser, waiting at most until the deadline; false at its end.
    bool Read(std::string& message, int timeoutMs, const std::atomic<bool>* cancelled);
    bool Write(const std::string& message);
    // A browser-level call made before Start; true with its reply's result.
    bool CallBrowser(int id, const std::string& method, const nlohmann::json& params, int timeoutMs,
                     const std::atomic<bool>& cancelled, nlohmann::json& result);
    void Loop(const MessageHandler& onMessage, const CloseHandler& onClose);

    int toBrowser_;
    int fromBrowser_;
    int wakeFd_ = -1;
    std::string buffer_;     // bytes read after the last complete message
    std::string sessionId_;  // the page session; empty before Attach
    std::mutex writeLock_;
    std::mutex closeLock_;
    std::string closeReason_;
    std::atomic<bool> closing_{false};
    std::thread thread_;
};

}  // namespace browser
