#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "net/HttpClient.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using testing_support::LoopbackServer;
using testing_support::PythonHttpServer;
using testing_support::TempDir;

namespace {

using Call = std::tuple<uint64_t, uint64_t, uint32_t, std::string>;

class HttpClientTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder_ = new TempDir();
        testing_support::WriteFile(*folder_ / "25000.bin", std::string(25000, 'x'));
        testing_support::WriteFile(*folder_ / "big.bin", std::string(3 << 20, 'y'));
        server_ = new PythonHttpServer(folder_->Path());
    }
    static void TearDownTestSuite() {
        delete server_;
        delete folder_;
    }
    static PythonHttpServer* server_;
    static TempDir* folder_;

    // A scripted server that answers every request with the given raw response.
    static std::unique_ptr<LoopbackServer> Scripted(const std::string& response,
                                                    std::string* request = nullptr) {
        return std::make_unique<LoopbackServer>([response, request](int fd) {
            std::string r = LoopbackServer::ReadUntil(fd, "\r\n\r\n");
            if (request != nullptr)
                *request = r;
            LoopbackServer::SendAll(fd, response);
        });
    }
    static std::string Local(const LoopbackServer& s, const std::string& path = "/") {
        return "http://127.0.0.1:" + std::to_string(s.Port()) + path;
    }
};
PythonHttpServer* HttpClientTest::server_ = nullptr;
TempDir* HttpClientTest::folder_ = nullptr;

TEST_F(HttpClientTest, ObserverSeesEveryChunkOfTenKilobytes) {
    net::HttpClient http;
    std::vector<Call> calls;
    http.SetProgress([&](uint64_t n, uint64_t len, uint32_t code, const std::string& text) {
        calls.emplace_back(n, len, code, text);
        return true;
    });
    ASSERT_TRUE(http.Open("GET", server_->Url("/25000.bin")));
    ASSERT_TRUE(http.Send());
    const std::vector<Call> expected = {
        {10240, 25000, 200, "OK"}, {20480, 25000, 200, "OK"}, {25000, 25000, 200, "OK"}};
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(http.GetBody().size(), 25000u);
    EXPECT_FALSE(http.Open("GET", server_->Url("/25000.bin")));  // a client is used once
}

TEST_F(HttpClientTest, ObserverCanStopAndKeepsTheBytesSoFar) {
    net::HttpClient http;
    int calls = 0;
    http.SetProgress([&](uint64_t, uint64_t, uint32_t, const std::string&) {
        ++calls;
        return false;
    });
    ASSERT_TRUE(http.Open("GET", server_->Url("/big.bin")));
    EXPECT_TRUE(http.Send());
    EXPECT_EQ(calls, 1);
    EXPECT_LE(http.GetBody().size(), 10240u);
    EXPECT_GT(http.GetBody().size(), 0u);
}

TEST_F(HttpClientTest, ResponsesWithoutLengthOrStatusTextAndErrorStatuses) {
    struct Case {
        const char* name;
        std::string response;
        uint32_t status;
        std::string text;
        std::string body;
        uint64_t length;
    };
    const Case cases[] = {
        {"no content length", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nabcdef", 200, "OK", "abcdef", 0},
        {"empty status text", "HTTP/1.1 200 \r\nContent-Length: 2\r\n\r\nhi", 200, "", "hi", 2},
        {"error status with body", "HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\nnope", 404,
         "Not Found", "nope", 4},
        {"body cut short", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nshort", 200, "OK", "short", 100},
    };
    for (const Case& c : cases) {
        auto server = Scripted(c.response);
        net::HttpClient http;
        std::vector<Call> calls;
        http.SetProgress([&](uint64_t n, uint64_t len, uint32_t code, const std::string& text) {
            calls.emplace_back(n, len, code, text);
            return true;
        });
        ASSERT_TRUE(http.Open("GET", Local(*server)));
        EXPECT_TRUE(http.Send()) << c.name;
        EXPECT_EQ(http.StatusCode(), c.status) << c.name;
        EXPECT_EQ(http.StatusText(), c.text) << c.name;
        EXPECT_EQ(http.GetBodyText(), c.body) << c.name;
        ASSERT_EQ(calls.size(), 1u) << c.name;
        EXPECT_EQ(std::get<1>(calls[0]), c.length) << c.name;
    }
    net::HttpClient refused;
    ASSERT_TRUE(refused.Open("GET", "http://127.0.0.1:" + std::to_string(testing_support::FreePort()) + "/"));
    EXPECT_FALSE(refused.Send());
    net::HttpClient notHttp;
    EXPECT_FALSE(notHttp.Open("GET", "file:///etc/passwd"));
    EXPECT_FALSE(notHttp.Send());
}

TEST_F(HttpClientTest, HeadersAndRedirects) {
    net::HttpClient http;
    EXPECT_EQ(http.HeaderBlock(), std::string("Accept: */*\nUser-Agent: ") + net::HttpClient::kUserAgent);
    std::string request;
    auto server = Scripted("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", &request);
    ASSERT_TRUE(http.Open("POST", Local(*server, "/form?q=1")));
    ASSERT_TRUE(http.Send("a=1"));
    EXPECT_EQ(request.find("POST /form?q=1 HTTP/1.1\r\n"), 0u);
    EXPECT_NE(request.find("Content-Type: application/x-www-form-urlencoded\r\n"), std::string::npos);
    EXPECT_NE(request.find(std::string("User-Agent: ") + net::HttpClient::kUserAgent + "\r\n"),
              std::string::npos);

    auto redirect = Scripted("HTTP/1.1 302 Found\r\nLocation: " + server_->Url("/25000.bin") +
                             "\r\nContent-Length: 0\r\n\r\n");
    net::HttpClient followed;
    ASSERT_TRUE(followed.Open("GET", Local(*redirect)));
    ASSERT_TRUE(followed.Send());
    EXPECT_EQ(followed.StatusCode(), 200u);
    EXPECT_EQ(followed.GetBody().size(), 25000u);
}

TEST_F(HttpClientTest, DownloadToFile) {
    TempDir dir;
    std::vector<int> percents;
    auto result = net::DownloadToFile(server_->Url("/big.bin"), dir / "big.bin", [&](int p) {
        percents.push_back(p);
        return true;
    });
    EXPECT_EQ(result, net::DownloadResult::kOk);
    EXPECT_EQ(fs::file_size(dir / "big.bin"), 3u << 20);
    ASSERT_FALSE(percents.empty());
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents.back(), 100);

    struct Case {
        const char* name;
        std::string url;
        net::DownloadResult expected;
        bool cancel;
    };
    auto truncated = Scripted("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(5000, 'a'));
    auto nocontent = Scripted("HTTP/1.1 204 No Content\r\n\r\n");
    const Case cases[] = {
        {"404", server_->Url("/missing.zip"), net::DownloadResult::kHttpStatus, false},
        {"cancelled", server_->Url("/big.bin"), net::DownloadResult::kCancelled, true},
        {"truncated", Local(*truncated), net::DownloadResult::kTransferFailed, false},
        {"refused", "http://127.0.0.1:" + std::to_string(testing_support::FreePort()) + "/x",
         net::DownloadResult::kTransferFailed, false},
    };
    for (const Case& c : cases) {
        testing_support::WriteFile(dir / "target.zip", "");
        fs::remove(dir / "target.zip");
        auto r = net::DownloadToFile(c.url, dir / "target.zip", [&](int p) { return !(c.cancel && p > 0); });
        EXPECT_EQ(r, c.expected) << c.name;
        EXPECT_FALSE(fs::exists(dir / "target.zip")) << c.name;
        EXPECT_FALSE(fs::exists(dir / "target.zip.part")) << c.name;
    }
    EXPECT_EQ(net::DownloadToFile(server_->Url("/big.bin"), dir / "no/such/folder/x", nullptr),
              net::DownloadResult::kFileError);
    (void)nocontent;
}

}  // namespace
