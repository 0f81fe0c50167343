// One session with one headless browser for the length of one conversion job, as the job and the
// window use it: named operations with bool results over the layers below. Construction starts the
// browser on a thread of its own ("remote") through the launcher; the connection then carries every
// call, and the request policy decides what the pages may read. When the session ends (the browser
// went, or Abort was called) every waiter wakes, and every later wait returns at once.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json_fwd.hpp>
#include <string>

#include "browser/RequestPolicy.h"

namespace browser {

class Connection;
class LaunchedBrowser;
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
    // Ends the session; the browser goes with it.
    virtual ~DevToolsClient();
    DevToolsClient(const DevToolsClient&) = delete;
    DevToolsClient& operator=(const DevToolsClient&) = delete;

    // Sends one request and waits until its callback has run or the session ended (true), or the
    // time-out passed (false). False at once when there is no open connection.
    bool SendCommand(int timeoutMs, const std::string& method, const nlohmann::json& params,
                     const Callback& callback);
    // True when the connection opened within the time-out and is still open.
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
    // Why the session ended (or could not begin); empty while it runs.
    std::string EndReason() const;

    // Loads a chapter file into the page; true when its load event arrived.
    bool Navigate(const std::string& path, int timeoutMs = Timeouts::kPageLoadMs);
    // Prints the loaded page (US Letter, 110 %, 0.8 in margins, backgrounds) into pdf; true only when
    // the browser answered with a document.
    bool PrintPdfBytes(std::string& pdf, int timeoutMs = Timeouts::kPrintMs);
    // The same with other print parameters (those of PrintParameters, changed).
    bool PrintPdfBytes(const nlohmann::json& params, std::string& pdf, int timeoutMs = Timeouts::kPrintMs);
    // Runs a script in the loaded page and waits for its value (a promise is awaited); true when it ran
    // without an exception and result holds the value (JSON-serialisable values only).
    bool Evaluate(const std::string& expression, nlohmann::json& result, int timeoutMs = Timeouts::kReadyMs);
    // The same, written to outputPath; true only when the PDF file was written.
    bool PrintToPdf(const std::string& outputPath, int timeoutMs = Timeouts::kPrintMs);

    // Which requests the pages may make (see RequestPolicy); until this is called, no file is allowed.
    void SetRequestPolicy(const std::string& bookFolder, bool allowNetwork);
    // Whether the request policy lets a URL through (the decision made for every paused request).
    bool IsRequestAllowed(const std::string& url) const { return policy_.IsAllowed(url); }

    // The print parameters, exactly as sent.
    static const nlohmann::json& PrintParameters();

    int LastId() const;
    // The browser's process id while the session runs, else 0.
    int BrowserProcessId() const { return Ended() ? 0 : browserPid_.load(); }
    // How many requests of the loaded pages were refused.
    int BlockedRequests() const { return blocked_; }

  private:
    void Launch();
    void OnRequestPaused(Connection& connection, const nlohmann::json& params);
    // The connection once the launch has ended, null when there is none; waits at most timeoutMs.
    Connection* WaitLaunched(int timeoutMs);

    std::string browserPath_;
    bool interceptRequests_;
    RequestPolicy policy_;
    std::mutex pageLock_;
    mutable std::mutex stateLock_;
    std::condition_variable stateChanged_;
    bool launched_ = false;      // the launch ended, with or without a connection
    std::string launchFailure_;  // why it ended without one
    std::unique_ptr<LaunchedBrowser> browser_;
    std::unique_ptr<Connection> connection_;
    std::atomic<bool> closing_{false};
    std::atomic<bool> pageLoaded_{false};
    std::atomic<bool> navigationFailed_{false};
    std::atomic<bool> ready_{false};
    std::atomic<int> browserPid_{0};
    std::atomic<int> blocked_{0};
    std::unique_ptr<TaskThread> launcher_;  // last: it goes first
};

}  // namespace browser
