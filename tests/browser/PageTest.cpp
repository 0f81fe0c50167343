// A browser and its pages with the real Chromium: printing, refusals, the request policy, the end of the
// connection however it comes, two pages of one browser, and somebody else's browser.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "BrowserTestSupport.h"
#include "browser/Browser.h"
#include "browser/Session.h"
#include "net/HttpClient.h"
#include "support/LoopbackServer.h"
#include "util/Format.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using nlohmann::json;
using testing_support::TempDir;

namespace {

class PageTest : public ::testing::Test {
  protected:
    testing_support::ScratchDataHome home;
    TempDir dir;
    std::shared_ptr<browser::Browser> browser;  // the latest of Ready
    void TearDown() override {
        // No browser of this test outlives it.
        browser.reset();
        EXPECT_TRUE(home.NoLeftovers());
    }
    // A browser of its own (in browser) with one page that may read the test's folder.
    std::unique_ptr<browser::Page> Ready(const std::string& where = testing_support::ChromiumPath()) {
        browser.reset();
        std::unique_ptr<browser::Page> page;
        browser::PageOptions options;
        options.bookFolder = dir.Path();
        util::Status ready = browser::Browser::Start(where, {}, browser);
        if (ready)
            ready = browser->NewPage(options, page);
        EXPECT_TRUE(ready) << ready.Reason();
        return page;
    }
    // Starts a Chromium of the test's own, as somebody else would run it (its own switches, a debugging
    // port), and gives its DevTools address (empty when it named none); the process group is its id.
    static pid_t LaunchRemote(const std::string& profile, std::string& address) {
        const pid_t pid = fork();
        if (pid == 0) {
            setpgid(0, 0);
            freopen("/dev/null", "w", stderr);
            const std::string profileArg = "--user-data-dir=" + profile;
            execl(testing_support::ChromiumPath().c_str(), "chromium", "--headless", "--no-sandbox",
                  "--disable-gpu", "--no-first-run", "--remote-debugging-port=0", profileArg.c_str(),
                  "about:blank", static_cast<char*>(nullptr));
            _exit(127);
        }
        // The browser picks its port and names it, with its browser endpoint, in its profile.
        address.clear();
        for (int i = 0; i < 200 && address.empty(); ++i) {
            std::this_thread::sleep_for(50ms);
            std::istringstream active(testing_support::ReadFile(profile + "/DevToolsActivePort"));
            std::string port, path;
            if (std::getline(active, port) && std::getline(active, path))
                address = "ws://127.0.0.1:" + port + path;
        }
        return pid;
    }
    // Prints the loaded page with the default parameters into a file; true when it was written.
    static bool PrintTo(browser::Page& page, const std::string& path) {
        std::string pdf;
        if (!page.PrintToPdf(browser::PrintParameters{}, pdf))
            return false;
        testing_support::WriteFile(path, pdf);
        return true;
    }
};

TEST_F(PageTest, PrintsAChapterWithANonAsciiName) {
    const std::string chapter = dir / "书 chapter #1.xhtml";
    testing_support::WriteFile(chapter, R"(<?xml version="1.0" encoding="UTF-8"?>
<html xmlns="http://www.w3.org/1999/xhtml"><head><title>t</title></head>
<body><h1>Lighthouse chapter</h1><p>灯塔 keeper text</p></body></html>)");
    auto page = Ready();
    ASSERT_TRUE(page);
    const int ready = page->GetSession().LastId();  // the ready request was the page's last call
    // Its profile is a folder of this browser in the data folder, and it listens on no port.
    bool profile = false;
    for (auto& e : fs::directory_iterator(home.Dir() / "epub2pdf"))
        profile = profile || (e.path().filename().string().rfind("devtools-", 0) == 0 &&
                              fs::is_directory(e.path() / "profile"));
    EXPECT_TRUE(profile);
    EXPECT_EQ(testing_support::ListeningSocketsOf(browser->ProcessId()), 0);
    ASSERT_TRUE(page->Navigate(chapter));
    ASSERT_TRUE(PrintTo(*page, dir / "1.pd_"));
    EXPECT_EQ(page->GetSession().LastId(), ready + 2);  // one call each
    auto info = testing_support::RunCommand("pdfinfo " + testing_support::ShellQuote(dir / "1.pd_"));
    EXPECT_NE(info.output.find("612 x 792 pts (letter)"), std::string::npos) << info.output;
    const std::string text = testing_support::PdfText(dir / "1.pd_");
    EXPECT_NE(text.find("Lighthouse chapter"), std::string::npos);
    EXPECT_NE(text.find("灯塔"), std::string::npos);

    // A second navigation waits for its own load event.
    ASSERT_TRUE(page->Navigate(chapter));
    EXPECT_TRUE(PrintTo(*page, dir / "2.pd_"));
}

TEST_F(PageTest, RefusedNavigationAndPrintWithoutPage) {
    auto page = Ready();
    ASSERT_TRUE(page);
    std::string pdf;
    // Nothing loaded yet: no wait at all, and nothing sent.
    const int before = page->GetSession().LastId();
    EXPECT_EQ(page->PrintToPdf({}, pdf, -1).Reason(), "no page is loaded");
    EXPECT_EQ(page->GetSession().LastId(), before);
    const auto start = std::chrono::steady_clock::now();
    const util::Status missing = page->Navigate(dir / "missing.xhtml");
    EXPECT_FALSE(missing);
    EXPECT_NE(missing.Reason().find("ERR_FILE_NOT_FOUND"), std::string::npos) << missing.Reason();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);  // failed at once, not by time-out
    EXPECT_FALSE(page->PrintToPdf({}, pdf, -1));
    EXPECT_TRUE(pdf.empty());
    // An error response to a call is an answer; it carries the browser's error.
    const browser::Reply reply = page->GetSession().Call("No.suchMethod", json::object(), 10000);
    EXPECT_TRUE(reply.status) << reply.status.Reason();
    EXPECT_TRUE(reply.IsError());
    EXPECT_FALSE(reply.ErrorText().empty());
}

TEST_F(PageTest, NoBrowserMeansNoConnection) {
    EXPECT_EQ(browser::Browser::Start("", {}, browser).Reason(), "no browser executable");
    EXPECT_EQ(browser::Browser::Start("/no/such/chromium", {}, browser).Reason(),
              "the browser /no/such/chromium could not be started");
    EXPECT_FALSE(browser);
    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_EQ(browser::Browser::Start(testing_support::ChromiumPath(), stopped.get_token(), browser).Reason(),
              "cancelled");
}

TEST_F(PageTest, KilledBrowserWakesTheWaitingRequest) {
    auto page = Ready();
    ASSERT_TRUE(page);
    const int pid = browser->ProcessId();
    ASSERT_GT(pid, 0);
    std::thread killer([pid] {
        std::this_thread::sleep_for(500ms);
        kill(-pid, SIGKILL);
    });
    // A request that the browser never answers.
    const browser::Reply reply = page->GetSession().Call(
        "Runtime.evaluate", json{{"expression", "new Promise(() => {})"}, {"awaitPromise", true}}, -1);
    killer.join();
    EXPECT_FALSE(reply.status);
    EXPECT_EQ(reply.status.Reason(), "the browser closed its pipe");
    EXPECT_EQ(page->Navigate(dir / "x.xhtml").Reason(), "the browser closed its pipe");
    EXPECT_FALSE(page->GetSession().Call("Browser.getVersion", json::object(), -1).status);
}

TEST_F(PageTest, LinksOutOfTheBookAreBlockedInTheBrowser) {
    testing_support::WriteFile(dir / "outside/secret.txt", "SECRET-BEHIND-A-LINK");
    testing_support::WriteFile(dir / "book/page.xhtml", R"(<?xml version="1.0" encoding="UTF-8"?>
<html xmlns="http://www.w3.org/1999/xhtml"><head><title>t</title></head>
<body><p>Inside the book</p><iframe src="link/secret.txt" width="400" height="60"></iframe>
<iframe src="own.txt" width="400" height="60"></iframe></body></html>)");
    testing_support::WriteFile(dir / "book/own.txt", "OWN-TEXT-OF-THE-BOOK");
    std::filesystem::create_symlink(dir / "outside", dir / "book/link");
    ASSERT_TRUE(browser::Browser::Start(testing_support::ChromiumPath(), {}, browser));
    std::unique_ptr<browser::Page> page;
    browser::PageOptions options;
    options.bookFolder = dir / "book";
    ASSERT_TRUE(browser->NewPage(options, page));
    ASSERT_TRUE(page->Navigate(dir / "book/page.xhtml"));
    ASSERT_TRUE(PrintTo(*page, dir / "page.pdf"));
    const std::string text = testing_support::PdfText(dir / "page.pdf");
    EXPECT_NE(text.find("Inside the book"), std::string::npos);
    EXPECT_NE(text.find("OWN-TEXT-OF-THE-BOOK"), std::string::npos);
    EXPECT_EQ(text.find("SECRET-BEHIND-A-LINK"), std::string::npos);
    EXPECT_EQ(page->BlockedRequests(), 1);
}

// Every wait ends as soon as the connection ends, whoever ends it and whenever: the browser dying under
// a page that hangs, or Close from another thread; and every wait after the end returns at once.
TEST_F(PageTest, EveryWaitEndsWithTheConnection) {
    const std::string hung = dir / "hung.xhtml";
    testing_support::WriteFile(hung, R"(<html xmlns="http://www.w3.org/1999/xhtml"><body><p>x</p>
<script>for (;;) {}</script></body></html>)");
    auto seconds = [](auto since) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
    };
    for (const char* how : {"the browser dies", "Close"}) {
        SCOPED_TRACE(how);
        auto page = Ready();
        ASSERT_TRUE(page);
        const int pid = browser->ProcessId();
        ASSERT_GT(pid, 0);
        std::thread ender([&] {
            std::this_thread::sleep_for(1500ms);
            if (std::string(how) == "Close") {
                browser->Close("aborted");
            } else {
                ::kill(pid, SIGKILL);
            }
        });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(page->Navigate(hung));  // would wait its full time-out of 300 s
        EXPECT_LT(seconds(start), 5.0);
        ender.join();
        EXPECT_TRUE(page->Ended());
        EXPECT_TRUE(browser->Ended());
        const auto after = std::chrono::steady_clock::now();
        json value;
        std::string pdf;
        std::unique_ptr<browser::Page> another;
        EXPECT_FALSE(page->Navigate(hung));
        EXPECT_FALSE(page->PrintToPdf({}, pdf));
        EXPECT_FALSE(page->Evaluate("1", value));
        EXPECT_FALSE(browser->NewPage({}, another));
        EXPECT_LT(seconds(after), 0.5);
        page.reset();
        browser.reset();  // the browser goes with its last page
    }
}

// Two pages of one browser, each with its own session over the one pipe, load and print at the same
// time, each its own chapter.
TEST_F(PageTest, TwoPagesOfOneBrowserPrintApart) {
    auto first = Ready();
    ASSERT_TRUE(first);
    std::unique_ptr<browser::Page> second;
    browser::PageOptions options;
    options.bookFolder = dir.Path();
    ASSERT_TRUE(browser->NewPage(options, second));
    std::string texts[2];
    for (int i = 0; i < 2; ++i) {
        testing_support::WriteFile(dir / util::FormatString("c%d.xhtml", i),
                                   util::FormatString("<html xmlns=\"http://www.w3.org/1999/xhtml\"><body>"
                                                      "<p>Text of page %d</p></body></html>",
                                                      i));
    }
    util::Status printed[2];
    std::thread other([&] {
        if ((printed[1] = second->Navigate(dir / "c1.xhtml")))
            printed[1] = PrintTo(*second, dir / "c1.pdf") ? util::Status{} : util::Status::Failure("print");
    });
    if ((printed[0] = first->Navigate(dir / "c0.xhtml")))
        printed[0] = PrintTo(*first, dir / "c0.pdf") ? util::Status{} : util::Status::Failure("print");
    other.join();
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(printed[i]) << i << ": " << printed[i].Reason();
        const std::string text = testing_support::PdfText(dir / util::FormatString("c%d.pdf", i));
        EXPECT_NE(text.find(util::FormatString("Text of page %d", i)), std::string::npos) << text;
        EXPECT_EQ(text.find(util::FormatString("Text of page %d", 1 - i)), std::string::npos) << text;
    }
    // The second page goes alone; the first still works.
    second.reset();
    ASSERT_TRUE(first->Navigate(dir / "c1.xhtml"));
    EXPECT_TRUE(PrintTo(*first, dir / "again.pdf"));
}

// A browser somebody else runs, given by its DevTools address: the page opens in a context of its own
// there, prints, and the browser keeps running with the pages it had.
TEST_F(PageTest, ABrowserGivenByItsAddressKeepsRunningWithItsOwnPages) {
    const std::string chapter = dir / "c.xhtml";
    testing_support::WriteFile(
        chapter, R"(<html xmlns="http://www.w3.org/1999/xhtml"><body><p>Remote text</p></body></html>)");
    TempDir profile;
    std::string address;
    const pid_t pid = LaunchRemote(profile.Path(), address);
    ASSERT_FALSE(address.empty());
    {
        auto page = Ready(address);
        ASSERT_TRUE(page);
        EXPECT_EQ(browser->ProcessId(), 0);  // not ours
        ASSERT_TRUE(page->Navigate(chapter));
        ASSERT_TRUE(PrintTo(*page, dir / "remote.pd_"));
    }
    EXPECT_NE(testing_support::PdfText(dir / "remote.pd_").find("Remote text"), std::string::npos);
    // The page the program opened went with it; the browser and its own page stay.
    EXPECT_EQ(kill(pid, 0), 0);
    net::HttpClient http;
    const std::string port = address.substr(15, address.find('/', 15) - 15);
    std::string targets;
    if (http.Open("GET", "http://127.0.0.1:" + port + "/json/list") && http.Send())
        targets = http.GetBodyText();
    killpg(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    const json list = json::parse(targets, nullptr, false);
    ASSERT_TRUE(list.is_array()) << targets;
    int pageCount = 0;
    for (const json& t : list) pageCount += t.value("type", "") == "page" ? 1 : 0;
    EXPECT_EQ(pageCount, 1) << targets;
}

// Frames the browser runs in a process of their own (a sandboxed frame, in a browser with its default
// features) and their workers are under the page's policy too: nothing of theirs reaches the network,
// by request, beacon, WebSocket or worker. (A srcdoc frame there starts before it can be held: in a
// browser of the program's own, sandboxed frames stay in their page's process.)
TEST_F(PageTest, SandboxedFramesAndTheirWorkersAreUnderThePolicy) {
    std::mutex lock;
    std::string seen;  // the first line of each request that came
    testing_support::LoopbackServer server([&](int socket) {
        const std::string request = testing_support::LoopbackServer::ReadUntil(socket, "\r\n\r\n");
        {
            std::lock_guard hold(lock);
            seen += request.substr(0, request.find('\r')) + "\n";
        }
        testing_support::LoopbackServer::SendAll(socket, "HTTP/1.1 204 No Content\r\n\r\n");
    });
    ASSERT_TRUE(server.Listening());
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/";
    const std::string sends = "fetch('" + url + "fetch').catch(() => {}); navigator.sendBeacon('" + url +
                              "beacon', 'x');"
                              "new Image().src = '" +
                              url + "img'; try { new WebSocket('ws' + '" + url.substr(4) +
                              "ws'); } catch (e) {} try { new Worker('data:text/javascript,fetch(\\'" + url +
                              "worker\\')'); } catch (e) {}";
    testing_support::WriteFile(dir / "inner.xhtml",
                               "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body><p>inner</p>"
                               "<img src=\"" +
                                   url + "img-static\"/><script>" + sends + "</script></body></html>");
    testing_support::WriteFile(dir / "frames.xhtml",
                               "<html xmlns=\"http://www.w3.org/1999/xhtml\"><body><p>Framed</p>"
                               "<iframe sandbox=\"allow-scripts\" src=\"inner.xhtml\"></iframe>"
                               "<iframe sandbox=\"\" src=\"inner.xhtml\"></iframe></body></html>");
    TempDir profile;
    std::string address;
    const pid_t pid = LaunchRemote(profile.Path(), address);
    ASSERT_FALSE(address.empty());
    {
        auto page = Ready(address);
        ASSERT_TRUE(page);
        ASSERT_TRUE(page->Navigate(dir / "frames.xhtml"));
        std::this_thread::sleep_for(1s);  // what the frames send, they have sent by now
        EXPECT_GT(page->BlockedRequests(), 0);
    }
    browser.reset();
    killpg(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    std::lock_guard hold(lock);
    EXPECT_EQ(seen, "");
}

}  // namespace
