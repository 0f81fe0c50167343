#include "browser/BrowserLauncher.h"

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "browser/BrowserProcess.h"
#include "browser/WebSocketTransport.h"
#include "net/HttpClient.h"
#include "net/WebSocketClient.h"
#include "util/Scrambled.h"
#include "util/Utilities.h"

namespace browser {
namespace {

using nlohmann::json;

constexpr int kFirstPort = 9000;
constexpr int kLastPort = 59000;
constexpr int kDiscoveryAttempts = 10;
constexpr auto kDiscoveryPause = std::chrono::milliseconds(1000);

const std::string& DiscoveryTemplate() {
    return SCRAMBLED("http://127.0.0.1:%d/json", 0x58c2a7e19f0b3d64ull);
}
const std::string& AddressMember() {
    return SCRAMBLED("webSocketDebuggerUrl", 0x3e90d4b7a15c8f26ull);
}

// Sleeps until the time passed or cancelled turned true.
void PauseUnless(const std::atomic<bool>& cancelled, std::chrono::steady_clock::duration pause) {
    const auto until = std::chrono::steady_clock::now() + pause;
    while (!cancelled && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// The WebSocket address of the browser's first page target, asked over HTTP until it answers.
std::string FindDebuggerUrl(int port, const std::atomic<bool>& cancelled) {
    const std::string url = util::FormatString(DiscoveryTemplate(), port);
    for (int attempt = 0; attempt < kDiscoveryAttempts && !cancelled; ++attempt) {
        // Wait for the port to open (at most the pause between attempts) instead of sleeping blindly.
        const auto until = std::chrono::steady_clock::now() + kDiscoveryPause;
        while (!IsPortListening(port) && !cancelled && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        net::HttpClient http;
        std::string body;
        if (http.Open("GET", url) && http.Send())
            body = http.GetBodyText();
        if (!body.empty()) {
            json targets = json::parse(body, nullptr, false);
            if (targets.is_array()) {
                for (const json& target : targets) {
                    if (!target.is_object() || target.value("type", "") != "page")
                        continue;
                    auto address = target.find(AddressMember());
                    if (address != target.end() && address->is_string() &&
                        !address->get<std::string>().empty()) {
                        return address->get<std::string>();
                    }
                    break;
                }
            }
        }
        // The port is open but no page is listed yet: look again soon; otherwise the full pause.
        if (attempt + 1 < kDiscoveryAttempts) {
            PauseUnless(cancelled, IsPortListening(port) ? kDiscoveryPause / 10 : kDiscoveryPause);
        }
    }
    return {};
}

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
    browser->reservation_ = std::make_unique<PortReservation>(kFirstPort, kLastPort);
    browser->port_ = browser->reservation_->Port();
    if (browser->port_ == 0) {
        reason = "no free debugging port";
        return nullptr;
    }
    // The browser's own temporary files go into a folder of this session, removed after it.
    std::string scratch = (std::filesystem::temp_directory_path() / "epub2pdf-browser-XXXXXX").string();
    if (::mkdtemp(scratch.data()) == nullptr) {
        reason = "cannot create a temporary folder for the browser";
        return nullptr;
    }
    browser->scratch_ = scratch;

    std::string folder = util::GetFolderOf(browserPath);
    if (folder.size() > 1)
        folder.pop_back();
    std::vector<std::string> arguments = {browserPath};
    for (std::string& a : BuildArguments(browser->port_)) arguments.push_back(std::move(a));
    browser->process_ = std::make_unique<BrowserProcess>();
    browser->processId_ =
        browser->process_->Launch(arguments, true, true, true, folder, {"TMPDIR=" + scratch});
    if (browser->processId_ == 0) {
        reason = "the browser " + browserPath + " could not be started";
        return nullptr;
    }
    const std::string address = FindDebuggerUrl(browser->port_, cancelled);
    if (cancelled) {
        reason = "cancelled";
        return nullptr;
    }
    std::unique_ptr<net::WebSocketClient> socket;
    if (!address.empty())
        socket = net::WebSocketClient::FromUrl(address, "");
    if (!socket) {
        reason = "the browser did not open its debugging port";
        return nullptr;
    }
    browser->transport_ = std::make_unique<WebSocketTransport>(std::move(socket));
    return browser;
}

}  // namespace browser
