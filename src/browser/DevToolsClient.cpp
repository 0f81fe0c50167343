#include "browser/DevToolsClient.h"

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "browser/BrowserLauncher.h"
#include "browser/Connection.h"
#include "browser/TaskThread.h"
#include "util/Scrambled.h"
#include "util/Utilities.h"

namespace browser {
namespace {

using nlohmann::json;

constexpr int kPollIntervalMs = 10;

const std::string& MethodNavigate() {
    return SCRAMBLED("Page.navigate", 0x7a3c0e51d2b94f17ull);
}
const std::string& MethodPrint() {
    return SCRAMBLED("Page.printToPDF", 0x2f9e6b13c4a8d075ull);
}
const std::string& MethodEnable() {
    return SCRAMBLED("Page.enable", 0x64d1f08a3e7c5b29ull);
}
const std::string& EventLoaded() {
    return SCRAMBLED("Page.loadEventFired", 0x1b7e4c9f02d6a385ull);
}
const std::string& MethodEvaluate() {
    return SCRAMBLED("Runtime.evaluate", 0x5d83a1f6c20e7b49ull);
}
const std::string& EventDialog() {
    return SCRAMBLED("Page.javascriptDialogOpening", 0x19e4b7c203fa6d58ull);
}
const std::string& MethodDialog() {
    return SCRAMBLED("Page.handleJavaScriptDialog", 0x6b02f9d4e18a37c5ull);
}
const std::string& MethodScriptOnNewDocument() {
    return SCRAMBLED("Page.addScriptToEvaluateOnNewDocument", 0x4f8d2a61c7e0b395ull);
}
// Run in every document and frame before its own scripts: the ways out of a page that the request
// policy (the Fetch domain) never sees, WebSockets, WebRTC, WebTransport and workers (which would have
// their own WebSocket), are gone.
const std::string& NoChannelsScript() {
    return SCRAMBLED(
        "(() => { for (const name of ['WebSocket', 'WebSocketStream', 'WebTransport', 'RTCPeerConnection', "
        "'webkitRTCPeerConnection', 'RTCDataChannel', 'Worker', 'SharedWorker']) { try { "
        "Object.defineProperty(globalThis, name, {value: undefined, writable: false, configurable: false}); "
        "} catch (e) {} } try { Object.defineProperty(navigator, 'serviceWorker', {value: undefined}); } "
        "catch (e) {} })();",
        0x3a7c9e15d2f6b804ull);
}
const std::string& MethodFetchEnable() {
    return SCRAMBLED("Fetch.enable", 0x0d5e3b7a91c4f268ull);
}
const std::string& EventRequestPaused() {
    return SCRAMBLED("Fetch.requestPaused", 0x6a2f8c05e3d19b74ull);
}
const std::string& MethodContinue() {
    return SCRAMBLED("Fetch.continueRequest", 0x47b1d9e26c0a5f83ull);
}
const std::string& MethodFail() {
    return SCRAMBLED("Fetch.failRequest", 0x2c6e0a8f4b93d751ull);
}

}  // namespace

DevToolsClient::DevToolsClient(const std::string& browserPath, bool interceptRequests)
    : browserPath_(browserPath), interceptRequests_(interceptRequests) {
    launcher_ = std::make_unique<TaskThread>("remote", kPollIntervalMs);
    launcher_->Post([this] { Launch(); });
}

DevToolsClient::~DevToolsClient() {
    Abort();
    launcher_.reset();  // a launch under way gives up at once
    connection_.reset();
    browser_.reset();  // ends the browser
}

void DevToolsClient::Launch() {
    std::string reason;
    std::unique_ptr<LaunchedBrowser> browser =
        closing_ ? nullptr : LaunchBrowser(browserPath_, closing_, reason);
    std::unique_ptr<Connection> connection;
    if (browser) {
        browserPid_ = browser->ProcessId();
        connection = std::make_unique<Connection>(browser->TakeTransport());
        Connection* c = connection.get();
        connection->OnEvent(EventLoaded(), [this, c](const json&) {
            pageLoaded_ = true;
            c->Notify();
        });
        // A page's alert, confirm or prompt would stop it until somebody answers: nobody will.
        connection->OnEvent(EventDialog(), [c](const json&) {
            c->Post(MethodDialog(), json{{"accept", false}});
        });
        connection->OnEvent(EventRequestPaused(),
                            [this, c](const json& params) { OnRequestPaused(*c, params); });
        connection->Start();
        connection->Post(MethodScriptOnNewDocument(), json{{"source", NoChannelsScript()}});
        // Every request of the page pauses for the request policy, from the first navigation on.
        if (interceptRequests_) {
            connection->Post(MethodFetchEnable(),
                             json{{"patterns", json::array({json{{"urlPattern", "*"}}})}});
        }
    } else if (reason.empty()) {
        reason = "cancelled";
    }
    std::lock_guard lock(stateLock_);
    browser_ = std::move(browser);
    connection_ = std::move(connection);
    if (connection_ && closing_)
        connection_->Close("aborted");  // Abort came while the browser started
    launchFailure_ = reason;
    launched_ = true;
    stateChanged_.notify_all();
}

Connection* DevToolsClient::WaitLaunched(int timeoutMs) {
    std::unique_lock lock(stateLock_);
    auto done = [this] { return launched_ || closing_; };
    if (timeoutMs < 0) {
        stateChanged_.wait(lock, done);
    } else if (!stateChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs), done)) {
        return nullptr;
    }
    return launched_ ? connection_.get() : nullptr;
}

void DevToolsClient::Abort() {
    std::lock_guard lock(stateLock_);
    closing_ = true;
    if (connection_)
        connection_->Close("aborted");
    stateChanged_.notify_all();
}

bool DevToolsClient::Ended() const {
    std::lock_guard lock(stateLock_);
    if (closing_)
        return true;
    if (!launched_)
        return false;
    return !connection_ || connection_->Ended();
}

std::string DevToolsClient::EndReason() const {
    std::lock_guard lock(stateLock_);
    if (connection_ && connection_->Ended())
        return connection_->EndReason();
    if (closing_)
        return "aborted";
    return launchFailure_;
}

int DevToolsClient::LastId() const {
    std::lock_guard lock(stateLock_);
    return connection_ ? connection_->LastId() : 0;
}

void DevToolsClient::SetRequestPolicy(const std::string& bookFolder, bool allowNetwork) {
    policy_.Allow(bookFolder, allowNetwork);
}

void DevToolsClient::OnRequestPaused(Connection& connection, const json& params) {
    auto id = params.find("requestId");
    if (id == params.end() || !id->is_string())
        return;
    std::string url;
    if (auto request = params.find("request"); request != params.end() && request->is_object()) {
        url = request->value("url", "");
    }
    // Answered at once, on the transport's thread: a paused request must never stall the page.
    if (policy_.IsAllowed(url)) {
        connection.Post(MethodContinue(), json{{"requestId", *id}});
    } else {
        ++blocked_;
        connection.Post(MethodFail(), json{{"requestId", *id}, {"errorReason", "BlockedByClient"}});
    }
}

bool DevToolsClient::SendCommand(int timeoutMs, const std::string& method, const json& params,
                                 const Callback& callback) {
    Connection* connection = WaitLaunched(0);
    if (connection == nullptr || connection->Ended())
        return false;
    const Connection::Reply reply = connection->Call(method, params, timeoutMs);
    if (reply.status) {
        try {
            if (callback)
                callback(reply.message);
        } catch (...) {
        }
        return true;
    }
    return connection->Ended();  // woken by the end of the session; false when the time ran out
}

bool DevToolsClient::WaitConnected(int timeoutMs) {
    Connection* connection = WaitLaunched(timeoutMs);
    return connection != nullptr && !connection->Ended() && !closing_;
}

bool DevToolsClient::WaitPageLoaded(int timeoutMs) {
    Connection* connection = WaitLaunched(0);
    if (connection == nullptr)
        return false;
    const bool loaded =
        connection->WaitFor([this] { return pageLoaded_ || navigationFailed_; }, timeoutMs, EventLoaded())
            .Ok();
    return loaded && pageLoaded_ && !connection->Ended();
}

bool DevToolsClient::WaitReady(int timeoutMs) {
    Connection* connection = WaitLaunched(0);
    if (connection == nullptr)
        return false;
    return connection->WaitFor([this] { return ready_.load(); }, timeoutMs, MethodEnable()).Ok() &&
           !connection->Ended();
}

bool DevToolsClient::EnableSession(int timeoutMs) {
    if (!WaitConnected(timeoutMs))
        return false;
    ready_ = false;
    Connection* connection = WaitLaunched(0);
    const Connection::Reply reply = connection->Call(MethodEnable(), json(nullptr), timeoutMs);
    ready_ = reply.status.Ok() && !reply.IsError();
    return ready_ && !connection->Ended();
}

bool DevToolsClient::Navigate(const std::string& path, int timeoutMs) {
    std::lock_guard page(pageLock_);
    if (!WaitConnected(timeoutMs))
        return false;
    Connection* connection = WaitLaunched(0);
    pageLoaded_ = false;
    navigationFailed_ = false;
    // Chromium refuses bare paths: the chapter goes as a percent-encoded file:// URL.
    const Connection::Reply reply = connection->Call(
        MethodNavigate(), json{{"url", util::FileUrlFromPath(util::ToFullPath(path))}}, timeoutMs);
    if (!reply.status)
        return false;
    // A refused navigation, or one that ended on an error page, fails at once.
    auto errorText = reply.Result().find("errorText");
    if (reply.IsError() || (errorText != reply.Result().end() && errorText->is_string() &&
                            !errorText->get<std::string>().empty())) {
        navigationFailed_ = true;
        return false;
    }
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

bool DevToolsClient::PrintPdfBytes(std::string& pdf, int timeoutMs) {
    return PrintPdfBytes(PrintParameters(), pdf, timeoutMs);
}

bool DevToolsClient::Evaluate(const std::string& expression, json& result, int timeoutMs) {
    if (!WaitConnected(timeoutMs) || !pageLoaded_)
        return false;
    Connection* connection = WaitLaunched(0);
    const Connection::Reply reply = connection->Call(
        MethodEvaluate(), json{{"expression", expression}, {"returnByValue", true}, {"awaitPromise", true}},
        timeoutMs);
    if (!reply.status || reply.IsError() || reply.Result().contains("exceptionDetails"))
        return false;
    auto value = reply.Result().find("result");
    if (value == reply.Result().end() || !value->is_object())
        return false;
    result = value->value("value", json(nullptr));
    return true;
}

bool DevToolsClient::PrintPdfBytes(const json& params, std::string& pdf, int timeoutMs) {
    pdf.clear();
    // Navigate returns only once the page has loaded: without a loaded page there is nothing to wait for.
    if (!WaitConnected(timeoutMs) || !pageLoaded_ || !WaitPageLoaded(timeoutMs))
        return false;
    Connection* connection = WaitLaunched(0);
    const Connection::Reply reply = connection->Call(MethodPrint(), params, timeoutMs);
    if (!reply.status || reply.IsError())
        return false;
    auto data = reply.Result().find("data");
    if (data == reply.Result().end() || !data->is_string())
        return false;
    return util::DecodeBase64(data->get_ref<const std::string&>(), pdf) && !pdf.empty();
}

bool DevToolsClient::PrintToPdf(const std::string& outputPath, int timeoutMs) {
    std::string pdf;
    if (!PrintPdfBytes(pdf, timeoutMs))
        return false;
    std::FILE* file = std::fopen(outputPath.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool ok = std::fwrite(pdf.data(), 1, pdf.size(), file) == pdf.size();
    if (std::fclose(file) == 0 && ok)
        return true;
    std::remove(outputPath.c_str());
    return false;
}

}  // namespace browser
