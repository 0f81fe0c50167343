// The command line's options: what they are, how they read, the help, and how a mistake is said.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/PageSetup.h"

namespace cli {

struct Options {
    std::string output;
    int jobs = 0;  // 0: the settings file's, else what the machine carries
    std::string browserPath;
    std::vector<std::pair<std::string, std::string>> page;  // page options in their order, with values
    bool recursive = false;
    bool overwrite = false;
    bool json = false;
    bool quiet = false;
    bool verbose = false;
    std::vector<std::string> inputs;
};

// Reads the arguments; false with the exit code when the program ends here (help, version, a mistake).
bool ParseOptions(const std::vector<std::string>& args, Options& options, int& exitCode);
// The page options over the settings file's page setup; empty, or the first refused and why.
std::string ApplyPageOptions(const std::vector<std::pair<std::string, std::string>>& given,
                             engine::PageSetup& page);
// Each mistake on a line of its own, then the way to the help; the exit code of a usage error.
int UsageError(const std::vector<std::string>& mistakes);
int UsageError(const std::string& mistake);

}  // namespace cli
