#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "BrowserTestSupport.h"
#include "browser/Browser.h"
#include "browser/BrowserManager.h"
#include "browser/BrowserProvisioner.h"
#include "settings/SettingsFile.h"
#include "support/LoopbackServer.h"
#include "util/Folders.h"
#include "util/IniFile.h"

namespace fs = std::filesystem;
using testing_support::LoopbackServer;
using testing_support::TempDir;

namespace {

class RecordingObserver : public browser::DownloadObserver {
  public:
    explicit RecordingObserver(int cancelAt = -1) : cancelAt_(cancelAt) {}
    void Begin(const std::string& m) override {
        std::lock_guard lock(mutex);
        message = m;
        ++begins;
    }
    bool Progress(int percent) override {
        std::lock_guard lock(mutex);
        percents.push_back(percent);
        return cancelAt_ < 0 || percent < cancelAt_;
    }
    void End() override {
        std::lock_guard lock(mutex);
        ++ends;
    }
    std::mutex mutex;
    std::string message;
    std::vector<int> percents;
    int begins = 0, ends = 0;

  private:
    int cancelAt_;
};

// A snapshot store on loopback that serves one archive for one revision and counts requests.
class SnapshotStore {
  public:
    SnapshotStore(const std::string& archive, int revision)
        : archive_(testing_support::ReadFile(archive)),
          path_("/chromium-browser-snapshots/Linux_x64/" + std::to_string(revision) + "/chrome-linux.zip"),
          server_([this](int fd) {
              const std::string request = LoopbackServer::ReadUntil(fd, "\r\n\r\n");
              ++requests;
              if (request.find("GET " + path_ + " ") == 0) {
                  LoopbackServer::SendAll(
                      fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(archive_.size()) +
                              "\r\nConnection: close\r\n\r\n");
                  // In pieces, so that the observer sees the percentage rise.
                  for (size_t off = 0; off < archive_.size(); off += 65536) {
                      if (!LoopbackServer::SendAll(fd, archive_.substr(off, 65536)))
                          return;
                      std::this_thread::sleep_for(std::chrono::milliseconds(2));
                  }
              } else {
                  LoopbackServer::SendAll(
                      fd, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
              }
          }) {}
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(server_.Port()); }
    std::atomic<int> requests{0};

  private:
    std::string archive_;
    std::string path_;
    LoopbackServer server_;
};

class BrowserManagerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        archiveDir_ = new TempDir();
        auto made = testing_support::RunCommand(
            "python3 " +
            testing_support::ShellQuote(testing_support::SourceDir() + "/tests/browser/make_snapshot.py") +
            " " + testing_support::ShellQuote(*archiveDir_ / "snapshot.zip"));
        ASSERT_EQ(made.exitCode, 0) << made.output;
    }
    static void TearDownTestSuite() { delete archiveDir_; }
    static std::string Archive() { return *archiveDir_ / "snapshot.zip"; }

    void SetUp() override { setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1); }
    void TearDown() override {
        unsetenv("XDG_CONFIG_HOME");
        EXPECT_TRUE(home.NoLeftovers());
    }
    // A browser from the manager, or null with the reason reported.
    std::shared_ptr<browser::Browser> Start(browser::BrowserManager& manager) {
        std::shared_ptr<browser::Browser> started;
        util::Status status = manager.StartBrowser(Browser(), {}, started);
        if (!status)
            reason = status.Reason();
        return started;
    }
    void Settings(const std::string& store, int revision) {
        util::IniFile ini(util::GetSettingsPath(), "browser");
        ini.SetString("store", store);
        ini.SetInt("revision", revision);
        ini.SetInt("search_path", 0);
    }
    // The browser settings as the front end reads them from the settings file.
    static browser::ProvisionerSettings Browser() {
        return settings::ReadBrowserSettings(util::GetSettingsPath());
    }
    std::string Executable() const { return home.Dir() / "epub2pdf/chrome-linux/chrome"; }

    testing_support::ScratchDataHome home;
    TempDir config;
    std::string reason;  // of the last start that failed

  private:
    static TempDir* archiveDir_;
};
TempDir* BrowserManagerTest::archiveDir_ = nullptr;

TEST_F(BrowserManagerTest, DownloadsUnpacksAndPrintsWithTheSnapshot) {
    SnapshotStore store(Archive(), 777);
    Settings(store.Url(), 777);
    auto observer = std::make_shared<RecordingObserver>();
    browser::BrowserManager manager(observer);
    auto started = Start(manager);
    ASSERT_TRUE(started) << reason;
    EXPECT_EQ(store.requests, 1);
    EXPECT_EQ(browser::BrowserProvisioner::Locate(home.Dir() / "epub2pdf"), Executable());
    EXPECT_TRUE(fs::exists(home.Dir() / "epub2pdf/chrome-linux.zip"));  // the archive stays
    EXPECT_EQ(observer->begins, 1);
    EXPECT_EQ(observer->ends, 1);
    EXPECT_FALSE(observer->message.empty());
    EXPECT_GE(observer->percents.size(), 3u);
    EXPECT_TRUE(std::is_sorted(observer->percents.begin(), observer->percents.end()));
    EXPECT_EQ(observer->percents.back(), 100);

    testing_support::WriteFile(home.Dir() / "page.xhtml",
                               "<html><body><p>from the snapshot</p></body></html>");
    std::unique_ptr<browser::Page> page;
    browser::PageOptions options;
    options.bookFolder = home.Dir().Path();
    ASSERT_TRUE(started->NewPage(options, page));
    ASSERT_TRUE(page->Navigate(home.Dir() / "page.xhtml"));
    std::string pdf;
    ASSERT_TRUE(page->PrintToPdf({}, pdf));
    testing_support::WriteFile(home.Dir() / "page.pdf", pdf);
    EXPECT_NE(testing_support::PdfText(home.Dir() / "page.pdf").find("from the snapshot"), std::string::npos);
    page.reset();
    started.reset();

    // Present now: no further request, from this manager or a new one.
    EXPECT_TRUE(Start(manager)) << reason;
    browser::BrowserManager another;
    EXPECT_TRUE(Start(another)) << reason;
    EXPECT_EQ(store.requests, 1);
}

TEST_F(BrowserManagerTest, MissingOrEmptyExecutableAndFailedDownloads) {
    SnapshotStore store(Archive(), 777);
    struct Case {
        const char* name;
        int revision;
        int cancelAt;
    };
    const Case cases[] = {{"404", 778, -1}, {"cancelled", 777, 1}};
    browser::BrowserManager manager;
    for (const Case& c : cases) {
        Settings(store.Url(), c.revision);
        testing_support::WriteFile(Executable(), "");  // an empty executable counts as missing
        EXPECT_EQ(browser::BrowserProvisioner::Locate(home.Dir() / "epub2pdf"), "") << c.name;
        manager.SetDownloadObserver(std::make_shared<RecordingObserver>(c.cancelAt));
        EXPECT_EQ(Start(manager), nullptr) << c.name;
        EXPECT_EQ(reason, "no browser was found, and none could be downloaded") << c.name;
        EXPECT_EQ(fs::file_size(Executable()), 0u) << c.name;
        EXPECT_FALSE(fs::exists(home.Dir() / "epub2pdf/chrome-linux.zip")) << c.name;
    }
    // An explicit browser path in the settings wins, and nothing is fetched.
    const int before = store.requests;
    util::IniFile(util::GetSettingsPath(), "browser").SetString("path", testing_support::ChromiumPath());
    browser::BrowserProvisioner provisioner(Browser());
    EXPECT_EQ(provisioner.LocateOrDownload(), testing_support::ChromiumPath());
    EXPECT_EQ(store.requests, before);
    // A browser address starts and fetches nothing: one that is not ws://, or where nothing answers,
    // gives no browser, and says why.
    const std::pair<std::string, std::string> addresses[] = {
        {"http://127.0.0.1:1/devtools/browser/x",
         "the browser address http://127.0.0.1:1/devtools/browser/x "
         "is not a ws:// address"},
        {"ws://127.0.0.1:1/devtools/browser/x", "no browser answers at ws://127.0.0.1:1/devtools/browser/x"}};
    for (const auto& [address, why] : addresses) {
        util::IniFile(util::GetSettingsPath(), "browser").SetString("address", address);
        EXPECT_EQ(Browser().address, address);
        EXPECT_EQ(Start(manager), nullptr) << address;
        EXPECT_EQ(reason, why);
    }
    EXPECT_EQ(store.requests, before);
    EXPECT_EQ(provisioner.DownloadUrl(1069273),
              store.Url() + "/chromium-browser-snapshots/Linux_x64/1069273/chrome-linux.zip");
    // Without settings: the public store and the fixed revision.
    browser::BrowserProvisioner defaults(browser::ProvisionerSettings{});
    EXPECT_NE(defaults.DownloadUrl(browser::BrowserProvisioner::kDefaultRevision)
                  .find("/chromium-browser-snapshots/Linux_x64/1069273/chrome-linux.zip"),
              std::string::npos);
}

TEST_F(BrowserManagerTest, TwoJobsWithoutBrowserDownloadOnce) {
    SnapshotStore store(Archive(), 777);
    Settings(store.Url(), 777);
    browser::BrowserManager manager;
    std::shared_ptr<browser::Browser> a, b;
    std::thread first([&] { a = Start(manager); });
    std::thread second([&] { b = Start(manager); });
    first.join();
    second.join();
    ASSERT_TRUE(a && b) << reason;
    EXPECT_NE(a->ProcessId(), b->ProcessId());
    EXPECT_EQ(store.requests, 1);
}

// A job's stop alone cancels the download it waits for (not only the run's cancel of provisioning):
// nothing is unpacked, and the job gives up at once.
TEST_F(BrowserManagerTest, AStopCancelsTheDownload) {
    SnapshotStore store(Archive(), 777);
    Settings(store.Url(), 777);
    std::stop_source stop;
    struct Stopper : RecordingObserver {
        explicit Stopper(std::stop_source& s) : stop(s) {}
        bool Progress(int percent) override {
            stop.request_stop();  // on the download thread, as a stop from elsewhere would come
            return RecordingObserver::Progress(percent);
        }
        std::stop_source& stop;
    };
    browser::BrowserManager manager(std::make_shared<Stopper>(stop));
    std::string path;
    EXPECT_EQ(manager.LocateBrowser(Browser(), stop.get_token(), path).Reason(), "cancelled");
    EXPECT_EQ(browser::BrowserProvisioner::Locate(home.Dir() / "epub2pdf"), "");
}

// Only finding the executable is one job's at a time: the browsers themselves start side by side. Each
// start here waits, inside the executable, until the other has begun too; started one after another,
// the first would wait in vain.
TEST_F(BrowserManagerTest, BrowsersStartSideBySide) {
    const std::string log = config / "starts.log";
    const std::string wrapper = config / "chromium-wrapper";
    testing_support::WriteFile(wrapper, "#!/bin/sh\necho started >> " + testing_support::ShellQuote(log) +
                                            "\nfor i in $(seq 200); do\n"
                                            "  [ \"$(wc -l < " +
                                            testing_support::ShellQuote(log) + ")\" -ge 2 ] && exec " +
                                            testing_support::ChromiumPath() +
                                            " \"$@\"\n  sleep 0.05\ndone\nexit 1\n");
    fs::permissions(wrapper, fs::perms::owner_all);
    util::IniFile(util::GetSettingsPath(), "browser").SetString("path", wrapper);
    browser::BrowserManager manager;
    std::shared_ptr<browser::Browser> a, b;
    std::thread first([&] { a = Start(manager); });
    std::thread second([&] { b = Start(manager); });
    first.join();
    second.join();
    EXPECT_TRUE(a && b) << reason;
}

// No more browsers start at once than the manager is given (by default one per core): here two
// browsers that never answer hold both starts, and a third waits for one of them; a stop ends all three.
TEST_F(BrowserManagerTest, AtMostAsManyStartsAtOnceAsAllowed) {
    const std::string log = config / "starts.log";
    const std::string silent = config / "silent-browser";
    testing_support::WriteFile(
        silent, "#!/bin/sh\necho started >> " + testing_support::ShellQuote(log) + "\nexec sleep 1000\n");
    fs::permissions(silent, fs::perms::owner_all);
    util::IniFile(util::GetSettingsPath(), "browser").SetString("path", silent);
    auto starts = [&log] {
        const std::string text = testing_support::ReadFile(log);
        return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    };
    browser::BrowserManager manager(nullptr, 2);
    std::stop_source stop;
    std::vector<std::string> reasons(3);
    std::vector<std::thread> jobs;
    for (int i = 0; i < 3; ++i) {
        jobs.emplace_back([&, i] {
            std::shared_ptr<browser::Browser> started;
            reasons[i] = manager.StartBrowser(Browser(), stop.get_token(), started).Reason();
        });
    }
    for (int i = 0; i < 500 && starts() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(starts(), 2);
    stop.request_stop();
    for (std::thread& job : jobs) job.join();
    EXPECT_EQ(reasons, std::vector<std::string>(3, "cancelled"));
}

// A stop ends a start under way at once, here a browser that never answers on its pipe, and leaves
// nothing running; a stop that came first starts nothing.
TEST_F(BrowserManagerTest, AStopEndsTheStart) {
    const std::string silent = config / "silent-browser";
    testing_support::WriteFile(silent, "#!/bin/sh\nexec sleep 1000\n");
    fs::permissions(silent, fs::perms::owner_all);
    util::IniFile(util::GetSettingsPath(), "browser").SetString("path", silent);
    browser::BrowserManager manager;
    std::stop_source stop;
    std::shared_ptr<browser::Browser> started;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop.request_stop();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(manager.StartBrowser(Browser(), stop.get_token(), started).Reason(), "cancelled");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    stopper.join();
    EXPECT_EQ(started, nullptr);
    EXPECT_EQ(manager.StartBrowser(Browser(), stop.get_token(), started).Reason(), "cancelled");
}

TEST_F(BrowserManagerTest, SystemChromiumOnPath) {
    util::IniFile(util::GetSettingsPath(), "browser").SetString("store", "http://127.0.0.1:1");
    EXPECT_EQ(browser::FindBrowserOnPath(), "/usr/bin/chromium");
    browser::BrowserManager manager;
    EXPECT_TRUE(Start(manager)) << reason;
}

}  // namespace
