// Shared by the browser tests: a per-test data folder for profiles, and a look at the process table.
#pragma once

#include "support/TestSupport.h"

#include <cstdlib>
#include <dirent.h>
#include <string>

namespace testing_support {

// Process ids whose command line mentions text.
inline std::vector<int> ProcessesMentioning(const std::string& text) {
    std::vector<int> found;
    DIR* proc = opendir("/proc");
    while (dirent* e = readdir(proc)) {
        const int pid = std::atoi(e->d_name);
        if (pid <= 0) continue;
        std::string cmd = ReadFile("/proc/" + std::string(e->d_name) + "/cmdline");
        for (char& c : cmd) {
            if (c == '\0') c = ' ';
        }
        // Zombies have an empty command line and are not running.
        if (cmd.find(text) != std::string::npos) found.push_back(pid);
    }
    closedir(proc);
    return found;
}

// Points the per-user data folder (browser profiles, snapshot) at a scratch folder for one test, and
// checks at the end that no process still uses it.
class ScratchDataHome {
public:
    ScratchDataHome() {
        const char* old = std::getenv("XDG_DATA_HOME");
        if (old != nullptr) old_ = old, hadOld_ = true;
        setenv("XDG_DATA_HOME", dir_.Path().c_str(), 1);
    }
    ~ScratchDataHome() {
        if (hadOld_) setenv("XDG_DATA_HOME", old_.c_str(), 1);
        else unsetenv("XDG_DATA_HOME");
    }
    const TempDir& Dir() const { return dir_; }
    std::vector<int> Leftovers() const { return ProcessesMentioning(dir_.Path()); }

private:
    TempDir dir_;
    std::string old_;
    bool hadOld_ = false;
};

inline std::string ChromiumPath() { return "/usr/bin/chromium"; }

}  // namespace testing_support
