// The DevTools connection, its sessions, the browser's target policy and a page against a fake
// transport: ids, answers, events, deadlines, sessions routed apart, targets and the end, with no
// browser. Also the request policy and the print parameters as sent.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "browser/Browser.h"
#include "browser/Connection.h"
#include "browser/PrintParameters.h"
#include "browser/RequestPolicy.h"
#include "support/TestSupport.h"
#include "util/Urls.h"

using nlohmann::json;
using namespace std::chrono_literals;

namespace {

// A transport whose far end is the test: what the connection sends is recorded, and the test delivers
// messages and the end as the transport's thread would.
class FakeTransport : public browser::Transport {
  public:
    ~FakeTransport() override { Close("gone"); }
    void Start(MessageHandler onMessage, CloseHandler onClose) override {
        onMessage_ = std::move(onMessage);
        onClose_ = std::move(onClose);
    }
    bool Send(std::string message) override {
        std::lock_guard lock(mutex_);
        if (closed_)
            return false;
        sent_.push_back(json::parse(message));
        changed_.notify_all();
        return true;
    }
    void Close(const std::string& reason) override {
        {
            std::lock_guard lock(mutex_);
            if (closed_)
                return;
            closed_ = true;
        }
        if (onClose_)
            onClose_(reason);  // nothing to tell before Start
    }
    // The far end: delivers a message as the browser would.
    void Deliver(const json& message) { onMessage_(message.dump()); }
    void DeliverText(const std::string& text) { onMessage_(text); }
    // The n-th message sent (from 0), waited for.
    json Sent(size_t n) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, 5s, [&] { return sent_.size() > n; });
        return sent_.size() > n ? sent_[n] : json();
    }
    size_t SentCount() {
        std::lock_guard lock(mutex_);
        return sent_.size();
    }

    // The far end answers the n-th message sent with result, on that message's session; returns it.
    json Answer(size_t n, const json& result) {
        const json call = Sent(n);
        json answer{{"id", call.value("id", 0)}, {"result", result}};
        if (call.contains("sessionId"))
            answer["sessionId"] = call["sessionId"];
        Deliver(answer);
        return call;
    }
    // The far end answers the n-th message sent, an attach, as the browser does: the attachment first,
    // on the session that asked, then the answer with the new session's id.
    json AnswerAttach(size_t n, const std::string& sessionId) {
        const json call = Sent(n);
        json attached{
            {"method", "Target.attachedToTarget"},
            {"params",
             {{"sessionId", sessionId},
              {"targetInfo", {{"targetId", call["params"].value("targetId", "")}, {"type", "page"}}},
              {"waitingForDebugger", false}}}};
        if (call.contains("sessionId"))
            attached["sessionId"] = call["sessionId"];
        Deliver(attached);
        return Answer(n, {{"sessionId", sessionId}});
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<json> sent_;
    bool closed_ = false;
    MessageHandler onMessage_;
    CloseHandler onClose_;
};

json Event(const std::string& method, const json& params, const std::string& sessionId = "") {
    json event{{"method", method}, {"params", params}};
    if (!sessionId.empty())
        event["sessionId"] = sessionId;
    return event;
}

class ConnectionTest : public ::testing::Test {
  protected:
    ConnectionTest() { Renew(); }
    void Renew() {
        connection.reset();
        auto owned = std::make_unique<FakeTransport>();
        transport = owned.get();
        connection = std::make_unique<browser::Connection>(std::move(owned));
    }
    // Reports the attachment of a target's session, as the browser does on auto-attach.
    std::shared_ptr<browser::Session> Attached(const std::string& sessionId) {
        transport->Deliver(
            Event("Target.attachedToTarget", {{"sessionId", sessionId}, {"targetInfo", json::object()}}));
        return connection->SessionOf(sessionId);
    }
    FakeTransport* transport;
    std::unique_ptr<browser::Connection> connection;
};

TEST_F(ConnectionTest, AnswersGoToTheirCallsWhateverTheOrder) {
    connection->Start();
    browser::Session& root = connection->Root();
    browser::Reply first, second;
    std::thread a([&] { first = root.Call("Page.enable", nullptr, 5000); });
    const json one = transport->Sent(0);
    std::thread b([&] { second = root.Call("Browser.getVersion", json::object(), 5000); });
    const json two = transport->Sent(1);
    EXPECT_EQ(one["method"], "Page.enable");
    EXPECT_EQ(one["id"], 1);  // the first call of the connection
    EXPECT_FALSE(one.contains("sessionId"));
    EXPECT_EQ(two["id"].get<int>(), one["id"].get<int>() + 1);
    transport->Deliver({{"id", 999}, {"result", json::object()}});  // nobody asked: dropped
    transport->DeliverText("not json at all");                      // not a protocol message: dropped
    transport->DeliverText(R"({"id":1,"sessionId":7})");            // nor one with a session id not a string
    transport->Deliver({{"id", two["id"]}, {"result", {{"product", "Chromium"}}}});
    transport->Deliver({{"id", one["id"]}, {"error", {{"code", -32000}, {"message", "no"}}}});
    a.join();
    b.join();
    EXPECT_TRUE(first.status.Ok());
    EXPECT_TRUE(first.IsError());
    EXPECT_EQ(first.ErrorText(), "no");
    EXPECT_TRUE(second.status.Ok());
    EXPECT_FALSE(second.IsError());
    EXPECT_EQ(second.Result()["product"], "Chromium");
    EXPECT_EQ(root.LastId(), 2);
    // Posted calls have ids of their own and are not waited for.
    root.Post("Fetch.enable", json::object());
    EXPECT_GE(transport->Sent(2)["id"].get<int>(), 1 << 30);
    EXPECT_EQ(root.LastId(), 2);
    // A call that cannot be written fails with why, at once.
    EXPECT_EQ(root.Call("Runtime.evaluate", {{"expression", "\xff"}}, -1).status.Reason(),
              "the call Runtime.evaluate holds text that is not UTF-8");
}

TEST_F(ConnectionTest, EventsReachTheirSubscribers) {
    std::vector<json> loads;
    connection->Root().OnEvent("Page.loadEventFired", [&](const json& params) { loads.push_back(params); });
    connection->Start();
    transport->Deliver(Event("Page.loadEventFired", {{"timestamp", 1.5}}));
    transport->Deliver(Event("Page.frameNavigated", json::object()));
    transport->Deliver({{"method", "Page.loadEventFired"}});  // no params: an empty object
    ASSERT_EQ(loads.size(), 2u);
    EXPECT_EQ(loads[0]["timestamp"], 1.5);
    EXPECT_TRUE(loads[1].is_object());
}

// A call waits at most its deadline, whether somebody waits for it or a handler does; a wait names
// what it waited for.
TEST_F(ConnectionTest, ADeadlineNamesTheCall) {
    connection->Start();
    browser::Session& root = connection->Root();
    const auto start = std::chrono::steady_clock::now();
    auto reply = root.Call("Page.printToPDF", json::object(), 100);
    EXPECT_FALSE(reply.status.Ok());
    EXPECT_EQ(reply.status.Reason(), "timed out waiting for Page.printToPDF");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);

    std::mutex mutex;
    std::condition_variable done;
    std::vector<std::string> outcomes;
    for (const char* method : {"Runtime.runIfWaitingForDebugger", "Fetch.enable"}) {
        root.Send(method, json::object(), std::string(method) == "Fetch.enable" ? 5000 : 100,
                  [&](browser::Reply r) {
                      std::lock_guard lock(mutex);
                      outcomes.push_back(r.status ? "answered" : r.status.Reason());
                      done.notify_all();
                  });
    }
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(done.wait_for(lock, 3s, [&] { return outcomes.size() == 1; }));
        EXPECT_EQ(outcomes[0], "timed out waiting for Runtime.runIfWaitingForDebugger");
    }
    // A late answer goes nowhere; the call still waiting gets its own.
    transport->Deliver({{"id", transport->Sent(1)["id"]}, {"result", json::object()}});
    transport->Deliver({{"id", transport->Sent(2)["id"]}, {"result", json::object()}});
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(done.wait_for(lock, 3s, [&] { return outcomes.size() == 2; }));
        EXPECT_EQ(outcomes[1], "answered");
    }
    std::atomic<bool> flag{false};
    EXPECT_EQ(root.WaitFor([&] { return flag.load(); }, 50, "the flag").Reason(),
              "timed out waiting for the flag");
}

// However the connection ends, every waiter of every session wakes with the reason at once, and every
// later call and wait fails with it without waiting.
TEST_F(ConnectionTest, TheEndWakesEveryWaiterWithItsReason) {
    for (const char* how : {"the far end", "Close"}) {
        SCOPED_TRACE(how);
        Renew();
        connection->Start();
        std::shared_ptr<browser::Session> page = Attached("S");
        ASSERT_TRUE(page);
        browser::Reply call, pageCall;
        util::Status wait;
        std::string handed;
        std::thread caller([&] { call = connection->Root().Call("Runtime.evaluate", json::object(), -1); });
        std::thread pageCaller([&] { pageCall = page->Call("Page.navigate", json::object(), -1); });
        std::thread waiter([&] { wait = page->WaitFor([] { return false; }, -1, "a load event"); });
        page->Send("Fetch.enable", json::object(), -1, [&](browser::Reply r) { handed = r.status.Reason(); });
        transport->Sent(2);
        std::this_thread::sleep_for(50ms);
        if (std::string(how) == "Close") {
            connection->Close("aborted");
        } else {
            transport->Close("the browser closed the connection");
        }
        caller.join();
        pageCaller.join();
        waiter.join();
        const std::string reason =
            std::string(how) == "Close" ? "aborted" : "the browser closed the connection";
        EXPECT_EQ(call.status.Reason(), reason);
        EXPECT_EQ(pageCall.status.Reason(), reason);
        EXPECT_EQ(wait.Reason(), reason);
        EXPECT_EQ(handed, reason);
        EXPECT_TRUE(connection->Ended());
        EXPECT_TRUE(page->Ended());
        EXPECT_EQ(connection->EndReason(), reason);
        const auto after = std::chrono::steady_clock::now();
        EXPECT_EQ(connection->Root().Call("Page.enable", nullptr, -1).status.Reason(), reason);
        EXPECT_EQ(page->Call("Page.enable", nullptr, -1).status.Reason(), reason);
        EXPECT_EQ(page->WaitFor([] { return false; }, -1, "x").Reason(), reason);
        EXPECT_LT(std::chrono::steady_clock::now() - after, 1s);
    }
}

// Two targets' sessions over the one connection: ids are unique across them, every message reaches
// the session it names and no other, an answer the browser sent without a session id still finds its
// call, and a detached session ends alone.
TEST_F(ConnectionTest, TwoSessionsAreRoutedApart) {
    connection->Start();
    EXPECT_EQ(connection->SessionOf("A"), nullptr);  // not reported yet
    std::shared_ptr<browser::Session> a = Attached("A");
    std::shared_ptr<browser::Session> b = Attached("B");
    ASSERT_TRUE(a && b);
    std::mutex mutex;
    std::vector<std::string> seen;
    for (const auto& [session, name] : {std::pair{a, "A"}, {b, "B"}}) {
        session->OnEvent("Page.loadEventFired",
                         [&mutex, &seen, name = std::string(name)](const json& params) {
                             std::lock_guard lock(mutex);
                             seen.push_back(name + ":" + params.value("n", ""));
                         });
    }
    transport->Deliver(Event("Page.loadEventFired", {{"n", "1"}}, "B"));
    transport->Deliver(Event("Page.loadEventFired", {{"n", "2"}}, "A"));
    transport->Deliver(Event("Page.loadEventFired", {{"n", "3"}}, "OTHER"));  // not ours: dropped
    transport->Deliver(Event("Page.loadEventFired", {{"n", "4"}}));           // the browser's: not theirs
    EXPECT_EQ(seen, (std::vector<std::string>{"B:1", "A:2"}));

    browser::Reply fromA, fromB, fromRoot;
    std::thread callA([&] { fromA = a->Call("Runtime.evaluate", {{"expression", "1"}}, 5000); });
    const json sentA = transport->Sent(0);
    std::thread callB([&] { fromB = b->Call("Runtime.evaluate", {{"expression", "2"}}, 5000); });
    const json sentB = transport->Sent(1);
    std::thread callRoot(
        [&] { fromRoot = connection->Root().Call("Target.getTargets", json::object(), 5000); });
    const json sentRoot = transport->Sent(2);
    EXPECT_EQ(sentA["sessionId"], "A");
    EXPECT_EQ(sentB["sessionId"], "B");
    EXPECT_FALSE(sentRoot.contains("sessionId"));
    EXPECT_NE(sentA["id"], sentB["id"]);
    // An answer that names the wrong session is not the call's.
    transport->Deliver({{"id", sentB["id"]}, {"sessionId", "A"}, {"result", {{"from", "wrong"}}}});
    transport->Deliver({{"id", sentB["id"]}, {"sessionId", "B"}, {"result", {{"from", "B"}}}});
    // The browser leaves the session id out of some errors: the id alone finds the call.
    transport->Deliver({{"id", sentA["id"]}, {"error", {{"code", -32601}, {"message", "gone"}}}});
    transport->Deliver({{"id", sentRoot["id"]}, {"result", {{"from", "browser"}}}});
    callA.join();
    callB.join();
    callRoot.join();
    EXPECT_EQ(fromA.ErrorText(), "gone");
    EXPECT_EQ(fromB.Result()["from"], "B");
    EXPECT_EQ(fromRoot.Result()["from"], "browser");

    // A detaches: its waiters wake, its messages go nowhere, and B goes on.
    util::Status waitA;
    std::thread waiter([&] { waitA = a->WaitFor([] { return false; }, -1, "a load event"); });
    std::this_thread::sleep_for(50ms);
    transport->Deliver(Event("Target.detachedFromTarget", {{"sessionId", "A"}}));
    waiter.join();
    EXPECT_EQ(waitA.Reason(), "the page's target detached");
    EXPECT_EQ(connection->SessionOf("A"), nullptr);
    transport->Deliver(Event("Page.loadEventFired", {{"n", "5"}}, "A"));
    transport->Deliver(Event("Page.loadEventFired", {{"n", "6"}}, "B"));
    EXPECT_EQ(seen, (std::vector<std::string>{"B:1", "A:2", "B:6"}));
    EXPECT_FALSE(b->Ended());
    EXPECT_EQ(a->Call("Page.enable", nullptr, -1).status.Reason(), "the page's target detached");
}

TEST(RequestPolicyTest, PagesReadTheirBookAndNothingElse) {
    testing_support::TempDir dir;
    testing_support::WriteFile(dir / "book/a.xhtml", "x");
    std::filesystem::create_symlink("/etc", dir / "book/etc-link");
    browser::RequestPolicy policy;
    const std::string book = util::FileUrlFromPath(dir / "book/");
    EXPECT_FALSE(policy.IsAllowed(book + "a.xhtml"));  // no book yet: no file
    policy.Allow(dir / "book", false);
    const std::pair<std::string, bool> cases[] = {
        {book + "a.xhtml", true},
        {book + "img/missing.png?x#y", true},
        {book + "..%2F..%2Fetc/passwd", false},
        {book + "../a.xhtml", false},
        {util::FileUrlFromPath(dir / "book-other/a.xhtml"), false},
        {book + "etc-link/passwd", false},
        {"file:///etc/passwd", false},
        {"file://otherhost/x", false},
        {"about:blank", true},
        {"about:srcdoc", true},
        {"data:text/plain,hi", true},
        {"https://example.org/font.woff", false},
        {"http://127.0.0.1/", false},
        {"ws://127.0.0.1/", false},
        {"chrome://settings", false},
        {"javascript:alert(1)", false},
    };
    for (const auto& [url, allowed] : cases) EXPECT_EQ(policy.IsAllowed(url), allowed) << url;
    policy.Allow(dir / "book", true);
    EXPECT_TRUE(policy.IsAllowed("https://example.org/font.woff"));
    EXPECT_TRUE(policy.IsAllowed("http://example.org/font.woff"));
    EXPECT_FALSE(policy.IsAllowed("ws://127.0.0.1/"));
}

TEST(PrintParametersTest, TheDefaultsAreSentExactly) {
    EXPECT_EQ(
        browser::PrintParameters{}.ToJson().dump(),
        R"({"displayHeaderFooter":false,"landscape":false,"marginBottom":0.800000011920929,)"
        R"("marginLeft":0.800000011920929,"marginRight":0.800000011920929,"marginTop":0.800000011920929,)"
        R"("paperHeight":11.0,"paperWidth":8.5,"printBackground":true,"scale":1.100000023841858})");
    browser::PrintParameters sheet;
    sheet.pageRanges = "1";
    sheet.generateTaggedPdf = false;
    EXPECT_EQ(sheet.ToJson()["pageRanges"], "1");
    EXPECT_EQ(sheet.ToJson()["generateTaggedPDF"], false);
}

// A browser of the program's own and its pages over a fake transport: the browser answers as Chromium
// does, the test plays it.
class BrowserTest : public ::testing::Test {
  protected:
    // Attaches a browser of the given kind; the far end's side is played by farEnd on another thread.
    util::Status Attach(browser::Browser::Kind kind, const std::function<void()>& farEnd,
                        const std::stop_token& stop = {}) {
        auto owned = std::make_unique<FakeTransport>();
        transport = owned.get();
        std::thread far(farEnd);
        util::Status attached = browser::Browser::Attach(std::move(owned), kind, stop, browser, 5000);
        far.join();
        return attached;
    }
    // Opens a page; the far end answers the attach (message n) with sessionId and the page's three
    // set-up calls.
    std::unique_ptr<browser::Page> Open(
        size_t n, const std::string& sessionId,
        const std::function<size_t()>& before = [] { return size_t{0}; }) {
        std::unique_ptr<browser::Page> page;
        util::Status opened;
        std::thread opener([&] { opened = browser->NewPage(options, page, {}, 5000); });
        n += before();
        attached = transport->AnswerAttach(n, sessionId)["params"];
        EXPECT_EQ(attached["flatten"], true);
        // The start-up script, the request policy, then the ready request, in that order, on the page's
        // session.
        for (const char* method : {"Page.addScriptToEvaluateOnNewDocument", "Fetch.enable",
                                   "Target.setAutoAttach", "Page.enable"}) {
            const json call = transport->Answer(++n, json::object());
            EXPECT_EQ(call["method"], method);
            EXPECT_EQ(call["sessionId"], sessionId);
        }
        opener.join();
        EXPECT_TRUE(opened) << opened.Reason();
        return page;
    }
    // The targets the browser was told to close among the messages sent from the n-th on.
    std::vector<std::string> ClosedFrom(size_t n) {
        std::vector<std::string> closed;
        for (size_t i = n; i < transport->SentCount(); ++i) {
            const json m = transport->Sent(i);
            if (m["method"] == "Target.closeTarget")
                closed.push_back(m["params"]["targetId"]);
        }
        return closed;
    }
    static json Created(const std::string& type, const std::string& id) {
        return Event("Target.targetCreated", {{"targetInfo", {{"type", type}, {"targetId", id}}}});
    }
    FakeTransport* transport = nullptr;
    std::shared_ptr<browser::Browser> browser;
    browser::PageOptions options;
    json attached;  // what the latest page was attached with
    testing_support::TempDir dir;
};

TEST_F(BrowserTest, OwnBrowserItsPagesAndNothingElse) {
    ASSERT_TRUE(Attach(browser::Browser::Kind::Own, [&] {
        EXPECT_EQ(transport->Answer(0, json::object())["params"], json({{"behavior", "deny"}}));
        EXPECT_EQ(transport->Answer(1, {{"targetInfos",
                                         {{{"type", "iframe"}, {"targetId", "F"}},
                                          {{"type", "page"}, {"targetId", "P"}}}}})["method"],
                  "Target.getTargets");
        EXPECT_EQ(transport->Answer(2, json::object())["params"], json({{"discover", true}}));
    }));
    // The first page is the one the browser started with.
    options.bookFolder = dir / "book";
    std::unique_ptr<browser::Page> first = Open(3, "S");
    ASSERT_TRUE(first);
    EXPECT_EQ(attached["targetId"], "P");

    // Targets reported: the page itself and its frame stay; a popup and a worker are closed at once.
    for (const auto& [type, id] :
         {std::pair{"page", "P"}, {"iframe", "F"}, {"page", "POPUP"}, {"worker", "W"}})
        transport->Deliver(Created(type, id));
    EXPECT_EQ(ClosedFrom(8), (std::vector<std::string>{"POPUP", "W"}));

    // A second page is opened for the program: its own appearance, before the browser names it, does not
    // close it; a popup that appears meanwhile is closed once the new page is known.
    const size_t before = transport->SentCount();
    std::unique_ptr<browser::Page> second = Open(before, "S2", [&] {
        const json create = transport->Sent(before);
        EXPECT_EQ(create["method"], "Target.createTarget");
        EXPECT_EQ(create["params"], json({{"url", "about:blank"}}));
        transport->Deliver(Created("page", "Q"));
        transport->Deliver(Created("page", "POPUP2"));
        transport->Answer(before, {{"targetId", "Q"}});
        return size_t{2};  // the creation, and the popup's closing
    });
    ASSERT_TRUE(second);
    EXPECT_EQ(attached["targetId"], "Q");
    EXPECT_EQ(ClosedFrom(before), std::vector<std::string>{"POPUP2"});

    // Each page hears its own session only: a load event for the second does not end the first's wait.
    util::Status loaded;
    const size_t nav = transport->SentCount();
    std::thread navigate([&] { loaded = first->Navigate(dir / "book/a.xhtml", 5000); });
    const json call = transport->Answer(nav, {{"frameId", "P"}});
    EXPECT_EQ(call["method"], "Page.navigate");
    EXPECT_EQ(call["sessionId"], "S");
    transport->Deliver(Event("Page.loadEventFired", json::object(), "S2"));
    std::this_thread::sleep_for(100ms);
    transport->Deliver(Event("Page.loadEventFired", json::object(), "S"));
    navigate.join();
    EXPECT_TRUE(loaded) << loaded.Reason();

    // Each page's requests pause for its own policy, and are answered on its own session.
    const size_t paused = transport->SentCount();
    transport->Deliver(
        Event("Fetch.requestPaused",
              {{"requestId", "r1"}, {"request", {{"url", util::FileUrlFromPath(dir / "book/x.css")}}}}, "S"));
    transport->Deliver(Event("Fetch.requestPaused",
                             {{"requestId", "r2"}, {"request", {{"url", "file:///etc/passwd"}}}}, "S"));
    EXPECT_EQ(transport->Sent(paused), json({{"id", transport->Sent(paused)["id"]},
                                             {"method", "Fetch.continueRequest"},
                                             {"params", {{"requestId", "r1"}}},
                                             {"sessionId", "S"}}));
    EXPECT_EQ(transport->Sent(paused + 1)["method"], "Fetch.failRequest");
    EXPECT_EQ(first->BlockedRequests(), 1);
    EXPECT_EQ(second->BlockedRequests(), 0);

    // A page the program opened is closed when it goes; the browser's first page is let go.
    const size_t gone = transport->SentCount();
    second.reset();
    first.reset();
    EXPECT_EQ(transport->Sent(gone), json({{"id", transport->Sent(gone)["id"]},
                                           {"method", "Target.closeTarget"},
                                           {"params", {{"targetId", "Q"}}}}));
    EXPECT_EQ(transport->Sent(gone + 1)["method"], "Target.detachFromTarget");
    EXPECT_EQ(transport->Sent(gone + 1)["params"], json({{"sessionId", "S"}}));
}

TEST_F(BrowserTest, SomebodyElsesBrowserPagesInAContextOfTheirOwn) {
    ASSERT_TRUE(Attach(browser::Browser::Kind::Shared, [&] {
        const json context = transport->Answer(0, {{"browserContextId", "C"}});
        EXPECT_EQ(context["method"], "Target.createBrowserContext");
        EXPECT_EQ(context["params"], json({{"disposeOnDetach", true}}));
        EXPECT_EQ(transport->Answer(1, json::object())["params"],
                  json({{"behavior", "deny"}, {"browserContextId", "C"}}));
    }));
    std::unique_ptr<browser::Page> page = Open(2, "S", [&] {
        const json create = transport->Answer(2, {{"targetId", "MINE"}});
        EXPECT_EQ(create["params"], json({{"url", "about:blank"}, {"browserContextId", "C"}}));
        return size_t{1};
    });
    ASSERT_TRUE(page);
    EXPECT_EQ(attached["targetId"], "MINE");
    // Other people's pages are theirs: nothing is closed.
    const size_t before = transport->SentCount();
    transport->Deliver(Created("page", "THEIRS"));
    EXPECT_TRUE(ClosedFrom(before).empty());
    // A page the browser will not open is a failure that says why.
    std::unique_ptr<browser::Page> refused;
    util::Status opened;
    std::thread opener([&] { opened = browser->NewPage(options, refused, {}, 5000); });
    const json create = transport->Sent(before);
    transport->Deliver({{"id", create["id"]}, {"error", {{"code", -32000}, {"message", "no more tabs"}}}});
    opener.join();
    EXPECT_EQ(opened.Reason(), "the browser opened no page: no more tabs");
    EXPECT_FALSE(refused);
}

// A page whose requests cannot be paused for its policy would read anything: it is not opened, and its
// target is let go.
TEST_F(BrowserTest, APageWhoseRequestsCannotBePausedIsNotOpened) {
    ASSERT_TRUE(Attach(browser::Browser::Kind::Shared, [&] {
        transport->Answer(0, {{"browserContextId", "C"}});
        transport->Answer(1, json::object());  // downloads refused
    }));
    std::unique_ptr<browser::Page> page;
    util::Status opened;
    std::thread opener([&] { opened = browser->NewPage(options, page, {}, 5000); });
    transport->Answer(2, {{"targetId", "T"}});
    transport->AnswerAttach(3, "S");
    transport->Answer(4, json::object());  // the start-up script
    const json fetch = transport->Sent(5);
    EXPECT_EQ(fetch["method"], "Fetch.enable");
    transport->Deliver(
        {{"id", fetch["id"]}, {"sessionId", "S"}, {"error", {{"code", -32000}, {"message", "not allowed"}}}});
    opener.join();
    EXPECT_EQ(opened.Reason(), "the page could not be set up: Fetch.enable failed: not allowed");
    EXPECT_FALSE(page);
    EXPECT_EQ(transport->Sent(6), json({{"id", transport->Sent(6)["id"]},
                                        {"method", "Target.closeTarget"},
                                        {"params", {{"targetId", "T"}}}}));
}

TEST_F(BrowserTest, ABrowserThatDoesNotAnswerOrAStopEndsTheAttach) {
    util::Status attached = Attach(browser::Browser::Kind::Own, [&] {
        transport->Sent(0);
        transport->Close("the browser closed its pipe");
    });
    EXPECT_EQ(attached.Reason(), "the browser did not refuse downloads: the browser closed its pipe");

    std::stop_source stop;
    const auto start = std::chrono::steady_clock::now();
    attached = Attach(
        browser::Browser::Kind::Own,
        [&] {
            transport->Sent(0);
            stop.request_stop();
        },
        stop.get_token());
    EXPECT_EQ(attached.Reason(), "cancelled");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
}

}  // namespace
