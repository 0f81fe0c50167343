// The browser as a child process: started in a process group of its own with its standard streams
// detached and a death signal tied to the program, restarted by a watchdog when it exits, and ended
// with its whole group (TERM, a short grace, KILL) and reaped when the BrowserProcess is released.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace browser {

struct ProcessRecord {
    std::vector<std::string> arguments;  // arguments[0] is the executable
    std::string workingDirectory;
    bool assignToJob = true;               // end the process (and its group) with the BrowserProcess
    bool restartOnExit = false;            // the watchdog starts it again when it exits
    bool hidden = true;                    // standard streams to /dev/null
    std::vector<std::string> environment;  // "NAME=value" entries set on top of this process's own
    int processId = 0;                     // 0 when the launch failed
    int channelFd = -1;                    // becomes the child's fd 3 and 4 (--remote-debugging-pipe)
};

class BrowserProcess {
  public:
    // Starts the watchdog thread.
    BrowserProcess();
    // Stops the watchdog, then ends and reaps every process started with assign-to-job.
    ~BrowserProcess();
    BrowserProcess(const BrowserProcess&) = delete;
    BrowserProcess& operator=(const BrowserProcess&) = delete;

    // Starts one process; the record's process id is 0 when that failed. An empty working directory
    // means the folder of the running executable.
    // channelFd (when not -1) becomes the child's fd 3 and fd 4; such a process is never restarted.
    static ProcessRecord Start(const std::vector<std::string>& arguments, bool assignToJob,
                               bool restartOnExit, bool hidden, const std::string& workingDirectory,
                               const std::vector<std::string>& environment = {}, int channelFd = -1);
    // Starts a process and registers it (whatever the outcome); returns its process id, 0 on failure.
    int Launch(const std::vector<std::string>& arguments, bool assignToJob, bool restartOnExit, bool hidden,
               const std::string& workingDirectory, const std::vector<std::string>& environment = {},
               int channelFd = -1);
    // The process id of the first registered process, 0 when there is none.
    int FirstProcessId() const;

    // The watchdog's period.
    static constexpr int kWatchdogIntervalMs = 300;

  private:
    void Watchdog();

    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<ProcessRecord> processes_;
    std::vector<int> jobGroups_;  // every process group started with assign-to-job, for the final kill
    std::thread watchdog_;
};

// The browser's arguments: headless, without crash reports or background traffic, the profile in
// profileFolder, driven over --remote-debugging-pipe, one blank page; --no-sandbox when running as root.
std::vector<std::string> BuildArguments(const std::string& profileFolder);

}  // namespace browser
