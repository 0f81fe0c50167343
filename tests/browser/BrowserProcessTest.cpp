#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "BrowserTestSupport.h"
#include "browser/BrowserProcess.h"
#include "browser/TaskThread.h"
#include "util/Folders.h"

using namespace std::chrono_literals;
using testing_support::TempDir;

namespace {

bool Alive(int pid) {
    return pid > 0 && kill(pid, 0) == 0 &&
           testing_support::ReadFile("/proc/" + std::to_string(pid) + "/cmdline") != "";
}

// How many threads of this process carry the name.
int ThreadsNamed(const std::string& name) {
    int count = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
        count += testing_support::ReadFile(task.path() / "comm") == name + "\n" ? 1 : 0;
    return count;
}

template <typename Pred>
bool Eventually(Pred p, std::chrono::milliseconds limit = 5000ms) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        if (p())
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return p();
}

TEST(TaskThreadTest, RunsTasksInOrderAndDropsQueuedOnesOnStop) {
    browser::TaskThread thread("tasktest", 10);
    EXPECT_EQ(ThreadsNamed("tasktest"), 1);  // the system shows its label
    std::atomic<int> step{0};
    std::atomic<bool> release{false};
    thread.Post([&] {
        step = 1;
        while (!release) std::this_thread::sleep_for(1ms);
    });
    thread.Post([&] { step = 2; });
    ASSERT_TRUE(Eventually([&] { return step == 1; }));
    release = true;
    EXPECT_TRUE(Eventually([&] { return step == 2; }, 1000ms));

    std::atomic<bool> blocker{false}, ran{false};
    thread.Post([&] {
        while (!blocker) std::this_thread::sleep_for(1ms);
    });
    thread.Post([&] { ran = true; });
    std::thread stopper([&] { thread.Stop(); });
    std::this_thread::sleep_for(50ms);
    blocker = true;
    stopper.join();
    EXPECT_FALSE(ran);
    EXPECT_EQ(ThreadsNamed("tasktest"), 0);

    browser::TaskThread idle("idle", 10);
    const auto start = std::chrono::steady_clock::now();
    idle.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST(BrowserProcessTest, WatchdogRestartsAndReleaseEndsTheGroup) {
    TempDir dir;
    const std::string marker = dir / "marker";
    std::vector<int> pids;
    {
        browser::BrowserProcess process;
        // A parent with a child of its own in the same group, as Chromium has its renderers.
        const int pid =
            process.Launch({"/bin/sh", "-c", "sleep 1000 & sleep 1000; : " + marker}, true, true, true, "");
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(
            Eventually([&] { return testing_support::ProcessesMentioning("sleep 1000").size() >= 1; }));
        kill(pid, SIGKILL);
        ASSERT_TRUE(
            Eventually([&] { return process.FirstProcessId() != pid && process.FirstProcessId() > 0; }));
        pids = {pid, process.FirstProcessId()};
        EXPECT_TRUE(Alive(pids[1]));
    }
    EXPECT_FALSE(Alive(pids[1]));
    // Killed with its group; the child may take a moment to finish dying.
    EXPECT_TRUE(Eventually([&] { return testing_support::ProcessesMentioning(marker).empty(); }, 3000ms));
}

TEST(BrowserProcessTest, WorkingDirectoryAndFailedLaunch) {
    TempDir dir;
    browser::BrowserProcess process;
    auto a = browser::BrowserProcess::Start({"/bin/sh", "-c", "pwd > " + (dir / "a")}, true, false, true,
                                            dir.Path());
    auto b = browser::BrowserProcess::Start({"/bin/sh", "-c", "pwd > " + (dir / "b")}, true, false, true, "");
    EXPECT_GT(a.processId, 0);
    EXPECT_TRUE(Eventually([&] { return testing_support::ReadFile(dir / "a") == dir.Path() + "\n"; }));
    EXPECT_TRUE(
        Eventually([&] { return testing_support::ReadFile(dir / "b") == util::GetModuleFolder() + "\n"; }));
    EXPECT_EQ(process.Launch({"/no/such/browser"}, true, true, true, ""), 0);
    EXPECT_EQ(browser::BrowserProcess::Start({"/bin/true"}, true, false, true, "/no/such/folder").processId,
              0);
    waitpid(a.processId, nullptr, 0);
    waitpid(b.processId, nullptr, 0);
}

TEST(BrowserArgumentsTest, APipeAndTheGivenProfileNoPort) {
    const auto args = browser::BuildArguments("/scratch/profile");
    auto has = [&](const std::string& a) { return std::find(args.begin(), args.end(), a) != args.end(); };
    EXPECT_TRUE(has("--headless"));
    EXPECT_TRUE(has("--disable-background-networking"));
    EXPECT_TRUE(has("--disable-breakpad"));
    EXPECT_TRUE(has("--disable-crash-reporter"));
    EXPECT_TRUE(has("--force-webrtc-ip-handling-policy"));
    EXPECT_TRUE(has("--remote-debugging-pipe"));
    EXPECT_TRUE(has("--user-data-dir=/scratch/profile"));
    for (const std::string& a : args) EXPECT_EQ(a.find("--remote-debugging-port"), std::string::npos) << a;
    EXPECT_EQ(args.back(), "about:blank");
    EXPECT_EQ(has("--no-sandbox"), geteuid() == 0);
}

}  // namespace
