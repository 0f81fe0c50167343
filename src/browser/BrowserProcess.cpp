#include "browser/BrowserProcess.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "util/Folders.h"
#include "util/Format.h"
#include "util/Scrambled.h"

extern char** environ;
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace browser {
namespace {

constexpr auto kTerminateGrace = std::chrono::milliseconds(1000);

// True once the process has exited; the exited process stays a zombie (its id and group id cannot be
// reused) until Reap.
bool HasExited(int pid) {
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return errno == ECHILD;
    return info.si_pid == pid;
}

void Reap(int pid) {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

// Ends a process and everything in its group, then reaps it.
void EndGroup(int pid) {
    ::kill(-pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kTerminateGrace;
    while (!HasExited(pid) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(-pid, SIGKILL);  // the group's leader is not reaped yet, so the group id is still ours
    Reap(pid);
}

}  // namespace

BrowserProcess::BrowserProcess() : watchdog_([this] { Watchdog(); }) {}

BrowserProcess::~BrowserProcess() {
    stopping_ = true;
    if (watchdog_.joinable())
        watchdog_.join();
    std::lock_guard lock(mutex_);
    for (const ProcessRecord& record : processes_) {
        if (record.processId > 0 && record.assignToJob)
            EndGroup(record.processId);
    }
    processes_.clear();
}

ProcessRecord BrowserProcess::Start(const std::vector<std::string>& arguments, bool assignToJob,
                                    bool restartOnExit, bool hidden, const std::string& workingDirectory,
                                    const std::vector<std::string>& environment, int channelFd) {
    ProcessRecord record{arguments, workingDirectory, assignToJob, restartOnExit && channelFd < 0,
                         hidden,    environment,      0,           channelFd};
    if (arguments.empty())
        return record;
    const std::string folder = workingDirectory.empty() ? util::GetProcessImageFolder(-1) : workingDirectory;

    // Everything the child needs is prepared before fork: after it only async-signal-safe calls run.
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const std::string& extra : environment)
            replaced = replaced || extra.substr(0, extra.find('=')) == name;
        if (!replaced)
            env.push_back(entry);
    }
    for (const std::string& extra : environment) env.push_back(extra);
    std::vector<char*> envp;
    envp.reserve(env.size() + 1);
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0)
        return record;
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        sigset_t none;
        sigemptyset(&none);
        // NOLINTNEXTLINE(concurrency-mt-unsafe): after fork the child has one thread
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0);
            if (hidden) {
                ::dup2(null, 1);
                ::dup2(null, 2);
            }
        }
        ::syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC);
        if (channelFd >= 0) {
            // Moved above 4 first, so that dup2 onto 3 cannot close it; the copies lose close-on-exec.
            const int channel = ::fcntl(channelFd, F_DUPFD_CLOEXEC, 10);
            if (channel < 0 || ::dup2(channel, 3) != 3 || ::dup2(channel, 4) != 4)
                ::_exit(127);
        }
        int error = 0;
        if (::chdir(folder.c_str()) == 0) {
            ::execve(argv[0], argv.data(), envp.data());
        }
        error = errno;
        ssize_t ignored = ::write(errorPipe[1], &error, sizeof error);
        (void)ignored;
        ::_exit(127);
    }
    ::close(errorPipe[1]);
    if (pid < 0) {
        ::close(errorPipe[0]);
        return record;
    }
    ::setpgid(pid, pid);
    int childError = 0;
    ssize_t n;
    while ((n = ::read(errorPipe[0], &childError, sizeof childError)) < 0 && errno == EINTR) {
    }
    ::close(errorPipe[0]);
    if (n > 0) {  // exec failed
        Reap(pid);
        return record;
    }
    record.processId = pid;
    return record;
}

int BrowserProcess::Launch(const std::vector<std::string>& arguments, bool assignToJob, bool restartOnExit,
                           bool hidden, const std::string& workingDirectory,
                           const std::vector<std::string>& environment, int channelFd) {
    ProcessRecord record =
        Start(arguments, assignToJob, restartOnExit, hidden, workingDirectory, environment, channelFd);
    std::lock_guard lock(mutex_);
    processes_.push_back(record);
    return record.processId;
}

int BrowserProcess::FirstProcessId() const {
    std::lock_guard lock(mutex_);
    return processes_.empty() ? 0 : processes_.front().processId;
}

void BrowserProcess::Watchdog() {
    auto sleepFor = [this](std::chrono::milliseconds total) {
        const auto until = std::chrono::steady_clock::now() + total;
        while (!stopping_ && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    };
    while (!stopping_) {
        sleepFor(std::chrono::milliseconds(kWatchdogIntervalMs));
        std::unique_lock lock(mutex_);
        for (ProcessRecord& record : processes_) {
            if (stopping_)
                break;
            if (record.processId > 0) {
                if (!HasExited(record.processId))
                    continue;
                // What the exited browser left in its group goes with it.
                ::kill(-record.processId, SIGKILL);
                Reap(record.processId);
                record.processId = 0;
            } else {
                lock.unlock();
                sleepFor(std::chrono::milliseconds(500));
                lock.lock();
                if (stopping_)
                    break;
            }
            if (record.restartOnExit) {
                record = Start(record.arguments, record.assignToJob, record.restartOnExit, record.hidden,
                               record.workingDirectory, record.environment);
            }
        }
    }
}

std::vector<std::string> BuildArguments(const std::string& profileFolder) {
    // The argument template: one argument a line, the profile folder (%s) filled in.
    static const std::string argumentTemplate = [] {
        const std::string pieces[] = {
            SCRAMBLED("--headless", 0x1001ull),
            SCRAMBLED("--disable-gpu", 0x1002ull),
            SCRAMBLED("--no-first-run", 0x1003ull),
            SCRAMBLED("--no-default-browser-check", 0x1004ull),
            SCRAMBLED("--disable-background-networking", 0x1005ull),
            SCRAMBLED("--disable-component-update", 0x1006ull),
            SCRAMBLED("--disable-sync", 0x1007ull),
            SCRAMBLED("--disable-extensions", 0x1008ull),
            SCRAMBLED("--mute-audio", 0x1009ull),
            SCRAMBLED("--hide-scrollbars", 0x100aull),
            SCRAMBLED("--password-store=basic", 0x100bull),
            // No crash reports: a crashing page is the book's business, not a report to send or keep.
            SCRAMBLED("--disable-breakpad", 0x1013ull),
            SCRAMBLED("--disable-crash-reporter", 0x1014ull),
            // WebRTC sends no UDP of its own (STUN included): the request policy never sees it.
            SCRAMBLED("--force-webrtc-ip-handling-policy", 0x1011ull),
            SCRAMBLED("--webrtc-ip-handling-policy=disable_non_proxied_udp", 0x1012ull),
            // No network at all, whatever asks for it (a page, a feature, the browser itself): no name
            // resolves, and every connection, loopback included, goes to a proxy whose name does not
            // resolve either. The request policy is the first line; this is the second.
            SCRAMBLED("--host-resolver-rules=MAP * ~NOTFOUND", 0x1015ull),
            SCRAMBLED("--proxy-server=http://proxy.invalid:9", 0x1016ull),
            SCRAMBLED("--proxy-bypass-list=<-loopback>", 0x1017ull),
            SCRAMBLED("--disable-quic", 0x1018ull),
            // A sandboxed frame stays in its page's process, under the page's policy and script. The
            // browser fetches nothing ahead (speculation rules, preconnects, prerendering) and offers no
            // payment, identity or media-router features, which make requests of their own.
            SCRAMBLED("--disable-features=IsolateSandboxedIframes,Prerender2,SpeculationRulesPrefetchFuture,"
                      "NetworkPrediction,PreconnectToSearch,WebPayments,PaymentHandler,FedCm,MediaRouter,"
                      "DialMediaRouteProvider,OptimizationHints,Translate,AutofillServerCommunication,"
                      "CertificateTransparencyComponentUpdater,InterestFeedContentSuggestions",
                      0x1019ull),
            SCRAMBLED("--disable-blink-features=FedCm,PaymentRequest", 0x101aull),
            SCRAMBLED("--disable-domain-reliability", 0x101bull),
            SCRAMBLED("--disable-client-side-phishing-detection", 0x101cull),
            SCRAMBLED("--disable-component-extensions-with-background-pages", 0x101dull),
            SCRAMBLED("--disable-default-apps", 0x101eull),
            SCRAMBLED("--safebrowsing-disable-auto-update", 0x101full),
            SCRAMBLED("--no-pings", 0x1020ull),
            SCRAMBLED("--metrics-recording-only", 0x1021ull),
            SCRAMBLED("--user-data-dir=%s", 0x100cull),
            SCRAMBLED("--remote-debugging-pipe", 0x1010ull),
            SCRAMBLED("about:blank", 0x100eull),
        };
        std::string joined;
        for (const std::string& piece : pieces) joined += piece + "\n";
        return joined;
    }();
    std::vector<std::string> arguments;
    std::istringstream lines(util::FormatString(argumentTemplate, profileFolder));
    for (std::string line; std::getline(lines, line);) arguments.push_back(line);
    // Chromium refuses to start as root with its sandbox on.
    if (::geteuid() == 0)
        arguments.insert(arguments.begin(), SCRAMBLED("--no-sandbox", 0x100full));
    return arguments;
}

}  // namespace browser
