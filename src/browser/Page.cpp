#include "browser/Page.h"

#include <nlohmann/json.hpp>

#include "browser/Browser.h"
#include "browser/Connection.h"
#include "browser/Session.h"
#include "util/Paths.h"
#include "util/Scrambled.h"
#include "util/Sync.h"
#include "util/Text.h"
#include "util/Urls.h"

namespace browser {
namespace {

using nlohmann::json;

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
const std::string& EventStoppedLoading() {
    return SCRAMBLED("Page.frameStoppedLoading", 0x0b9d3f6e24a1c758ull);
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
const std::string& MethodAutoAttach() {
    return SCRAMBLED("Target.setAutoAttach", 0x3d9a0c7e52b1f846ull);
}
const std::string& EventAttached() {
    return SCRAMBLED("Target.attachedToTarget", 0x5b1e7d3a90c4f268ull);
}
const std::string& MethodRun() {
    return SCRAMBLED("Runtime.runIfWaitingForDebugger", 0x1e6c4a9f03d87b25ull);
}

// Every target a page makes attaches as it appears and waits before it runs, whatever process it is
// in, until it is set up like the page.
json AutoAttachParams() {
    return json{{"autoAttach", true}, {"waitForDebuggerOnStart", true}, {"flatten", true}};
}

// How long a target that attached may take to be set up.
constexpr int kChildSetUpMs = 60'000;

// One call of a target's set-up: required ones must succeed for the target to run.
struct SetUpStep {
    std::string method;
    json params;
    bool required;
};

// Sends the steps one after the other, each once the one before it was answered (from the transport's
// thread: nothing waits); a required step that fails leaves the target paused, for good.
void RunSteps(const std::shared_ptr<Session>& session, const std::shared_ptr<std::vector<SetUpStep>>& steps,
              size_t next) {
    if (next == steps->size())
        return;
    const SetUpStep& step = (*steps)[next];
    session->Send(step.method, step.params, kChildSetUpMs, [session, steps, next](const Reply& reply) {
        if (!reply.status)
            return;  // the target went, or the browser
        if (reply.IsError() && (*steps)[next].required)
            return;  // never let it run unguarded (a detach would let it run too)
        RunSteps(session, steps, next + 1);
    });
}

// The failure of a call that was answered with an error.
util::Status Refused(const std::string& what, const Reply& reply) {
    return util::Status::Failure(what + ": " + reply.ErrorText());
}

}  // namespace

// What the page's event handlers share with it; they may run while the page goes.
struct Page::State {
    Connection* connection = nullptr;  // where the sessions of attached targets are found
    bool intercept = true;
    RequestPolicy policy;
    std::atomic<bool> loaded{false};
    std::atomic<int> blocked{0};
    std::atomic<int> navigations{0};  // of those blocked, the page's own (its main frame's)
    std::string mainFrame;            // the page's main frame, whose id is the target's
};

Page::Page(std::shared_ptr<Browser> browser, std::shared_ptr<Session> session, std::string targetId,
           bool opened, const PageOptions& options)
    : browser_(std::move(browser)),
      session_(std::move(session)),
      targetId_(std::move(targetId)),
      opened_(opened),
      intercept_(options.interceptRequests),
      state_(std::make_shared<State>()) {
    state_->connection = browser_->connection_.get();
    state_->intercept = intercept_;
    state_->mainFrame = targetId_;
    state_->policy.Allow(options.bookFolder, options.allowNetwork);
}

Page::~Page() {
    session_->End("the page was closed");
    browser_->ReleaseTarget(targetId_, session_->Id(), opened_);
}

void Page::Guard(const std::shared_ptr<Session>& guarded, const std::shared_ptr<State>& state) {
    // The handlers run on the transport's thread, while the session is being handled: the session is
    // there for them (and they never run once it ended), and the state is theirs as much as the page's.
    Session* session = guarded.get();
    // A page's alert, confirm or prompt would stop it until somebody answers: nobody will.
    session->OnEvent(EventDialog(), [session](const json&) {
        session->Post(MethodDialog(), json{{"accept", false}});
    });
    session->OnEvent(EventRequestPaused(), [session, state](const json& params) {
        auto id = params.find("requestId");
        if (id == params.end() || !id->is_string())
            return;
        std::string url;
        if (auto request = params.find("request"); request != params.end() && request->is_object())
            url = request->value("url", "");
        // Answered at once: a paused request must never stall the page.
        if (state->policy.IsAllowed(url)) {
            session->Post(MethodContinue(), json{{"requestId", *id}});
        } else if (params.value("resourceType", "") == "Document") {
            // A navigation that was refused is aborted: the document stays as it was, rather than the
            // browser's error page. A frame's document outside the book is no navigation of the page.
            ++state->blocked;
            if (params.value("frameId", "") == state->mainFrame)
                ++state->navigations;
            session->Post(MethodFail(), json{{"requestId", *id}, {"errorReason", "Aborted"}});
        } else {
            ++state->blocked;
            session->Post(MethodFail(), json{{"requestId", *id}, {"errorReason", "BlockedByClient"}});
        }
    });
    // The connection made the target's session before this event is handled.
    session->OnEvent(EventAttached(), [state](const json& params) {
        std::shared_ptr<Session> child = state->connection->SessionOf(params.value("sessionId", ""));
        if (!child)
            return;
        const json info = params.value("targetInfo", json::object());
        Adopt(child, info.is_object() ? info.value("type", "") : std::string(), state);
    });
}

void Page::Adopt(const std::shared_ptr<Session>& child, const std::string& type,
                 const std::shared_ptr<State>& state) {
    Guard(child, state);
    auto steps = std::make_shared<std::vector<SetUpStep>>();
    // A frame's requests pause in its own session; a worker's pause in its frame's.
    const bool frame = type == "iframe" || type == "page";
    if (state->intercept)
        steps->push_back(
            {MethodFetchEnable(), json{{"patterns", json::array({json{{"urlPattern", "*"}}})}}, frame});
    if (frame) {
        steps->push_back({MethodScriptOnNewDocument(), json{{"source", NoChannelsScript()}}, true});
        steps->push_back({MethodEnable(), json(nullptr), false});  // its dialogs
    }
    // The document or worker there already (a frame's srcdoc is): the script runs before its own.
    steps->push_back({MethodEvaluate(), json{{"expression", NoChannelsScript()}}, false});
    steps->push_back({MethodAutoAttach(), AutoAttachParams(), true});
    steps->push_back({MethodRun(), json::object(), true});
    RunSteps(child, steps, 0);
}

util::Status Page::SetUp(int timeoutMs) {
    Session* session = session_.get();
    std::shared_ptr<State> state = state_;
    session->OnEvent(EventLoaded(), [session, state](const json&) {
        state->loaded = true;
        session->Notify();
    });
    // A navigation away that never commits (a download, one the policy refused) can leave the document
    // without a load event: once the page's frame stops loading, the document is what it will be.
    session->OnEvent(EventStoppedLoading(), [session, state, frame = targetId_](const json& params) {
        if (params.value("frameId", "") != frame)
            return;
        state->loaded = true;
        session->Notify();
    });
    Guard(session_, state);

    const util::Deadline deadline(timeoutMs);
    struct Step {
        const std::string& method;
        json params;
    };
    std::vector<Step> steps;
    steps.push_back({MethodScriptOnNewDocument(), json{{"source", NoChannelsScript()}}});
    // Every request of the page pauses for the request policy, from the first navigation on.
    if (intercept_)
        steps.push_back({MethodFetchEnable(), json{{"patterns", json::array({json{{"urlPattern", "*"}}})}}});
    // Every frame in a process of its own and every worker, as it appears.
    steps.push_back({MethodAutoAttach(), AutoAttachParams()});
    steps.push_back({MethodEnable(), json(nullptr)});  // the ready request: the page's events from now on
    for (const Step& step : steps) {
        const Reply reply = session->Call(step.method, step.params, deadline.Left());
        if (!reply.status)
            return util::Status::Failure("the page could not be set up: " + reply.status.Reason());
        if (reply.IsError())
            return Refused("the page could not be set up: " + step.method + " failed", reply);
    }
    return {};
}

util::Status Page::Navigate(const std::string& path, int timeoutMs) {
    std::lock_guard page(pageLock_);
    const util::Deadline deadline(timeoutMs);
    state_->loaded = false;
    // Chromium refuses bare paths: the file goes as a percent-encoded file:// URL.
    const Reply reply = session_->Call(
        MethodNavigate(), json{{"url", util::FileUrlFromPath(util::ToFullPath(path))}}, deadline.Left());
    if (!reply.status)
        return reply.status;
    if (reply.IsError())
        return Refused("the browser refused to load it", reply);
    // A navigation that ended on an error page fails at once.
    if (const std::string error = reply.Result().value("errorText", ""); !error.empty())
        return util::Status::Failure(error);
    const State& state = *state_;
    return session_->WaitFor([&state] { return state.loaded.load(); }, deadline.Left(), EventLoaded());
}

util::Status Page::Evaluate(const std::string& expression, json& result, int timeoutMs) {
    if (!state_->loaded)
        return util::Status::Failure("no page is loaded");
    const Reply reply = session_->Call(
        MethodEvaluate(), json{{"expression", expression}, {"returnByValue", true}, {"awaitPromise", true}},
        timeoutMs);
    if (!reply.status)
        return reply.status;
    if (reply.IsError())
        return Refused("the script was refused", reply);
    if (auto thrown = reply.Result().find("exceptionDetails"); thrown != reply.Result().end())
        return util::Status::Failure("the script failed: " +
                                     (thrown->is_object() ? thrown->value("text", "") : std::string()));
    auto value = reply.Result().find("result");
    if (value == reply.Result().end() || !value->is_object())
        return util::Status::Failure("the script gave no value");
    result = value->value("value", json(nullptr));
    return {};
}

util::Status Page::PrintToPdf(const PrintParameters& params, std::string& pdf, int timeoutMs) {
    pdf.clear();
    // Navigate returns once the page has loaded: without a loaded page there is nothing to print.
    if (!state_->loaded)
        return util::Status::Failure("no page is loaded");
    const Reply reply = session_->Call(MethodPrint(), params.ToJson(), timeoutMs);
    if (!reply.status)
        return reply.status;
    if (reply.IsError())
        return Refused("the browser did not print the page", reply);
    auto data = reply.Result().find("data");
    if (data == reply.Result().end() || !data->is_string() ||
        !util::DecodeBase64(data->get_ref<const std::string&>(), pdf) || pdf.empty()) {
        pdf.clear();
        return util::Status::Failure("the browser's answer holds no PDF");
    }
    return {};
}

bool Page::Ended() const {
    return session_->Ended();
}

int Page::BlockedRequests() const {
    return state_->blocked;
}

int Page::BlockedNavigations() const {
    return state_->navigations;
}

}  // namespace browser
