// What the command line says once a run is over: every book's PDF (or JSON line) on standard output,
// what went wrong or was left out on standard error, the counts, and the exit code.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/Options.h"
#include "engine/ConversionItem.h"

namespace cli {

// What a run left: every book, and the PDF name each asked for.
struct Outcome {
    std::vector<std::shared_ptr<engine::ConversionItem>> items;
    std::map<const engine::ConversionItem*, std::string> wanted;
};

// Every book, then the counts; the exit code (signal: the one that stopped the run, or 0).
int Report(const Options& options, const Outcome& outcome, int signal);

}  // namespace cli
