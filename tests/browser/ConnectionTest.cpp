// The DevTools connection and the page session against a fake transport: ids, answers, events,
// deadlines, targets and the end, with no browser.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "browser/Connection.h"
#include "browser/PageSession.h"
#include "browser/RequestPolicy.h"
#include "support/TestSupport.h"
#include "util/Utilities.h"

using nlohmann::json;
using namespace std::chrono_literals;

namespace {

// A transport whose far end is the test: what the connection sends is recorded, and the test delivers
// messages and the end on a thread of the transport's own, as a real one does.
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

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<json> sent_;
    bool closed_ = false;
    MessageHandler onMessage_;
    CloseHandler onClose_;
};

class ConnectionTest : public ::testing::Test {
  protected:
    ConnectionTest() {
        auto owned = std::make_unique<FakeTransport>();
        transport = owned.get();
        connection = std::make_unique<browser::Connection>(std::move(owned));
    }
    FakeTransport* transport;
    std::unique_ptr<browser::Connection> connection;
};

TEST_F(ConnectionTest, AnswersGoToTheirCallsWhateverTheOrder) {
    connection->Start();
    browser::Connection::Reply first, second;
    std::thread a([&] { first = connection->Call("Page.enable", nullptr, 5000); });
    const json one = transport->Sent(0);
    std::thread b([&] { second = connection->Call("Browser.getVersion", json::object(), 5000); });
    const json two = transport->Sent(1);
    EXPECT_EQ(one["method"], "Page.enable");
    EXPECT_EQ(two["id"].get<int>(), one["id"].get<int>() + 1);
    transport->Deliver({{"id", 999}, {"result", json::object()}});  // nobody asked: dropped
    transport->DeliverText("not json at all");                      // not a protocol message: dropped
    transport->Deliver({{"id", two["id"]}, {"result", {{"product", "Chromium"}}}});
    transport->Deliver({{"id", one["id"]}, {"error", {{"code", -32000}, {"message", "no"}}}});
    a.join();
    b.join();
    EXPECT_TRUE(first.status.Ok());
    EXPECT_TRUE(first.IsError());
    EXPECT_TRUE(second.status.Ok());
    EXPECT_FALSE(second.IsError());
    EXPECT_EQ(second.Result()["product"], "Chromium");
    EXPECT_EQ(connection->LastId(), 2);
    // Posted calls have ids of their own and are not waited for.
    connection->Post("Fetch.enable", json::object());
    EXPECT_GE(transport->Sent(2)["id"].get<int>(), 1 << 30);
}

TEST_F(ConnectionTest, EventsReachTheirSubscribers) {
    std::vector<json> loads;
    connection->OnEvent("Page.loadEventFired", [&](const json& params) { loads.push_back(params); });
    connection->Start();
    transport->Deliver({{"method", "Page.loadEventFired"}, {"params", {{"timestamp", 1.5}}}});
    transport->Deliver({{"method", "Page.frameNavigated"}, {"params", json::object()}});
    transport->Deliver({{"method", "Page.loadEventFired"}});  // no params: an empty object
    ASSERT_EQ(loads.size(), 2u);
    EXPECT_EQ(loads[0]["timestamp"], 1.5);
    EXPECT_TRUE(loads[1].is_object());
}

TEST_F(ConnectionTest, ADeadlineNamesTheCall) {
    connection->Start();
    const auto start = std::chrono::steady_clock::now();
    auto reply = connection->Call("Page.printToPDF", json::object(), 100);
    EXPECT_FALSE(reply.status.Ok());
    EXPECT_EQ(reply.status.Reason(), "timed out waiting for Page.printToPDF");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    // A late answer to it goes nowhere.
    transport->Deliver({{"id", 1}, {"result", json::object()}});
    std::atomic<bool> flag{false};
    EXPECT_EQ(connection->WaitFor([&] { return flag.load(); }, 50, "the flag").Reason(),
              "timed out waiting for the flag");
}

// However the connection ends, every waiter wakes with the reason at once, and every later call and
// wait fails with it without waiting.
TEST_F(ConnectionTest, TheEndWakesEveryWaiterWithItsReason) {
    for (const char* how : {"the far end", "Close"}) {
        SCOPED_TRACE(how);
        auto owned = std::make_unique<FakeTransport>();
        transport = owned.get();
        connection = std::make_unique<browser::Connection>(std::move(owned));
        connection->Start();
        browser::Connection::Reply call;
        util::Status wait;
        std::thread caller([&] { call = connection->Call("Runtime.evaluate", json::object(), -1); });
        std::thread waiter([&] { wait = connection->WaitFor([] { return false; }, -1, "a load event"); });
        transport->Sent(0);
        std::this_thread::sleep_for(50ms);
        if (std::string(how) == "Close") {
            connection->Close("aborted");
        } else {
            transport->Close("the browser closed the connection");
        }
        caller.join();
        waiter.join();
        const std::string reason =
            std::string(how) == "Close" ? "aborted" : "the browser closed the connection";
        EXPECT_EQ(call.status.Reason(), reason);
        EXPECT_EQ(wait.Reason(), reason);
        EXPECT_TRUE(connection->Ended());
        EXPECT_EQ(connection->EndReason(), reason);
        const auto after = std::chrono::steady_clock::now();
        EXPECT_EQ(connection->Call("Page.enable", nullptr, -1).status.Reason(), reason);
        EXPECT_EQ(connection->WaitFor([] { return false; }, -1, "x").Reason(), reason);
        EXPECT_LT(std::chrono::steady_clock::now() - after, 1s);
    }
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

// The far end answers the n-th message sent with result; returns that message.
json Answer(FakeTransport& browser, size_t n, const json& result) {
    const json call = browser.Sent(n);
    browser.Deliver(json{{"id", call.value("id", 0)}, {"result", result}});
    return call;
}

TEST(PageSessionTest, OwnBrowserOnePageEveryOtherTargetClosed) {
    auto owned = std::make_unique<FakeTransport>();
    FakeTransport& browser = *owned;
    browser::PageSession session(std::move(owned), browser::PageSession::Page::First);
    std::atomic<bool> cancelled{false};
    std::string reason;
    std::thread attach([&] { EXPECT_TRUE(session.Attach(5000, cancelled, reason)) << reason; });
    EXPECT_EQ(
        Answer(
            browser, 0,
            {{"targetInfos",
              {{{"type", "iframe"}, {"targetId", "F"}}, {{"type", "page"}, {"targetId", "P"}}}}})["method"],
        "Target.getTargets");
    const json attachCall = Answer(browser, 1, {{"sessionId", "S"}});
    EXPECT_EQ(attachCall["params"], json({{"targetId", "P"}, {"flatten", true}}));
    EXPECT_EQ(Answer(browser, 2, json::object())["params"], json({{"discover", true}}));
    attach.join();
    EXPECT_EQ(session.TargetId(), "P");

    std::vector<std::string> delivered;
    std::mutex lock;
    session.Start(
        [&](const std::string& m) {
            std::lock_guard guard(lock);
            delivered.push_back(m);
        },
        [](const std::string&) {});
    // Targets reported: the page itself and its frame stay; a popup and a worker are closed at once.
    for (const auto& [type, id] :
         {std::pair{"page", "P"}, {"iframe", "F"}, {"page", "POPUP"}, {"worker", "W"}})
        browser.Deliver({{"method", "Target.targetCreated"},
                         {"params", {{"targetInfo", {{"type", type}, {"targetId", id}}}}}});
    EXPECT_EQ(browser.Sent(3)["method"], "Target.closeTarget");
    EXPECT_EQ(browser.Sent(3)["params"]["targetId"], "POPUP");
    EXPECT_EQ(browser.Sent(4)["params"]["targetId"], "W");

    // Only the page's messages are delivered, and what is sent goes to the page.
    browser.Deliver({{"method", "Page.loadEventFired"}, {"params", json::object()}, {"sessionId", "S"}});
    browser.Deliver({{"method", "Page.loadEventFired"}, {"params", json::object()}, {"sessionId", "OTHER"}});
    browser.Deliver({{"method", "Target.targetDestroyed"}, {"params", {{"targetId", "W"}}}});
    {
        std::lock_guard guard(lock);
        ASSERT_EQ(delivered.size(), 1u);
        EXPECT_EQ(json::parse(delivered[0])["sessionId"], "S");
    }
    EXPECT_TRUE(session.Send(R"({"id":1,"method":"Page.enable"})"));
    EXPECT_EQ(browser.Sent(5), json({{"sessionId", "S"}, {"id", 1}, {"method", "Page.enable"}}));
}

TEST(PageSessionTest, SomebodyElsesBrowserAPageInAContextOfItsOwn) {
    auto owned = std::make_unique<FakeTransport>();
    FakeTransport& browser = *owned;
    browser::PageSession session(std::move(owned), browser::PageSession::Page::New);
    std::atomic<bool> cancelled{false};
    std::string reason;
    std::thread attach([&] { EXPECT_TRUE(session.Attach(5000, cancelled, reason)) << reason; });
    const json context = Answer(browser, 0, {{"browserContextId", "C"}});
    EXPECT_EQ(context["method"], "Target.createBrowserContext");
    EXPECT_EQ(context["params"], json({{"disposeOnDetach", true}}));
    const json create = Answer(browser, 1, {{"targetId", "MINE"}});
    EXPECT_EQ(create["params"], json({{"url", "about:blank"}, {"browserContextId", "C"}}));
    EXPECT_EQ(Answer(browser, 2, {{"sessionId", "S"}})["params"]["targetId"], "MINE");
    attach.join();
    session.Start([](const std::string&) {}, [](const std::string&) {});
    // Other people's pages are theirs: nothing is closed.
    browser.Deliver({{"method", "Target.targetCreated"},
                     {"params", {{"targetInfo", {{"type", "page"}, {"targetId", "THEIRS"}}}}}});
    EXPECT_TRUE(session.Send(R"({"id":1})"));
    EXPECT_EQ(browser.Sent(3), json({{"sessionId", "S"}, {"id", 1}}));
}

TEST(PageSessionTest, ABrowserThatDoesNotAnswerFailsTheAttach) {
    auto owned = std::make_unique<FakeTransport>();
    FakeTransport& browser = *owned;
    browser::PageSession session(std::move(owned), browser::PageSession::Page::First);
    std::atomic<bool> cancelled{false};
    std::string reason;
    std::thread gone([&] {
        browser.Sent(0);
        browser.Close("the browser closed its pipe");
    });
    EXPECT_FALSE(session.Attach(5000, cancelled, reason));
    gone.join();
    EXPECT_EQ(reason, "the browser did not answer");
}

}  // namespace
