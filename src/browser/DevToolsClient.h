// One session with one headless browser for the length of one conversion job. Construction starts the
// session on a thread of its own ("remote"): it picks a free port, launches the browser, discovers its
// page target over HTTP, connects a WebSocket and then polls it, handing each message to OnMessage.
// Callers send requests with SendCommand and wait on signals (connected, page loaded, response, ready).
// Only the session thread touches the socket; requests reach it through an outbox. When the session
// ends (the browser went, or Abort was called) every waiter wakes, and every later wait returns at once.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace browser {

class TaskThread;

// Default limits of the waits, generous enough for a chapter of 500 pages. -1 waits without limit.
struct Timeouts {
    static constexpr int kConnectMs = 60'000;
    static constexpr int kReadyMs = 60'000;
    static constexpr int kPageLoadMs = 300'000;
    static constexpr int kPrintMs = 600'000;
};

class DevToolsClient {
public:
    using Callback = std::function<void(const nlohmann::json&)>;

    // Starts the session for a browser executable; returns at once. Without interceptRequests the
    // request policy is not enforced (for measuring what it costs).
    explicit DevToolsClient(const std::string& browserPath, bool interceptRequests = true);
    virtual ~DevToolsClient();
    DevToolsClient(const DevToolsClient&) = delete;
    DevToolsClient& operator=(const DevToolsClient&) = delete;

    // Sends one request and waits until its callback has run or the session ended (true), or the
    // time-out passed (false). False at once when there is no open connection.
    bool SendCommand(int timeoutMs, const std::string& method, const nlohmann::json& params, Callback callback);
    // True when the WebSocket opened within the time-out and is still open.
    bool WaitConnected(int timeoutMs = Timeouts::kConnectMs);
    // True when the page-load event arrived within the time-out.
    bool WaitPageLoaded(int timeoutMs = Timeouts::kPageLoadMs);
    // True when the ready request was answered without error within the time-out.
    bool WaitReady(int timeoutMs = Timeouts::kReadyMs);
    // The ready request, sent once before any navigation: enables the page's events.
    bool EnableSession(int timeoutMs = Timeouts::kReadyMs);

    // Ends the session from any thread: every wait returns at once, and the browser goes. For stopping
    // a job whose page hangs (a dialog, an endless script).
    void Abort();
    // True once the session ended.
    bool Ended() const;

    // Loads a chapter file into the page; true when its load event arrived.
    bool Navigate(const std::string& path, int timeoutMs = Timeouts::kPageLoadMs);
    // Prints the loaded page to outputPath (US Letter, 110 %, 0.8 in margins, backgrounds); true only
    // when the PDF file was written.
    bool PrintToPdf(const std::string& outputPath, int timeoutMs = Timeouts::kPrintMs);

    // Which requests the pages may make: file:// URLs inside bookFolder (after resolving "..",
    // percent-escapes and symbolic links), about:blank and data: URLs, and http(s) when allowNetwork.
    // Everything else is failed as blocked by the client. Until this is called, no file is allowed.
    void SetRequestPolicy(const std::string& bookFolder, bool allowNetwork);
    // Whether the request policy lets a URL through (the decision made for every paused request).
    bool IsRequestAllowed(const std::string& url) const;

    // The print parameters, exactly as sent.
    static const nlohmann::json& PrintParameters();

    int LastId() const { return lastId_; }
    int Port() const { return port_; }
    // The browser's process id while the session runs, else 0.
    int BrowserProcessId() const { return browserPid_; }
    // How many requests of the loaded pages were refused.
    int BlockedRequests() const { return blocked_; }

private:
    void Session();
    void RunBrowser(int port, const std::string& folder, const std::string& scratch);
    std::string FindDebuggerUrl(int port);
    void OnMessage(const std::string& text);
    void EndSession();
    void Wake();
    void OnRequestPaused(const nlohmann::json& params);
    void SendInternal(const std::string& method, const nlohmann::json& params);

    // What callers wait for. A wait ends when its signal is set or the session has ended; the end is
    // never reset, so a session that ends between a caller's check and its wait still wakes it.
    enum Signal { kConnected, kPageLoaded, kResponse, kReady, kSignalCount };
    void SetSignal(Signal signal);
    void ResetSignal(Signal signal);
    // True when the signal was set or the session ended within the time-out (-1: no limit).
    bool WaitSignal(Signal signal, int timeoutMs);

    std::mutex requestLock_;
    std::mutex pageLock_;
    mutable std::mutex signalLock_;
    std::condition_variable signalChanged_;
    bool signalled_[kSignalCount] = {};
    bool ended_ = false;
    std::atomic<int> lastId_{0};
    std::atomic<int> awaitedId_{0};
    std::unique_ptr<TaskThread> worker_;
    std::atomic<bool> closing_{false};
    std::atomic<bool> connected_{false};
    std::atomic<bool> pageLoaded_{false};
    std::atomic<bool> ready_{false};
    std::atomic<bool> socketOpen_{false};
    std::atomic<int> port_{0};
    std::atomic<int> browserPid_{0};
    std::atomic<int> blocked_{0};
    std::mutex pendingLock_;
    std::unordered_map<int, Callback> pending_;
    std::mutex outboxLock_;
    std::vector<std::string> outbox_;
    std::atomic<int> internalId_{1 << 30};  // ids of the session's own requests, never awaited
    mutable std::mutex policyLock_;
    std::string allowedFolder_;  // canonical, ending in '/'; empty: no file allowed
    bool allowNetwork_ = false;
    int wakeFd_ = -1;
    std::string browserPath_;
    bool interceptRequests_;
};

}  // namespace browser
