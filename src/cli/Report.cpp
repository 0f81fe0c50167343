#include "cli/Report.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/ProgressView.h"
#include "cli/Translation.h"

namespace cli {
namespace {

const char* JsonStatus(engine::ItemState state) {
    switch (state) {
        case engine::ItemState::Converted:
            return "converted";
        case engine::ItemState::ConvertedWithWarnings:
            return "converted-with-warnings";
        case engine::ItemState::Failed:
            return "failed";
        case engine::ItemState::Error:
            return "error";
        case engine::ItemState::Ready:
        case engine::ItemState::Converting:
        case engine::ItemState::Cancelled:
        case engine::ItemState::Stopped:
            break;
    }
    return "not-converted";
}

// A book's PDF on standard output (or its JSON line), and on standard error what went wrong or what it
// left out.
void ReportBook(const Options& options, const engine::ConversionItem& item, const std::string& wanted,
                bool interrupted) {
    const std::string& name = item.epubPath;
    const bool done = item.Done();
    if (done) {
        if (!options.quiet && !options.json)
            std::printf("%s\n", item.PdfPath().c_str());
        // Where it went instead of the name asked for is said even when quiet: no script expects it there.
        if (item.PdfPath() != wanted)
            std::fprintf(stderr, T("epub2pdf: %s: %s exists; wrote %s\n"), name.c_str(), wanted.c_str(),
                         item.PdfPath().c_str());
        for (const std::string& warning : item.Warnings())
            std::fprintf(stderr, T("epub2pdf: %s: warning: %s\n"), name.c_str(), warning.c_str());
    } else {
        std::string reason = item.FailureReason();
        if (reason.empty())
            reason = interrupted ? T("interrupted") : T("not converted");
        std::fprintf(stderr, "epub2pdf: %s: %s: %s\n", name.c_str(), StatusWord(item).c_str(),
                     reason.c_str());
    }
    if (options.verbose) {
        std::fprintf(stderr, T("epub2pdf: %s: %d blocked requests; %s\n"), name.c_str(),
                     item.blockedRequests.load(), item.Timings().c_str());
    }
    if (options.json) {
        nlohmann::json line = {{"input", name},
                               {"output", done ? nlohmann::json(item.PdfPath()) : nlohmann::json()},
                               {"status", JsonStatus(item.State())},
                               {"reason", done ? nlohmann::json() : nlohmann::json(item.FailureReason())},
                               {"warnings", item.Warnings()},
                               {"pages", done ? item.pages.load() : 0},
                               {"seconds", std::round(item.seconds.load() * 100) / 100}};
        std::printf("%s\n", line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    }
}

}  // namespace

int Report(const Options& options, const Outcome& outcome, int signal) {
    int converted = 0, failed = 0, stopped = 0, withWarnings = 0;
    for (const auto& item : outcome.items) {
        ReportBook(options, *item, outcome.wanted.at(item.get()), signal != 0);
        if (item->Done()) {
            ++converted;
            withWarnings += item->Warnings().empty() ? 0 : 1;
        } else {
            ++(item->State() == engine::ItemState::Stopped ? stopped : failed);  // a stop is no failure
        }
    }
    std::fflush(stdout);
    if (!options.quiet) {
        if (stopped > 0 && withWarnings > 0)
            std::fprintf(stderr, T("%d converted (%d with warnings), %d failed, %d stopped\n"), converted,
                         withWarnings, failed, stopped);
        else if (stopped > 0)
            std::fprintf(stderr, T("%d converted, %d failed, %d stopped\n"), converted, failed, stopped);
        else if (withWarnings > 0)
            std::fprintf(stderr, T("%d converted (%d with warnings), %d failed\n"), converted, withWarnings,
                         failed);
        else
            std::fprintf(stderr, T("%d converted, %d failed\n"), converted, failed);
    }
    if (signal != 0)
        return 128 + signal;
    if (failed > 0)
        return 1;
    return withWarnings > 0 ? 3 : 0;
}

}  // namespace cli
