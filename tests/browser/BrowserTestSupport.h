// Shared by the browser tests: a per-test data folder for profiles, and a look at the process table.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/TestSupport.h"

namespace testing_support {

// Process ids whose command line mentions text.
inline std::vector<int> ProcessesMentioning(const std::string& text) {
    std::vector<int> found;
    DIR* proc = opendir("/proc");
    while (dirent* e = readdir(proc)) {
        const int pid = std::atoi(e->d_name);
        if (pid <= 0)
            continue;
        std::string cmd = ReadFile("/proc/" + std::string(e->d_name) + "/cmdline");
        for (char& c : cmd) {
            if (c == '\0')
                c = ' ';
        }
        // Zombies have an empty command line and are not running.
        if (cmd.find(text) != std::string::npos)
            found.push_back(pid);
    }
    closedir(proc);
    return found;
}

// How many listening TCP sockets (IPv4 or IPv6) the processes of a process group hold.
inline int ListeningSocketsOf(int processGroup) {
    std::vector<std::string> listening;  // socket inodes in state LISTEN (0A)
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::istringstream lines(ReadFile(table));
        std::string line;
        std::getline(lines, line);
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            std::string f[10];
            for (auto& x : f) fields >> x;
            if (f[3] == "0A")
                listening.push_back(f[9]);
        }
    }
    int count = 0;
    DIR* proc = opendir("/proc");
    while (dirent* e = readdir(proc)) {
        const int pid = std::atoi(e->d_name);
        if (pid <= 0 || getpgid(pid) != processGroup)
            continue;
        const std::string fds = "/proc/" + std::string(e->d_name) + "/fd";
        DIR* dir = opendir(fds.c_str());
        for (dirent* fd = dir != nullptr ? readdir(dir) : nullptr; fd != nullptr; fd = readdir(dir)) {
            char target[256] = {};
            if (readlink((fds + "/" + fd->d_name).c_str(), target, sizeof target - 1) <= 0)
                continue;
            const std::string link = target;
            for (const std::string& inode : listening) count += link == "socket:[" + inode + "]" ? 1 : 0;
        }
        if (dir != nullptr)
            closedir(dir);
    }
    closedir(proc);
    return count;
}

// Points the per-user data folder (browser profiles, snapshot) and the settings folder at scratch
// folders for one test, so that no test reads the user's settings or shares a folder with another, and
// checks at the end that no process still uses them.
class ScratchDataHome {
  public:
    ScratchDataHome() {
        Point("XDG_DATA_HOME", dir_.Path());
        Point("XDG_CONFIG_HOME", dir_ / "config");
    }
    ~ScratchDataHome() {
        for (const auto& [name, value] : saved_) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    ScratchDataHome(const ScratchDataHome&) = delete;
    ScratchDataHome& operator=(const ScratchDataHome&) = delete;
    const TempDir& Dir() const { return dir_; }
    std::vector<int> Leftovers() const { return ProcessesMentioning(dir_.Path()); }
    // True once no process uses the folders, waiting at most waitMs: the children of a browser whose
    // group was just killed may take a moment to go.
    bool NoLeftovers(int waitMs = 3000) const {
        for (int waited = 0; !Leftovers().empty(); waited += 20) {
            if (waited >= waitMs)
                return false;
            usleep(20 * 1000);
        }
        return true;
    }

  private:
    void Point(const std::string& name, const std::string& value) {
        const char* old = std::getenv(name.c_str());
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        setenv(name.c_str(), value.c_str(), 1);
    }
    TempDir dir_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

inline std::string ChromiumPath() {
    return "/usr/bin/chromium";
}

}  // namespace testing_support
