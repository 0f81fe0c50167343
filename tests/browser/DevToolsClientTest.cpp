#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "BrowserTestSupport.h"
#include "browser/DevToolsClient.h"
#include "net/HttpClient.h"
#include "util/Utilities.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using nlohmann::json;
using testing_support::TempDir;

namespace {

class DevToolsClientTest : public ::testing::Test {
  protected:
    testing_support::ScratchDataHome home;
    TempDir dir;
    void TearDown() override {
        // No browser of this test outlives it.
        EXPECT_TRUE(home.NoLeftovers());
    }
    std::unique_ptr<browser::DevToolsClient> Ready() {
        auto client = std::make_unique<browser::DevToolsClient>(testing_support::ChromiumPath());
        EXPECT_TRUE(client->EnableSession());
        client->SetRequestPolicy(dir.Path(), false);
        return client;
    }
};

TEST_F(DevToolsClientTest, PrintParametersAreSentExactly) {
    EXPECT_EQ(
        browser::DevToolsClient::PrintParameters().dump(),
        R"({"displayHeaderFooter":false,"landscape":false,"marginBottom":0.800000011920929,)"
        R"("marginLeft":0.800000011920929,"marginRight":0.800000011920929,"marginTop":0.800000011920929,)"
        R"("paperHeight":11.0,"paperWidth":8.5,"printBackground":true,"scale":1.100000023841858})");
}

TEST_F(DevToolsClientTest, PrintsAChapterWithANonAsciiName) {
    const std::string chapter = dir / "书 chapter #1.xhtml";
    testing_support::WriteFile(chapter, R"(<?xml version="1.0" encoding="UTF-8"?>
<html xmlns="http://www.w3.org/1999/xhtml"><head><title>t</title></head>
<body><h1>Lighthouse chapter</h1><p>灯塔 keeper text</p></body></html>)");
    auto client = Ready();
    EXPECT_EQ(client->LastId(), 1);  // the ready request was the first
    // Its profile is a folder of this session in the data folder, and it listens on no port.
    bool profile = false;
    for (auto& e : fs::directory_iterator(home.Dir() / "epub2pdf"))
        profile = profile || (e.path().filename().string().rfind("devtools-", 0) == 0 &&
                              fs::is_directory(e.path() / "profile"));
    EXPECT_TRUE(profile);
    EXPECT_EQ(testing_support::ListeningSocketsOf(client->BrowserProcessId()), 0);
    ASSERT_TRUE(client->Navigate(chapter));
    ASSERT_TRUE(client->PrintToPdf(dir / "1.pd_"));
    EXPECT_EQ(client->LastId(), 3);
    auto info = testing_support::RunCommand("pdfinfo " + testing_support::ShellQuote(dir / "1.pd_"));
    EXPECT_NE(info.output.find("612 x 792 pts (letter)"), std::string::npos) << info.output;
    const std::string text = testing_support::PdfText(dir / "1.pd_");
    EXPECT_NE(text.find("Lighthouse chapter"), std::string::npos);
    EXPECT_NE(text.find("灯塔"), std::string::npos);

    // A second navigation waits for its own load event.
    ASSERT_TRUE(client->Navigate(chapter));
    EXPECT_TRUE(client->PrintToPdf(dir / "2.pd_"));
}

TEST_F(DevToolsClientTest, RefusedNavigationAndPrintWithoutPage) {
    auto client = Ready();
    EXPECT_FALSE(client->PrintToPdf(dir / "never.pd_", -1));  // nothing loaded yet: no wait at all
    const int before = client->LastId();
    EXPECT_EQ(before, 1);  // ... and nothing was sent
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client->Navigate(dir / "missing.xhtml"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);  // failed at once, not by time-out
    EXPECT_FALSE(client->PrintToPdf(dir / "missing.pd_", -1));
    EXPECT_FALSE(fs::exists(dir / "missing.pd_"));
    // An error response to a command is an answered request; its callback sees the error.
    json seen;
    EXPECT_TRUE(
        client->SendCommand(10000, "No.suchMethod", json::object(), [&](const json& r) { seen = r; }));
    EXPECT_TRUE(seen.contains("error"));
}

TEST_F(DevToolsClientTest, NoBrowserMeansNoConnection) {
    browser::DevToolsClient client("");
    EXPECT_FALSE(client.EnableSession());
    EXPECT_FALSE(client.SendCommand(-1, "Browser.getVersion", json::object(), nullptr));
    EXPECT_FALSE(client.Navigate(dir / "x.xhtml"));
    browser::DevToolsClient missing("/no/such/chromium");
    EXPECT_FALSE(missing.EnableSession(-1));
}

TEST_F(DevToolsClientTest, KilledBrowserWakesTheWaitingRequest) {
    auto client = Ready();
    const int pid = client->BrowserProcessId();
    ASSERT_GT(pid, 0);
    std::thread killer([pid] {
        std::this_thread::sleep_for(500ms);
        kill(-pid, SIGKILL);
    });
    bool ran = false;
    // A request that the browser never answers.
    const bool woke = client->SendCommand(
        -1, "Runtime.evaluate", json{{"expression", "new Promise(() => {})"}, {"awaitPromise", true}},
        [&](const json&) { ran = true; });
    killer.join();
    EXPECT_TRUE(woke);
    EXPECT_FALSE(ran);
    EXPECT_FALSE(client->Navigate(dir / "x.xhtml"));
    EXPECT_FALSE(client->SendCommand(-1, "Browser.getVersion", json::object(), nullptr));
}

TEST_F(DevToolsClientTest, LinksOutOfTheBookAreBlockedInTheBrowser) {
    testing_support::WriteFile(dir / "outside/secret.txt", "SECRET-BEHIND-A-LINK");
    testing_support::WriteFile(dir / "book/page.xhtml", R"(<?xml version="1.0" encoding="UTF-8"?>
<html xmlns="http://www.w3.org/1999/xhtml"><head><title>t</title></head>
<body><p>Inside the book</p><iframe src="link/secret.txt" width="400" height="60"></iframe>
<iframe src="own.txt" width="400" height="60"></iframe></body></html>)");
    testing_support::WriteFile(dir / "book/own.txt", "OWN-TEXT-OF-THE-BOOK");
    std::filesystem::create_symlink(dir / "outside", dir / "book/link");
    auto client = std::make_unique<browser::DevToolsClient>(testing_support::ChromiumPath());
    ASSERT_TRUE(client->EnableSession());
    client->SetRequestPolicy(dir / "book", false);
    ASSERT_TRUE(client->Navigate(dir / "book/page.xhtml"));
    ASSERT_TRUE(client->PrintToPdf(dir / "page.pdf"));
    const std::string text = testing_support::PdfText(dir / "page.pdf");
    EXPECT_NE(text.find("Inside the book"), std::string::npos);
    EXPECT_NE(text.find("OWN-TEXT-OF-THE-BOOK"), std::string::npos);
    EXPECT_EQ(text.find("SECRET-BEHIND-A-LINK"), std::string::npos);
    EXPECT_EQ(client->BlockedRequests(), 1);
}

// Every wait ends as soon as the session ends, whoever ends it and whenever: the browser dying under a
// page that hangs, or Abort from another thread; and every wait after the end returns at once.
TEST_F(DevToolsClientTest, EveryWaitEndsWithTheSession) {
    const std::string hung = dir / "hung.xhtml";
    testing_support::WriteFile(hung, R"(<html xmlns="http://www.w3.org/1999/xhtml"><body><p>x</p>
<script>for (;;) {}</script></body></html>)");
    auto seconds = [](auto since) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
    };
    for (const char* how : {"the browser dies", "Abort"}) {
        SCOPED_TRACE(how);
        auto client = Ready();
        const int pid = client->BrowserProcessId();
        ASSERT_GT(pid, 0);
        std::thread ender([&] {
            std::this_thread::sleep_for(1500ms);
            if (std::string(how) == "Abort") {
                client->Abort();
            } else {
                ::kill(pid, SIGKILL);
            }
        });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(client->Navigate(hung));  // would wait its full time-out of 300 s
        EXPECT_LT(seconds(start), 5.0);
        ender.join();
        EXPECT_TRUE(client->Ended());
        const auto after = std::chrono::steady_clock::now();
        EXPECT_FALSE(client->Navigate(hung));
        EXPECT_FALSE(client->PrintToPdf(dir / "x.pd_"));
        EXPECT_FALSE(client->EnableSession());
        EXPECT_FALSE(client->WaitPageLoaded());
        EXPECT_LT(seconds(after), 0.5);
        client.reset();  // the browser goes with its client
    }
}

// A browser somebody else runs, given by its DevTools address: the session opens a page of its own there,
// prints, and leaves the browser running with the pages it had.
TEST_F(DevToolsClientTest, ABrowserGivenByItsAddressKeepsRunningWithItsOwnPages) {
    const std::string chapter = dir / "c.xhtml";
    testing_support::WriteFile(
        chapter, R"(<html xmlns="http://www.w3.org/1999/xhtml"><body><p>Remote text</p></body></html>)");
    TempDir profile;
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        freopen("/dev/null", "w", stderr);
        const std::string profileArg = "--user-data-dir=" + profile.Path();
        execl(testing_support::ChromiumPath().c_str(), "chromium", "--headless", "--no-sandbox",
              "--disable-gpu", "--no-first-run", "--remote-debugging-port=0", profileArg.c_str(),
              "about:blank", static_cast<char*>(nullptr));
        _exit(127);
    }
    // The browser picks its port and names it, with its browser endpoint, in its profile.
    std::string address;
    for (int i = 0; i < 200 && address.empty(); ++i) {
        std::this_thread::sleep_for(50ms);
        std::istringstream active(testing_support::ReadFile(profile / "DevToolsActivePort"));
        std::string port, path;
        if (std::getline(active, port) && std::getline(active, path))
            address = "ws://127.0.0.1:" + port + path;
    }
    ASSERT_FALSE(address.empty());
    {
        browser::DevToolsClient client(address);
        ASSERT_TRUE(client.EnableSession());
        client.SetRequestPolicy(dir.Path(), false);
        ASSERT_TRUE(client.Navigate(chapter));
        ASSERT_TRUE(client.PrintToPdf(dir / "remote.pd_"));
    }
    EXPECT_NE(testing_support::PdfText(dir / "remote.pd_").find("Remote text"), std::string::npos);
    // The page the session opened went with it; the browser and its own page stay.
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

}  // namespace
