// The channel of one page over a channel to a whole browser: every message sent goes to that page's
// session, and only that page's messages are delivered. For a browser of the program's own the page is
// the browser's first one, and any other page, popup or worker that appears is closed at once; on a
// browser somebody else runs, the session opens a page in a browser context of its own, leaves the
// others alone, and the browser disposes of the context when the channel ends.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

#include "browser/Transport.h"

namespace browser {

class PageSession : public Transport {
  public:
    enum class Page { First, New };

    PageSession(std::unique_ptr<Transport> browser, Page page);
    // Closes the channel.
    ~PageSession() override;
    PageSession(const PageSession&) = delete;
    PageSession& operator=(const PageSession&) = delete;

    // Before Start: finds or opens the page and attaches to it. Waits at most timeoutMs, and gives up as
    // soon as cancelled turns true; false with the reason when it failed.
    bool Attach(int timeoutMs, const std::atomic<bool>& cancelled, std::string& reason);

    void Start(MessageHandler onMessage, CloseHandler onClose) override;
    bool Send(std::string message) override;
    void Close(const std::string& reason) override;

    // The page's target id once attached.
    std::string TargetId() const;

  private:
    void OnBrowserMessage(const std::string& message);
    void OnBrowserClose(const std::string& reason);
    // A browser-level call made while attaching; true with its reply's result.
    bool CallBrowser(const std::string& method, const nlohmann::json& params, int timeoutMs,
                     const std::atomic<bool>& cancelled, nlohmann::json& result);
    // Closes a target that appeared when it is not this session's page (a browser of the program's own).
    void CloseIfForeign(const nlohmann::json& targetInfo);

    std::unique_ptr<Transport> browser_;
    Page page_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    int nextId_ = 1'000'000'000;  // browser-level ids, far from the page's
    int awaitedId_ = 0;
    bool replied_ = false;
    nlohmann::json reply_;
    std::string targetId_;
    std::string sessionId_;
    std::string mark_;               // the session id as it appears in the page's messages
    std::deque<std::string> early_;  // the page's messages before Start
    MessageHandler onMessage_;
    CloseHandler onClose_;
    bool started_ = false;
    bool ended_ = false;
    std::string endReason_;
};

}  // namespace browser
