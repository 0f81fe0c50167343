#include "browser/BrowserLauncher.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "browser/BrowserProcess.h"
#include "browser/PipeTransport.h"
#include "browser/WebSocketTransport.h"
#include "net/WebSocketClient.h"
#include "util/Files.h"
#include "util/Folders.h"
#include "util/Paths.h"

namespace browser {
namespace {

// How long a running browser may take to accept the connection.
constexpr int kHandshakeMs = 10'000;
// The longest temporary folder the browser is given: its singleton socket goes in a folder of its own
// in there, and the socket's whole path must fit a socket address (108 bytes).
constexpr size_t kLongestTemporaryFolder = 48;

// A private folder for the browser's temporary files, short whatever the user's folders are: in
// $TMPDIR when that is short enough, else in /tmp. Empty when none can be made.
std::string MakeTemporaryFolder() {
    const char* tmp = std::getenv("TMPDIR");  // NOLINT(concurrency-mt-unsafe): read, never set, here
    std::string base =
        tmp != nullptr && tmp[0] == '/' && std::strlen(tmp) <= kLongestTemporaryFolder ? tmp : "/tmp";
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    std::string folder = base + "/epub2pdf-browser-XXXXXX";
    return ::mkdtemp(folder.data()) != nullptr ? folder : std::string();
}

}  // namespace

LaunchedBrowser::LaunchedBrowser() = default;

LaunchedBrowser::~LaunchedBrowser() {
    process_.reset();  // ends the browser and its whole process group
    if (!scratch_.empty())
        util::RemoveFolderTree(scratch_);
    if (!temporary_.empty())
        util::RemoveFolderTree(temporary_);
}

bool IsBrowserAddress(const std::string& where) {
    return where.rfind("ws://", 0) == 0;
}

util::Status ConnectBrowser(const std::string& address, std::unique_ptr<Transport>& transport) {
    std::unique_ptr<net::WebSocketClient> socket = net::WebSocketClient::FromUrl(address, "", kHandshakeMs);
    if (!socket)
        return util::Status::Failure("no browser answers at " + address);
    transport = std::make_unique<WebSocketTransport>(std::move(socket));
    return {};
}

util::Status LaunchBrowser(const std::string& browserPath, std::unique_ptr<LaunchedBrowser>& browser,
                           std::unique_ptr<Transport>& transport) {
    if (browserPath.empty())
        return util::Status::Failure("no browser executable");
    auto launched = std::make_unique<LaunchedBrowser>();
    // The browser's profile goes into a folder of this browser (in the per-user data folder, private to
    // the user), removed after it.
    std::error_code error;
    std::filesystem::create_directories(util::GetUserDataFolder(), error);
    std::string scratch = util::JoinPath(util::GetUserDataFolder(), "devtools-XXXXXX");
    if (::mkdtemp(scratch.data()) == nullptr)
        return util::Status::Failure("cannot create a temporary folder for the browser");
    launched->scratch_ = scratch;
    // Its temporary files apart, in a folder whose path is short (the user's data folder may be deep).
    launched->temporary_ = MakeTemporaryFolder();
    if (launched->temporary_.empty())
        return util::Status::Failure("cannot create a temporary folder for the browser");

    // The browser is driven over a socket pair it inherits (--remote-debugging-pipe): it opens no port.
    int channel[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel) != 0)
        return util::Status::Failure("cannot create the channel to the browser");
    auto pipe = std::make_unique<PipeTransport>(channel[0], channel[0]);

    std::string folder = util::GetFolderOf(browserPath);
    if (folder.size() > 1)
        folder.pop_back();
    std::vector<std::string> arguments = {browserPath};
    for (std::string& a : BuildArguments(scratch + "/profile")) arguments.push_back(std::move(a));
    launched->process_ = std::make_unique<BrowserProcess>();
    launched->processId_ = launched->process_->Launch(arguments, true, false, true, folder,
                                                      {"TMPDIR=" + launched->temporary_}, channel[1]);
    ::close(channel[1]);
    if (launched->processId_ == 0)
        return util::Status::Failure("the browser " + browserPath + " could not be started");
    browser = std::move(launched);
    transport = std::move(pipe);
    return {};
}

}  // namespace browser
