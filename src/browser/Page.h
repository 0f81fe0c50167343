// One page of a browser, attached with a session of its own, as the printer uses it: it loads a file,
// runs a script in it and prints it. Every request the page makes pauses for its request policy (the
// book's files, the network only when allowed), a dialog it opens is dismissed, and a start-up script
// takes away the ways out that the policy never sees. Every target the page makes (a frame the browser
// runs in a process of its own, a worker) is attached as it appears, paused before it runs, and gets
// the same policy, script and attachment before it goes on; its own targets likewise. Every operation says
// why it failed; when the page's session ends (the browser went, or it was closed from another thread) every
// wait returns at once. Made by Browser::NewPage; it keeps its browser alive.
#pragma once

#include <memory>
#include <mutex>
#include <nlohmann/json_fwd.hpp>
#include <string>

#include "browser/PrintParameters.h"
#include "browser/RequestPolicy.h"
#include "util/Status.h"

namespace browser {

class Browser;
class Session;

// Default limits of the waits, generous enough for a chapter of 500 pages. -1 waits without limit.
struct Timeouts {
    static constexpr int kReadyMs = 60'000;
    static constexpr int kPageLoadMs = 300'000;
    static constexpr int kPrintMs = 600'000;
};

// What a page may request, and whether that is enforced.
struct PageOptions {
    std::string bookFolder;         // file:// URLs inside it are allowed; empty: no file at all
    bool allowNetwork = false;      // http(s) requests go through
    bool interceptRequests = true;  // false: the policy is not enforced (for measuring what it costs)
};

class Page {
  public:
    // Ends the page's session; a target opened for the page is closed.
    ~Page();
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;

    // Loads a file into the page and waits for its load event.
    util::Status Navigate(const std::string& path, int timeoutMs = Timeouts::kPageLoadMs);
    // Runs a script in the loaded page and waits for its value (a promise is awaited): result holds it
    // (JSON-serialisable values only).
    util::Status Evaluate(const std::string& expression, nlohmann::json& result,
                          int timeoutMs = Timeouts::kReadyMs);
    // Prints the loaded page with params into pdf (the bytes of a PDF document).
    util::Status PrintToPdf(const PrintParameters& params, std::string& pdf,
                            int timeoutMs = Timeouts::kPrintMs);

    // True once the page's session ended.
    bool Ended() const;
    // How many requests of the page were refused.
    int BlockedRequests() const;
    // How many of them were navigations (of the page or of a frame), which left the document as it was.
    int BlockedNavigations() const;
    // The page's session, for calls of the protocol the page has no operation for.
    Session& GetSession() { return *session_; }

  private:
    friend class Browser;
    struct State;
    Page(std::shared_ptr<Browser> browser, std::shared_ptr<Session> session, std::string targetId,
         bool opened, const PageOptions& options);
    // The start-up script, the request policy and the page's events; the last is the ready request.
    util::Status SetUp(int timeoutMs);
    // The handlers of the page's session or of a target attached under it: requests, dialogs and the
    // targets it makes.
    static void Guard(const std::shared_ptr<Session>& session, const std::shared_ptr<State>& state);
    // A target that attached under a guarded session, paused: guarded, set up, then let run.
    static void Adopt(const std::shared_ptr<Session>& child, const std::string& type,
                      const std::shared_ptr<State>& state);

    std::shared_ptr<Browser> browser_;
    std::shared_ptr<Session> session_;
    const std::string targetId_;
    const bool opened_;  // the target was opened for this page
    const bool intercept_;
    std::shared_ptr<State> state_;  // shared with the event handlers
    std::mutex pageLock_;           // one navigation at a time
};

}  // namespace browser
