#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <nlohmann/json.hpp>
#include <thread>

#include "net/HttpClient.h"
#include "net/WebSocketClient.h"
#include "support/LoopbackServer.h"
#include "support/TestSupport.h"

using testing_support::LoopbackServer;
using WS = net::WebSocketClient;

namespace {

const std::string kAccept =
    "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
    "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n";

// A server frame (never masked).
std::string Frame(uint8_t first, const std::string& payload) {
    std::string f(1, static_cast<char>(first));
    if (payload.size() < 126) {
        f += static_cast<char>(payload.size());
    } else {
        f += static_cast<char>(126);
        f += static_cast<char>(payload.size() >> 8);
        f += static_cast<char>(payload.size() & 0xff);
    }
    return f + payload;
}

// Decodes one client frame from the socket: opcode, payload (unmasked), whether the mask was set and
// the key used.
struct ClientFrame {
    int opcode = -1;
    std::string payload;
    bool masked = false;
    std::string key;
    int lengthForm = 0;  // 7, 16 or 64
};
ClientFrame ReadFrame(int fd) {
    ClientFrame f;
    std::string h = LoopbackServer::ReadBytes(fd, 2);
    if (h.size() < 2)
        return f;
    f.opcode = h[0] & 0x0f;
    f.masked = (h[1] & 0x80) != 0;
    uint64_t len = h[1] & 0x7f;
    f.lengthForm = 7;
    if (len == 126) {
        std::string e = LoopbackServer::ReadBytes(fd, 2);
        len = (uint8_t(e[0]) << 8) | uint8_t(e[1]);
        f.lengthForm = 16;
    } else if (len == 127) {
        std::string e = LoopbackServer::ReadBytes(fd, 8);
        len = 0;
        for (char c : e) len = (len << 8) | uint8_t(c);
        f.lengthForm = 64;
    }
    if (f.masked)
        f.key = LoopbackServer::ReadBytes(fd, 4);
    f.payload = LoopbackServer::ReadBytes(fd, len);
    for (size_t i = 0; f.masked && i < f.payload.size(); ++i) f.payload[i] ^= f.key[i & 3];
    return f;
}

std::string Url(const LoopbackServer& server, const std::string& path = "devtools/page/X") {
    return "ws://127.0.0.1:" + std::to_string(server.Port()) + "/" + path;
}

// Polls and dispatches until predicate holds or a second passes.
template <typename Pred>
std::vector<std::string> PumpUntil(WS& ws, Pred done) {
    std::vector<std::string> messages;
    for (int i = 0; i < 200 && !done(messages); ++i) {
        ws.Poll(5);
        ws.Dispatch([&](const std::string& m) { messages.push_back(m); });
    }
    return messages;
}

TEST(WebSocketHandshakeTest, RequestLinesForPathAndPort) {
    std::promise<std::string> request;
    LoopbackServer server([&](int fd) {
        request.set_value(LoopbackServer::ReadUntil(fd, "\r\n\r\n"));
        LoopbackServer::SendAll(fd, kAccept);
        LoopbackServer::ReadBytes(fd, 1);
    });
    auto ws = WS::FromUrl(Url(server), "");
    ASSERT_TRUE(ws);
    EXPECT_EQ(ws->GetReadyState(), WS::ReadyState::Open);
    EXPECT_EQ(
        request.get_future().get(),
        "GET /devtools/page/X HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) +
            "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
            "Sec-WebSocket-Version: 13\r\n\r\n");
}

TEST(WebSocketHandshakeTest, BareTrailingSlashOnPort80) {
    std::promise<std::string> request;
    LoopbackServer server(
        [&](int fd) {
            request.set_value(LoopbackServer::ReadUntil(fd, "\r\n\r\n"));
            LoopbackServer::SendAll(fd, kAccept);
        },
        80);
    if (!server.Listening())
        GTEST_SKIP() << "port 80 is not available here";
    auto ws = WS::FromUrl("ws://127.0.0.1/", "http://origin.test");
    ASSERT_TRUE(ws);
    const std::string text = request.get_future().get();
    EXPECT_EQ(text.substr(0, text.find("Upgrade")), "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    EXPECT_NE(text.find("Origin: http://origin.test\r\n"), std::string::npos);
}

TEST(WebSocketHandshakeTest, FailuresAndTheirMessages) {
    struct Case {
        const char* name;
        std::string reply;  // what the server answers
        std::string urlTail;
        std::string message;
    };
    const std::string longPath(511 - std::string("ws://127.0.0.1:65535/").size(), 'p');
    const Case cases[] = {
        {"bad status", "HTTP/1.1 200 OK\r\n\r\n", "x", "ERROR: Got bad status connecting to "},
        {"status line without end", std::string(1100, 'H'), "x",
         "ERROR: Got invalid status line connecting to: "},
        {"closed during handshake", "", "x", ""},
        {"url of 512 bytes", kAccept, longPath + "pp", "ERROR: url size limit exceeded: "},
    };
    for (const Case& c : cases) {
        LoopbackServer server([&](int fd) {
            LoopbackServer::ReadUntil(fd, "\r\n\r\n");
            LoopbackServer::SendAll(fd, c.reply);
        });
        std::string url = "ws://127.0.0.1:" + std::to_string(server.Port()) + "/" + c.urlTail;
        if (c.name == std::string("url of 512 bytes"))
            url.resize(512, 'p');
        testing::internal::CaptureStderr();
        auto ws = WS::FromUrl(url, "");
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(ws, nullptr) << c.name;
        if (c.message.empty()) {
            EXPECT_EQ(err, "") << c.name;
        } else {
            EXPECT_EQ(err.find(c.message), 0u) << c.name << ": " << err;
        }
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(WS::FromUrl("http://127.0.0.1/", ""), nullptr);
    EXPECT_EQ(WS::FromUrl("ws://127.0.0.1:" + std::to_string(testing_support::FreePort()) + "/", ""),
              nullptr);
    EXPECT_EQ(WS::FromUrl("ws://x", std::string(200, 'o')), nullptr);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("ERROR: Could not parse WebSocket url: http://127.0.0.1/\n"), std::string::npos);
    EXPECT_NE(err.find("Unable to connect to 127.0.0.1:"), std::string::npos);
    EXPECT_NE(err.find("ERROR: origin size limit exceeded: "), std::string::npos);

    // A peer that accepts and then says nothing does not hold the caller forever.
    LoopbackServer silent([&](int fd) { LoopbackServer::ReadBytes(fd, 100000); });
    testing::internal::CaptureStderr();
    EXPECT_EQ(WS::FromUrl(Url(silent), "", 300), nullptr);
    testing::internal::GetCapturedStderr();

    // A url of exactly 511 bytes is accepted.
    LoopbackServer server([&](int fd) {
        LoopbackServer::ReadUntil(fd, "\r\n\r\n");
        LoopbackServer::SendAll(fd, kAccept);
    });
    std::string url = "ws://127.0.0.1:" + std::to_string(server.Port()) + "/";
    url.resize(511, 'p');
    EXPECT_TRUE(WS::FromUrl(url, ""));
}

TEST(WebSocketFramingTest, OutgoingLengthsAreFramedWithMask) {
    std::promise<std::vector<ClientFrame>> frames;
    LoopbackServer server([&](int fd) {
        LoopbackServer::ReadUntil(fd, "\r\n\r\n");
        LoopbackServer::SendAll(fd, kAccept);
        std::vector<ClientFrame> got;
        for (int i = 0; i < 4; ++i) got.push_back(ReadFrame(fd));
        frames.set_value(got);
    });
    auto ws = WS::FromUrl(Url(server), "");
    ASSERT_TRUE(ws);
    const std::string m125(125, 'a'), m126(126, 'b'), m65536(65536, 'c');
    ws->Send(m125);
    ws->Send(m126);
    ws->SendBinary(m65536);
    ws->SendPing();
    auto future = frames.get_future();
    for (int i = 0; i < 4000 && future.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready;
         ++i)
        ws->Poll(5);
    ASSERT_EQ(future.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    auto got = future.get();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].lengthForm, 7);
    EXPECT_EQ(got[1].lengthForm, 16);
    EXPECT_EQ(got[2].lengthForm, 64);
    EXPECT_EQ(got[0].payload, m125);
    EXPECT_EQ(got[1].payload, m126);
    EXPECT_EQ(got[2].payload, m65536);
    EXPECT_EQ(got[0].opcode, 1);
    EXPECT_EQ(got[2].opcode, 2);
    EXPECT_EQ(got[3].opcode, 9);
    for (const auto& f : got) {
        EXPECT_TRUE(f.masked);
        EXPECT_EQ(f.key, std::string(reinterpret_cast<const char*>(WS::kMaskKey), 4));
    }
}

TEST(WebSocketFramingTest, IncomingFragmentsPingsAndHalfFrames) {
    std::promise<ClientFrame> pong;
    std::promise<void> halfSeen;
    LoopbackServer server([&](int fd) {
        LoopbackServer::ReadUntil(fd, "\r\n\r\n");
        LoopbackServer::SendAll(fd, kAccept);
        LoopbackServer::SendAll(
            fd, Frame(0x01, "Hello, ") + Frame(0x80, "world"));  // text without FIN, continuation
        LoopbackServer::SendAll(fd, Frame(0x89, "abc"));         // ping
        pong.set_value(ReadFrame(fd));
        const std::string big = Frame(0x81, std::string(300, 'z'));
        LoopbackServer::SendAll(fd, big.substr(0, 150));
        halfSeen.get_future().wait_for(std::chrono::seconds(30));
        LoopbackServer::SendAll(fd, big.substr(150));
        LoopbackServer::ReadBytes(fd, 1);
    });
    auto ws = WS::FromUrl(Url(server), "");
    ASSERT_TRUE(ws);
    auto messages = PumpUntil(*ws, [](auto& m) { return !m.empty(); });
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Hello, world");
    // The ping may still wait in the buffer: keep dispatching until the pong went out.
    auto pongFuture = pong.get_future();
    for (int i = 0;
         i < 2000 && pongFuture.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready; ++i) {
        ws->Poll(5);
        ws->Dispatch([&](const std::string& m) { messages.push_back(m); });
    }
    ASSERT_EQ(pongFuture.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    ClientFrame p = pongFuture.get();
    EXPECT_EQ(p.opcode, 10);
    EXPECT_TRUE(p.masked);
    EXPECT_EQ(p.payload, "abc");
    // Half a frame: nothing is delivered until the rest arrives.
    for (int i = 0; i < 20; ++i) {
        ws->Poll(5);
        ws->Dispatch([&](const std::string& m) { messages.push_back(m); });
    }
    EXPECT_EQ(messages.size(), 1u);
    halfSeen.set_value();
    messages = PumpUntil(*ws, [](auto& m) { return !m.empty(); });
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], std::string(300, 'z'));
}

TEST(WebSocketFramingTest, InvalidLengthAndCloseEndTheConnection) {
    LoopbackServer server([&](int fd) {
        LoopbackServer::ReadUntil(fd, "\r\n\r\n");
        LoopbackServer::SendAll(fd, kAccept);
        LoopbackServer::SendAll(
            fd, std::string("\x81\x7f\x80\x00\x00\x00\x00\x00\x00\x01", 10) + Frame(0x81, "late"));
        ReadFrame(fd);
    });
    auto ws = WS::FromUrl(Url(server), "");
    ASSERT_TRUE(ws);
    testing::internal::CaptureStderr();
    std::vector<std::string> messages;
    for (int i = 0; i < 50 && ws->GetReadyState() == WS::ReadyState::Open; ++i) {
        ws->Poll(5);
        ws->Dispatch([&](const std::string& m) { messages.push_back(m); });
    }
    EXPECT_EQ(ws->GetReadyState(), WS::ReadyState::Closing);
    ws->Dispatch([&](const std::string& m) { messages.push_back(m); });
    EXPECT_TRUE(messages.empty());
    ws->Send("nothing goes out now");
    ws->Poll(0);
    ws->Poll(0);
    EXPECT_EQ(ws->GetReadyState(), WS::ReadyState::Closed);
    EXPECT_NE(
        testing::internal::GetCapturedStderr().find("ERROR: Frame has invalid frame length. Closing.\n"),
        std::string::npos);
}

TEST(WebSocketFramingTest, ClientCloseAndPeerClose) {
    std::promise<ClientFrame> closeFrame;
    LoopbackServer server([&](int fd) {
        LoopbackServer::ReadUntil(fd, "\r\n\r\n");
        LoopbackServer::SendAll(fd, kAccept);
        closeFrame.set_value(ReadFrame(fd));
    });
    auto ws = WS::FromUrl(Url(server), "");
    ASSERT_TRUE(ws);
    ws->Close();
    EXPECT_EQ(ws->GetReadyState(), WS::ReadyState::Closing);
    ws->Send("dropped");
    ws->Poll(0);
    EXPECT_EQ(ws->GetReadyState(), WS::ReadyState::Closed);
    ClientFrame f = closeFrame.get_future().get();
    EXPECT_EQ(f.opcode, 8);
    EXPECT_TRUE(f.payload.empty());
    ws->Poll(10);  // a closed client only sleeps
    EXPECT_EQ(ws->GetReadyState(), WS::ReadyState::Closed);

    LoopbackServer closing([&](int fd) {
        LoopbackServer::ReadUntil(fd, "\r\n\r\n");
        LoopbackServer::SendAll(fd, kAccept);
    });
    auto peer = WS::FromUrl(Url(closing), "");
    ASSERT_TRUE(peer);
    testing::internal::CaptureStderr();
    for (int i = 0; i < 100 && peer->GetReadyState() != WS::ReadyState::Closed; ++i) peer->Poll(5);
    EXPECT_EQ(peer->GetReadyState(), WS::ReadyState::Closed);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Connection closed!\n");
    peer->Send("after the end");  // must not raise SIGPIPE or crash
    peer->Poll(0);
}

// A real peer that nobody here wrote: Chromium's DevTools endpoint.
TEST(WebSocketChromiumTest, ExchangesARequestWithChromium) {
    testing_support::TempDir profile;
    const int port = testing_support::FreePort();
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        freopen("/dev/null", "w", stderr);
        const std::string portArg = "--remote-debugging-port=" + std::to_string(port);
        const std::string profileArg = "--user-data-dir=" + profile.Path();
        execlp("chromium", "chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               portArg.c_str(), profileArg.c_str(), "about:blank", static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string wsUrl;
    for (int i = 0; i < 100 && wsUrl.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        net::HttpClient http;
        if (!http.Open("GET", "http://127.0.0.1:" + std::to_string(port) + "/json/version") || !http.Send())
            continue;
        auto j = nlohmann::json::parse(http.GetBodyText(), nullptr, false);
        if (j.is_object() && j.contains("webSocketDebuggerUrl"))
            wsUrl = j["webSocketDebuggerUrl"];
    }
    ASSERT_FALSE(wsUrl.empty());
    auto ws = WS::FromUrl(wsUrl, "");
    ASSERT_TRUE(ws);
    ws->Send(R"({"id":1,"method":"Browser.getVersion","params":{}})");
    auto messages = PumpUntil(*ws, [](auto& m) { return !m.empty(); });
    killpg(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    ASSERT_FALSE(messages.empty());
    auto reply = nlohmann::json::parse(messages[0]);
    EXPECT_EQ(reply["id"], 1);
    EXPECT_NE(reply["result"]["product"].get<std::string>().find("Chrome"), std::string::npos);
}

}  // namespace
