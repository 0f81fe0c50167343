#include "browser/Browser.h"

#include "browser/BrowserLauncher.h"
#include "browser/Connection.h"
#include "browser/Session.h"
#include "util/Scrambled.h"
#include "util/Sync.h"

namespace browser {
namespace {

using nlohmann::json;

const std::string& MethodTargets() {
    return SCRAMBLED("Target.getTargets", 0x2a61f0c9d83b5e47ull);
}
const std::string& MethodAttach() {
    return SCRAMBLED("Target.attachToTarget", 0x7c15e8a2b94d0f36ull);
}
const std::string& MethodDetach() {
    return SCRAMBLED("Target.detachFromTarget", 0x4e2b9d7c13a6f058ull);
}
const std::string& MethodCreate() {
    return SCRAMBLED("Target.createTarget", 0x3e90b7d15a4c2f68ull);
}
const std::string& MethodCreateContext() {
    return SCRAMBLED("Target.createBrowserContext", 0x2d6b90f4a1c83e57ull);
}
const std::string& MethodDisposeContext() {
    return SCRAMBLED("Target.disposeBrowserContext", 0x7c1e5a93d2b04f68ull);
}
const std::string& MethodCloseTarget() {
    return SCRAMBLED("Target.closeTarget", 0x58c2e1a7f03d9b46ull);
}
const std::string& MethodDiscover() {
    return SCRAMBLED("Target.setDiscoverTargets", 0x0f7a4d92c6b1e853ull);
}
const std::string& EventTargetCreated() {
    return SCRAMBLED("Target.targetCreated", 0x61d8f3b20e9a7c45ull);
}

// The kinds of target a page could open besides itself: windows and workers. A frame of the page
// itself ("iframe") stays.
bool IsClosable(const std::string& type) {
    return type == "page" || type == "background_page" || type == "service_worker" ||
           type == "shared_worker" || type == "worker" || type == "webview";
}

// A browser-level call made while attaching or opening a page: its result, or why there is none.
util::Status CallBrowser(Session& root, const std::string& method, const json& params, int timeoutMs,
                         const std::string& what, json& result) {
    result = json::object();  // read whatever the outcome
    const Reply reply = root.Call(method, params, timeoutMs);
    if (!reply.status)
        return util::Status::Failure(what + ": " + reply.status.Reason());
    if (reply.IsError())
        return util::Status::Failure(what + ": " + reply.ErrorText());
    result = reply.Result();
    return {};
}

}  // namespace

Browser::Browser(std::unique_ptr<Transport> transport, Kind kind)
    : kind_(kind), connection_(std::make_unique<Connection>(std::move(transport))) {}

Browser::~Browser() {
    // In a browser somebody else runs, the program's pages go before the connection does: the browser
    // would dispose of their context once it notices the end, but not before whoever looks next.
    std::string context;
    {
        std::lock_guard lock(lock_);
        context = context_;
    }
    if (!context.empty() && !connection_->Ended())
        connection_->Root().Call(MethodDisposeContext(), json{{"browserContextId", context}}, kDisposeMs);
    connection_.reset();  // closes the channel; no handler runs after this
    launched_.reset();    // ends the browser's process group and removes its folder
}

util::Status Browser::Start(const std::string& where, const std::stop_token& stop,
                            std::shared_ptr<Browser>& browser) {
    if (stop.stop_requested())
        return util::Status::Failure("cancelled");
    std::unique_ptr<Transport> transport;
    if (IsBrowserAddress(where)) {
        // A browser somebody else runs: pages of the program's own there, in a context of their own.
        if (util::Status connected = ConnectBrowser(where, transport); !connected)
            return connected;
        util::Status attached = Attach(std::move(transport), Kind::Shared, stop, browser);
        if (!attached && !stop.stop_requested())
            return util::Status::Failure(attached.Reason() + " (" + where + ")");
        return attached;
    }
    std::unique_ptr<LaunchedBrowser> launched;
    if (util::Status started = LaunchBrowser(where, launched, transport); !started)
        return started;
    // On failure the connection goes first, then the process (with launched).
    util::Status attached = Attach(std::move(transport), Kind::Own, stop, browser);
    if (attached)
        browser->launched_ = std::move(launched);
    return attached;
}

util::Status Browser::Attach(std::unique_ptr<Transport> transport, Kind kind, const std::stop_token& stop,
                             std::shared_ptr<Browser>& browser, int timeoutMs) {
    std::shared_ptr<Browser> made(new Browser(std::move(transport), kind));
    util::Status prepared;
    {
        // A stop ends the connection, and with it every call of the attach, at once.
        const std::stop_callback cancel(stop, [&made] { made->Close("cancelled"); });
        made->connection_->Start();
        prepared = made->Prepare(timeoutMs);
    }
    if (stop.stop_requested())
        return util::Status::Failure("cancelled");
    if (!prepared)
        return prepared;
    browser = std::move(made);
    return {};
}

util::Status Browser::Prepare(int timeoutMs) {
    Session& root = connection_->Root();
    const util::Deadline deadline(timeoutMs);
    json result;
    if (kind_ == Kind::Shared) {
        // A context of its own, which the browser disposes of, with the pages in it, when this connection
        // ends: the pages share nothing with the browser's others and go however the program ends.
        util::Status made = CallBrowser(root, MethodCreateContext(), json{{"disposeOnDetach", true}},
                                        deadline.Left(), "the browser opened no context", result);
        if (!made)
            return made;
        std::lock_guard lock(lock_);
        context_ = result.value("browserContextId", "");
        return context_.empty() ? util::Status::Failure("the browser opened no context") : util::Status{};
    }
    // A browser of the program's own: its first page is the program's; every other target is closed as
    // soon as it appears (those there now are reported at once).
    root.OnEvent(EventTargetCreated(),
                 [this](const json& params) { OnTargetCreated(params.value("targetInfo", json())); });
    if (util::Status listed = CallBrowser(root, MethodTargets(), json::object(), deadline.Left(),
                                          "the browser did not answer", result);
        !listed)
        return listed;
    std::string page;
    for (const json& target : result.value("targetInfos", json::array())) {
        if (target.is_object() && target.value("type", "") == "page") {
            page = target.value("targetId", "");
            break;
        }
    }
    if (page.empty())
        return util::Status::Failure("the browser has no page");
    {
        std::lock_guard lock(lock_);
        startPage_ = page;
        ownTargets_.insert(page);
    }
    return CallBrowser(root, MethodDiscover(), json{{"discover", true}}, deadline.Left(),
                       "the browser did not report its targets", result);
}

util::Status Browser::NewPage(const PageOptions& options, std::unique_ptr<Page>& page,
                              const std::stop_token& stop, int timeoutMs) {
    util::Status opened;
    {
        const std::stop_callback cancel(stop, [this] { Close("cancelled"); });
        opened = OpenPage(options, page, timeoutMs);
    }
    if (stop.stop_requested()) {
        page.reset();
        return util::Status::Failure("cancelled");
    }
    return opened;
}

util::Status Browser::OpenPage(const PageOptions& options, std::unique_ptr<Page>& page, int timeoutMs) {
    const util::Deadline deadline(timeoutMs);
    Session& root = connection_->Root();
    std::string targetId;
    std::string context;
    {
        std::lock_guard lock(lock_);
        targetId.swap(startPage_);
        context = context_;
        if (targetId.empty())
            ++opening_;  // a new target: its own appearance must not close it
    }
    const bool opened = targetId.empty();
    if (opened) {
        json params{{"url", "about:blank"}};
        if (!context.empty())
            params["browserContextId"] = context;
        json result;
        util::Status made =
            CallBrowser(root, MethodCreate(), params, deadline.Left(), "the browser opened no page", result);
        targetId = result.value("targetId", "");
        std::vector<json> held;
        {
            std::lock_guard lock(lock_);
            if (!targetId.empty())
                ownTargets_.insert(targetId);
            if (--opening_ == 0)
                held.swap(held_);
            for (const json& target : held) CloseIfForeignLocked(target);
        }
        if (!made)
            return made;
        if (targetId.empty())
            return util::Status::Failure("the browser opened no page");
    }
    json result;
    const util::Status attached =
        CallBrowser(root, MethodAttach(), json{{"targetId", targetId}, {"flatten", true}}, deadline.Left(),
                    "the browser's page could not be attached", result);
    // The browser reports the attachment before it answers: the session is there by now.
    std::shared_ptr<Session> session =
        attached ? connection_->SessionOf(result.value("sessionId", "")) : nullptr;
    if (!session) {
        if (opened)
            root.Post(MethodCloseTarget(), json{{"targetId", targetId}});
        return attached ? util::Status::Failure("the browser's page could not be attached") : attached;
    }
    std::unique_ptr<Page> made(new Page(shared_from_this(), std::move(session), targetId, opened, options));
    if (util::Status ready = made->SetUp(deadline.Left()); !ready)
        return ready;
    page = std::move(made);
    return {};
}

void Browser::OnTargetCreated(const json& targetInfo) {
    if (kind_ != Kind::Own || !targetInfo.is_object())
        return;
    std::lock_guard lock(lock_);
    if (opening_ > 0) {
        held_.push_back(targetInfo);  // perhaps the page being opened: judged once its id is known
        return;
    }
    CloseIfForeignLocked(targetInfo);
}

void Browser::CloseIfForeignLocked(const json& targetInfo) {
    if (!IsClosable(targetInfo.value("type", "")))
        return;
    const std::string id = targetInfo.value("targetId", "");
    if (id.empty() || ownTargets_.count(id) != 0)
        return;
    connection_->Root().Post(MethodCloseTarget(), json{{"targetId", id}});
}

void Browser::ReleaseTarget(const std::string& targetId, const std::string& sessionId, bool opened) {
    if (opened) {
        connection_->Root().Post(MethodCloseTarget(), json{{"targetId", targetId}});
    } else {
        connection_->Root().Post(MethodDetach(), json{{"sessionId", sessionId}});
    }
}

void Browser::Close(const std::string& reason) {
    connection_->Close(reason);
}

bool Browser::Ended() const {
    return connection_->Ended();
}

int Browser::ProcessId() const {
    return launched_ && !Ended() ? launched_->ProcessId() : 0;
}

}  // namespace browser
