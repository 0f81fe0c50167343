#include "browser/BrowserLauncher.h"

#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

#include "browser/BrowserProcess.h"
#include "browser/PageSession.h"
#include "browser/PipeTransport.h"
#include "browser/WebSocketTransport.h"
#include "net/WebSocketClient.h"
#include "util/Utilities.h"

namespace browser {
namespace {

// How long a started browser may take to answer on its channel and give its page.
constexpr int kAttachMs = 60'000;
// How long a running browser may take to accept the connection.
constexpr int kHandshakeMs = 10'000;

}  // namespace

LaunchedBrowser::LaunchedBrowser() = default;

LaunchedBrowser::~LaunchedBrowser() {
    transport_.reset();
    process_.reset();  // ends the browser and its whole process group
    if (!scratch_.empty())
        util::RemoveFolderTree(scratch_);
}

bool IsBrowserAddress(const std::string& where) {
    return where.rfind("ws://", 0) == 0;
}

std::unique_ptr<LaunchedBrowser> LaunchBrowser(const std::string& browserPath,
                                               const std::atomic<bool>& cancelled, std::string& reason) {
    if (browserPath.empty()) {
        reason = "no browser executable";
        return nullptr;
    }
    std::unique_ptr<LaunchedBrowser> browser(new LaunchedBrowser());
    std::string why;
    if (IsBrowserAddress(browserPath)) {
        // A browser somebody else runs, reached at its DevTools address: a page of its own there.
        std::unique_ptr<net::WebSocketClient> socket =
            net::WebSocketClient::FromUrl(browserPath, "", kHandshakeMs);
        if (!socket) {
            reason = "no browser answers at " + browserPath;
            return nullptr;
        }
        auto session = std::make_unique<PageSession>(std::make_unique<WebSocketTransport>(std::move(socket)),
                                                     PageSession::Page::New);
        if (!session->Attach(kAttachMs, cancelled, why)) {
            reason = cancelled ? "cancelled" : why + " (" + browserPath + ")";
            return nullptr;
        }
        browser->transport_ = std::move(session);
        return browser;
    }

    // The browser's own temporary files and its profile go into a folder of this session (in the per-user
    // data folder, private to the user), removed after it.
    std::error_code error;
    std::filesystem::create_directories(util::GetUserDataFolder(), error);
    std::string scratch = util::JoinPath(util::GetUserDataFolder(), "devtools-XXXXXX");
    if (::mkdtemp(scratch.data()) == nullptr) {
        reason = "cannot create a temporary folder for the browser";
        return nullptr;
    }
    browser->scratch_ = scratch;

    // The browser is driven over a socket pair it inherits (--remote-debugging-pipe): it opens no port.
    int channel[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel) != 0) {
        reason = "cannot create the channel to the browser";
        return nullptr;
    }
    auto session = std::make_unique<PageSession>(std::make_unique<PipeTransport>(channel[0], channel[0]),
                                                 PageSession::Page::First);

    std::string folder = util::GetFolderOf(browserPath);
    if (folder.size() > 1)
        folder.pop_back();
    std::vector<std::string> arguments = {browserPath};
    for (std::string& a : BuildArguments(scratch + "/profile")) arguments.push_back(std::move(a));
    browser->process_ = std::make_unique<BrowserProcess>();
    browser->processId_ =
        browser->process_->Launch(arguments, true, false, true, folder, {"TMPDIR=" + scratch}, channel[1]);
    ::close(channel[1]);
    if (browser->processId_ == 0) {
        reason = "the browser " + browserPath + " could not be started";
        return nullptr;
    }
    if (!session->Attach(kAttachMs, cancelled, why)) {
        reason = cancelled ? "cancelled" : why;
        return nullptr;
    }
    browser->transport_ = std::move(session);
    return browser;
}

}  // namespace browser
