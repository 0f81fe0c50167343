// One browser the program drives over one connection: a browser of its own (launched over a pipe, its
// files in a private folder) or one somebody else runs (reached at its ws:// address). The target
// policy lives here, at the browser's level: in a browser of its own, every page, popup or worker that
// no page of the program asked for is closed as soon as it appears; in somebody else's browser, the
// program's pages open in a browser context of their own, which the browser disposes of when the
// connection ends, and the browser's other pages are left alone. Pages come from NewPage, each attached
// with a session of its own. Close, from any thread, ends every wait of every page at once.
#pragma once

#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

#include "browser/Page.h"
#include "browser/Transport.h"
#include "util/Status.h"

namespace browser {

class Connection;
class LaunchedBrowser;

class Browser : public std::enable_shared_from_this<Browser> {
  public:
    enum class Kind { Own, Shared };
    // How long a browser may take to answer while it is attached or a page is opened.
    static constexpr int kAttachMs = 60'000;
    // How long a browser somebody else runs may take to close the program's pages when it is let go.
    static constexpr int kDisposeMs = 5'000;

    // Launches the browser executable, or connects to the browser at a ws:// address; gives up with
    // "cancelled" as soon as stop is requested.
    static util::Status Start(const std::string& where, const std::stop_token& stop,
                              std::shared_ptr<Browser>& browser);
    // The browser behind an open channel (not started yet): a launched one's, a WebSocket's, a test's.
    static util::Status Attach(std::unique_ptr<Transport> transport, Kind kind, const std::stop_token& stop,
                               std::shared_ptr<Browser>& browser, int timeoutMs = kAttachMs);
    // Ends the connection, then the browser's process and its folder (a browser of its own).
    ~Browser();
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    // Opens a page set up with options (in a browser of its own, first the page it started with, then
    // new ones); waits at most timeoutMs and gives up as soon as stop is requested, which ends the
    // browser.
    util::Status NewPage(const PageOptions& options, std::unique_ptr<Page>& page,
                         const std::stop_token& stop = {}, int timeoutMs = kAttachMs);

    // Ends the connection from any thread: every wait of every page returns with reason.
    void Close(const std::string& reason);
    bool Ended() const;
    // The process id of a browser of its own while it runs, else 0.
    int ProcessId() const;

  private:
    friend class Page;
    Browser(std::unique_ptr<Transport> transport, Kind kind);
    // The browser-level steps of Attach.
    util::Status Prepare(int timeoutMs);
    // The steps of NewPage.
    util::Status OpenPage(const PageOptions& options, std::unique_ptr<Page>& page, int timeoutMs);
    // A target that appeared: closed when it is foreign to a browser of the program's own.
    void OnTargetCreated(const nlohmann::json& targetInfo);
    // Closes a target unless it is one of the program's pages (under lock_).
    void CloseIfForeignLocked(const nlohmann::json& targetInfo);
    // A page is done with its target: closed when it was opened for it.
    void ReleaseTarget(const std::string& targetId, const std::string& sessionId, bool opened);

    const Kind kind_;
    std::unique_ptr<LaunchedBrowser> launched_;  // a browser of its own; it goes after the connection
    std::unique_ptr<Connection> connection_;
    mutable std::mutex lock_;
    std::set<std::string> ownTargets_;  // the targets of the program's pages
    std::string startPage_;             // a browser's first page, until a page takes it
    std::string context_;               // somebody else's browser: the context of the program's pages
    int opening_ = 0;                   // targets being opened for pages
    std::vector<nlohmann::json> held_;  // targets that appeared meanwhile, judged once they are known
};

}  // namespace browser
