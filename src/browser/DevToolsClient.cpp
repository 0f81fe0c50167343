#include "browser/DevToolsClient.h"

#include "browser/BrowserProcess.h"
#include "browser/TaskThread.h"
#include "net/HttpClient.h"
#include "net/WebSocketClient.h"
#include "util/Scrambled.h"
#include "util/Utilities.h"

#include <nlohmann/json.hpp>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <cstdio>
#include <thread>

namespace browser {
namespace {

using nlohmann::json;

constexpr int kFirstPort = 9000;
constexpr int kLastPort = 59000;
constexpr int kPollIntervalMs = 10;
constexpr int kDiscoveryAttempts = 10;
constexpr auto kDiscoveryPause = std::chrono::milliseconds(1000);

const std::string& MethodNavigate() { return SCRAMBLED("Page.navigate", 0x7a3c0e51d2b94f17ull); }
const std::string& MethodPrint() { return SCRAMBLED("Page.printToPDF", 0x2f9e6b13c4a8d075ull); }
const std::string& MethodEnable() { return SCRAMBLED("Page.enable", 0x64d1f08a3e7c5b29ull); }
const std::string& EventLoaded() { return SCRAMBLED("Page.loadEventFired", 0x1b7e4c9f02d6a385ull); }
const std::string& DiscoveryTemplate() { return SCRAMBLED("http://127.0.0.1:%d/json", 0x58c2a7e19f0b3d64ull); }
const std::string& AddressMember() { return SCRAMBLED("webSocketDebuggerUrl", 0x3e90d4b7a15c8f26ull); }
const std::string& MethodFetchEnable() { return SCRAMBLED("Fetch.enable", 0x0d5e3b7a91c4f268ull); }
const std::string& EventRequestPaused() { return SCRAMBLED("Fetch.requestPaused", 0x6a2f8c05e3d19b74ull); }
const std::string& MethodContinue() { return SCRAMBLED("Fetch.continueRequest", 0x47b1d9e26c0a5f83ull); }
const std::string& MethodFail() { return SCRAMBLED("Fetch.failRequest", 0x2c6e0a8f4b93d751ull); }

// The canonical form of a path: symbolic links and ".." resolved as far as the path exists.
std::string Canonical(const std::string& path) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::weakly_canonical(path, ec);
    return ec ? util::ToFullPath(path) : p.lexically_normal().string();
}

bool IsErrorResponse(const json& response) {
    auto error = response.find("error");
    if (error == response.end() || !error->is_object()) return false;
    auto code = error->find("code");
    return code != error->end() && code->is_number();
}

}  // namespace

DevToolsClient::DevToolsClient(const std::string& browserPath, bool interceptRequests)
    : wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), browserPath_(browserPath), interceptRequests_(interceptRequests) {
    pending_.reserve(8);
    worker_ = std::make_unique<TaskThread>("remote", kPollIntervalMs);
    worker_->Post([this] { Session(); });
}

DevToolsClient::~DevToolsClient() {
    EndSession();
    closing_ = true;
    Wake();
    worker_.reset();  // joins the session, which ends the browser
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

void DevToolsClient::Wake() {
    if (wakeFd_ < 0) return;
    const std::uint64_t one = 1;
    ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
    (void)ignored;
}

void DevToolsClient::EndSession() {
    socketOpen_ = false;
    connected_ = false;
    pageLoaded_ = false;
    ready_ = false;
    std::lock_guard lock(signalLock_);
    ended_ = true;
    signalChanged_.notify_all();
}

void DevToolsClient::Abort() {
    closing_ = true;
    EndSession();
    Wake();
}

bool DevToolsClient::Ended() const {
    std::lock_guard lock(signalLock_);
    return ended_;
}

void DevToolsClient::SetSignal(Signal signal) {
    std::lock_guard lock(signalLock_);
    signalled_[signal] = true;
    signalChanged_.notify_all();
}

void DevToolsClient::ResetSignal(Signal signal) {
    std::lock_guard lock(signalLock_);
    signalled_[signal] = false;
}

bool DevToolsClient::WaitSignal(Signal signal, int timeoutMs) {
    std::unique_lock lock(signalLock_);
    auto done = [this, signal] { return signalled_[signal] || ended_; };
    if (timeoutMs < 0) {
        signalChanged_.wait(lock, done);
        return true;
    }
    return signalChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
}

void DevToolsClient::Session() {
    if (closing_) {  // aborted before the session began
        EndSession();
        return;
    }
    const PortReservation reservation(kFirstPort, kLastPort);  // held until the browser is gone
    const int port = reservation.Port();
    if (port == 0 || browserPath_.empty()) {
        EndSession();
        return;
    }
    port_ = port;
    std::string folder = util::GetFolderOf(browserPath_);
    if (folder.size() > 1) folder.pop_back();

    // The browser's own temporary files go into a folder of this session, removed after it.
    std::string scratch = (std::filesystem::temp_directory_path() / "epub2pdf-browser-XXXXXX").string();
    if (::mkdtemp(scratch.data()) == nullptr) {
        EndSession();
        return;
    }
    RunBrowser(port, folder, scratch);
    util::RemoveFolderTree(scratch);
}

void DevToolsClient::RunBrowser(int port, const std::string& folder, const std::string& scratch) {
    BrowserProcess process;
    std::vector<std::string> arguments = {browserPath_};
    for (std::string& a : BuildArguments(port)) arguments.push_back(std::move(a));
    const int pid = process.Launch(arguments, true, true, true, folder, {"TMPDIR=" + scratch});
    if (pid == 0) {
        EndSession();
        return;
    }
    browserPid_ = pid;

    std::unique_ptr<net::WebSocketClient> socket;
    const std::string address = FindDebuggerUrl(port);
    if (!address.empty() && !closing_) socket = net::WebSocketClient::FromUrl(address, "");
    if (!socket) {
        browserPid_ = 0;
        EndSession();
        return;
    }
    // Every request of the page pauses for the request policy, from the first navigation on.
    if (interceptRequests_) {
        SendInternal(MethodFetchEnable(), json{{"patterns", json::array({json{{"urlPattern", "*"}}})}});
    }
    socketOpen_ = true;
    connected_ = true;
    SetSignal(kConnected);

    std::vector<std::string> outgoing;
    while (!closing_) {
        const auto state = socket->GetReadyState();
        if (state == net::WebSocketClient::ReadyState::Closing || state == net::WebSocketClient::ReadyState::Closed) {
            break;
        }
        {
            std::lock_guard lock(outboxLock_);
            outgoing.swap(outbox_);
        }
        for (const std::string& message : outgoing) socket->Send(message);
        outgoing.clear();
        socket->Poll(0);
        socket->Dispatch([this](const std::string& message) { OnMessage(message); });
        if (socket->GetReadyState() != net::WebSocketClient::ReadyState::Open) break;

        // Sleep until the socket has data, a request is queued, or the interval passed.
        bool queued;
        {
            std::lock_guard lock(outboxLock_);
            queued = !outbox_.empty();
        }
        if (!queued) {
            pollfd fds[2] = {{socket->NativeHandle(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
            ::poll(fds, 2, kPollIntervalMs);
        }
        std::uint64_t drained;
        while (::read(wakeFd_, &drained, sizeof drained) > 0) {
        }
    }
    browserPid_ = 0;
    EndSession();
    // Leaving releases the socket, then the BrowserProcess, which ends the browser.
}

std::string DevToolsClient::FindDebuggerUrl(int port) {
    const std::string url = util::FormatString(DiscoveryTemplate(), port);
    for (int attempt = 0; attempt < kDiscoveryAttempts && !closing_; ++attempt) {
        // Wait for the port to open (at most the pause between attempts) instead of sleeping blindly.
        const auto until = std::chrono::steady_clock::now() + kDiscoveryPause;
        while (!IsPortListening(port) && !closing_ && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        net::HttpClient http;
        std::string body;
        if (http.Open("GET", url) && http.Send()) body = http.GetBodyText();
        if (!body.empty()) {
            json targets = json::parse(body, nullptr, false);
            if (targets.is_array()) {
                for (const json& target : targets) {
                    if (!target.is_object() || target.value("type", "") != "page") continue;
                    auto address = target.find(AddressMember());
                    if (address != target.end() && address->is_string() && !address->get<std::string>().empty()) {
                        return address->get<std::string>();
                    }
                    break;
                }
            }
        }
        if (attempt + 1 < kDiscoveryAttempts) {
            // The port is open but no page is listed yet: look again soon; otherwise the full pause.
            const auto pause = IsPortListening(port) ? kDiscoveryPause / 10 : kDiscoveryPause;
            const auto pauseUntil = std::chrono::steady_clock::now() + pause;
            while (!closing_ && std::chrono::steady_clock::now() < pauseUntil) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
    }
    return {};
}

void DevToolsClient::OnMessage(const std::string& text) {
    json message = json::parse(text, nullptr, false);
    if (!message.is_object()) return;  // not a protocol message
    int id = 0;
    if (auto it = message.find("id"); it != message.end() && it->is_number()) id = it->get<int>();
    std::string method;
    if (auto it = message.find("method"); it != message.end() && it->is_string()) method = it->get<std::string>();

    if (id > 0) {
        Callback callback;
        {
            std::lock_guard lock(pendingLock_);
            if (auto it = pending_.find(id); it != pending_.end()) callback = it->second;
        }
        if (callback) callback(message);
    }
    if (method == EventLoaded()) {
        pageLoaded_ = true;
        SetSignal(kPageLoaded);
    } else if (method == EventRequestPaused()) {
        if (auto params = message.find("params"); params != message.end() && params->is_object()) {
            OnRequestPaused(*params);
        }
    }
}

void DevToolsClient::SendInternal(const std::string& method, const json& params) {
    std::string text = json{{"id", internalId_++}, {"method", method}, {"params", params}}.dump(
        -1, ' ', false, json::error_handler_t::replace);
    {
        std::lock_guard lock(outboxLock_);
        outbox_.push_back(std::move(text));
    }
    Wake();
}

void DevToolsClient::SetRequestPolicy(const std::string& bookFolder, bool allowNetwork) {
    std::string folder = bookFolder.empty() ? std::string() : Canonical(bookFolder);
    if (!folder.empty() && folder.back() != '/') folder += '/';
    std::lock_guard lock(policyLock_);
    allowedFolder_ = folder;
    allowNetwork_ = allowNetwork;
}

bool DevToolsClient::IsRequestAllowed(const std::string& url) const {
    if (url == "about:blank" || url == "about:srcdoc" || url.compare(0, 5, "data:") == 0) return true;
    std::lock_guard lock(policyLock_);
    if (url.compare(0, 5, "file:") == 0) {
        if (allowedFolder_.empty()) return false;
        std::string plain = url.substr(0, url.find_first_of("?#"));
        const std::string path = util::PathFromFileUrl(plain);
        if (path.empty()) return false;
        return util::IsInsideFolder(Canonical(path), allowedFolder_);
    }
    if (allowNetwork_ && (url.compare(0, 7, "http://") == 0 || url.compare(0, 8, "https://") == 0)) return true;
    return false;
}

void DevToolsClient::OnRequestPaused(const json& params) {
    auto id = params.find("requestId");
    if (id == params.end() || !id->is_string()) return;
    std::string url;
    if (auto request = params.find("request"); request != params.end() && request->is_object()) {
        url = request->value("url", "");
    }
    // Answered at once, on this thread: a paused request must never stall the page.
    if (IsRequestAllowed(url)) {
        SendInternal(MethodContinue(), json{{"requestId", *id}});
    } else {
        ++blocked_;
        SendInternal(MethodFail(), json{{"requestId", *id}, {"errorReason", "BlockedByClient"}});
    }
}

bool DevToolsClient::SendCommand(int timeoutMs, const std::string& method, const json& params, Callback callback) {
    std::lock_guard request(requestLock_);
    if (!socketOpen_) return false;
    int id = ++lastId_;
    if (id < 1) {
        lastId_ = 1;
        id = 1;
    }
    std::string text;
    try {
        text = json{{"id", id}, {"method", method}, {"params", params}}.dump();
    } catch (const json::exception&) {
        return false;  // a text that is not UTF-8 cannot be sent
    }
    {
        // The wrapper runs the caller's callback, swallowing what it throws, then wakes the caller
        // when this is the request it waits for.
        std::lock_guard lock(pendingLock_);
        pending_[id] = [this, id, callback = std::move(callback)](const json& response) {
            try {
                if (callback) callback(response);
            } catch (...) {
            }
            if (awaitedId_ == id) SetSignal(kResponse);
        };
    }
    awaitedId_ = id;
    ResetSignal(kResponse);
    {
        std::lock_guard lock(outboxLock_);
        outbox_.push_back(std::move(text));
    }
    Wake();
    if (!socketOpen_) return true;  // the session ended meanwhile
    return WaitSignal(kResponse, timeoutMs);
}

bool DevToolsClient::WaitConnected(int timeoutMs) { return WaitSignal(kConnected, timeoutMs) && connected_ && !Ended(); }

bool DevToolsClient::WaitPageLoaded(int timeoutMs) {
    return WaitSignal(kPageLoaded, timeoutMs) && pageLoaded_ && !Ended();
}

bool DevToolsClient::WaitReady(int timeoutMs) { return WaitSignal(kReady, timeoutMs) && ready_ && !Ended(); }

bool DevToolsClient::EnableSession(int timeoutMs) {
    if (!WaitConnected(timeoutMs)) return false;
    ready_ = false;
    ResetSignal(kReady);
    SendCommand(timeoutMs, MethodEnable(), json(nullptr), [this](const json& response) {
        ready_ = true;
        if (IsErrorResponse(response)) ready_ = false;
        SetSignal(kReady);
    });
    return WaitReady(timeoutMs);
}

bool DevToolsClient::Navigate(const std::string& path, int timeoutMs) {
    std::lock_guard page(pageLock_);
    if (!WaitConnected(timeoutMs)) return false;
    pageLoaded_ = false;
    ResetSignal(kPageLoaded);
    // Chromium refuses bare paths: the chapter goes as a percent-encoded file:// URL.
    json params = {{"url", util::FileUrlFromPath(util::ToFullPath(path))}};
    SendCommand(timeoutMs, MethodNavigate(), params, [this](const json& response) {
        // A refused navigation, or one that ended on an error page, fails at once.
        bool failed = IsErrorResponse(response);
        if (auto result = response.find("result"); result != response.end() && result->is_object()) {
            auto errorText = result->find("errorText");
            if (errorText != result->end() && errorText->is_string() && !errorText->get<std::string>().empty()) {
                failed = true;
            }
        }
        if (failed) SetSignal(kPageLoaded);
    });
    return WaitPageLoaded(timeoutMs);
}

const json& DevToolsClient::PrintParameters() {
    static const json params = [] {
        json p;
        p["landscape"] = false;
        p["displayHeaderFooter"] = false;
        p["printBackground"] = true;
        p["scale"] = static_cast<double>(1.1f);
        p["paperWidth"] = static_cast<double>(8.5f);
        p["paperHeight"] = static_cast<double>(11.0f);
        p["marginTop"] = static_cast<double>(0.8f);
        p["marginLeft"] = static_cast<double>(0.8f);
        p["marginRight"] = static_cast<double>(0.8f);
        p["marginBottom"] = static_cast<double>(0.8f);
        return p;
    }();
    return params;
}

bool DevToolsClient::PrintToPdf(const std::string& outputPath, int timeoutMs) {
    // Navigate returns only once the page has loaded: without a loaded page there is nothing to wait for.
    if (!WaitConnected(timeoutMs) || !pageLoaded_ || !WaitPageLoaded(timeoutMs)) return false;
    auto written = std::make_shared<std::atomic<bool>>(false);
    const bool answered =
        SendCommand(timeoutMs, MethodPrint(), PrintParameters(), [outputPath, written](const json& response) {
            auto result = response.find("result");
            if (result == response.end() || !result->is_object()) return;
            auto data = result->find("data");
            if (data == result->end() || !data->is_string()) return;
            std::string bytes;
            if (!util::DecodeBase64(data->get_ref<const std::string&>(), bytes) || bytes.empty()) return;
            std::FILE* file = std::fopen(outputPath.c_str(), "wb");
            if (file == nullptr) return;
            const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
            if (std::fclose(file) == 0 && ok) {
                *written = true;
            } else {
                std::remove(outputPath.c_str());
            }
        });
    return answered && *written;
}

}  // namespace browser
