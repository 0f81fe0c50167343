// Shared by the browser tests: a per-test data folder for profiles, and a look at the process table.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
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
