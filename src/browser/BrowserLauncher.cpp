#include "browser/BrowserLauncher.h"

#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

#include "browser/BrowserProcess.h"
#include "browser/PipeTransport.h"
#include "util/Utilities.h"

namespace browser {
namespace {

// How long a started browser may take to answer on its channel and give its page.
constexpr int kAttachMs = 60'000;

}  // namespace

LaunchedBrowser::LaunchedBrowser() = default;

LaunchedBrowser::~LaunchedBrowser() {
    transport_.reset();
    process_.reset();  // ends the browser and its whole process group
    if (!scratch_.empty())
        util::RemoveFolderTree(scratch_);
}

std::unique_ptr<LaunchedBrowser> LaunchBrowser(const std::string& browserPath,
                                               const std::atomic<bool>& cancelled, std::string& reason) {
    if (browserPath.empty()) {
        reason = "no browser executable";
        return nullptr;
    }
    std::unique_ptr<LaunchedBrowser> browser(new LaunchedBrowser());
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
    auto transport = std::make_unique<PipeTransport>(channel[0], channel[0]);

    std::string folder = util::GetFolderOf(browserPath);
    if (folder.size() > 1)
        folder.pop_back();
    std::vector<std::string> arguments = {browserPath};
    for (std::string& a : BuildArguments(0, scratch + "/profile")) arguments.push_back(std::move(a));
    browser->process_ = std::make_unique<BrowserProcess>();
    browser->processId_ =
        browser->process_->Launch(arguments, true, false, true, folder, {"TMPDIR=" + scratch}, channel[1]);
    ::close(channel[1]);
    if (browser->processId_ == 0) {
        reason = "the browser " + browserPath + " could not be started";
        return nullptr;
    }
    std::string why;
    if (!transport->Attach(kAttachMs, cancelled, why)) {
        reason = cancelled ? "cancelled" : why;
        return nullptr;
    }
    browser->transport_ = std::move(transport);
    return browser;
}

}  // namespace browser
