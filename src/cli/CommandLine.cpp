#include "cli/CommandLine.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <set>

#include "browser/BrowserManager.h"
#include "browser/BrowserProvisioner.h"
#include "cli/Options.h"
#include "cli/ProgressView.h"
#include "cli/Report.h"
#include "cli/Translation.h"
#include "engine/ConversionWorker.h"
#include "frontend/BookIntake.h"
#include "frontend/BooksAtOnce.h"
#include "frontend/OutputPlan.h"
#include "settings/SettingsFile.h"
#include "util/Folders.h"
#include "util/Format.h"
#include "util/Paths.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

std::atomic<int> interrupted{0};

void OnSignal(int signal) {
    interrupted = signal;
}

// A progress bar for the browser download, on standard error.
class TerminalDownload : public browser::DownloadObserver {
  public:
    explicit TerminalDownload(bool quiet) : quiet_(quiet) {}
    void Begin(const std::string& message) override {
        if (!quiet_)
            std::fprintf(stderr, "%s\n", message.c_str());
    }
    bool Progress(int percent) override {
        if (!quiet_ && percent != last_) {
            last_ = percent;
            const int width = 40;
            const int filled = percent * width / 100;
            std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(),
                         std::string(width - filled, ' ').c_str(), percent);
        }
        return interrupted == 0;
    }
    void End() override {
        if (!quiet_)
            std::fprintf(stderr, "\n");
    }

  private:
    bool quiet_;
    int last_ = -1;
};

// A refused path in the user's words.
std::string RefusalText(const frontend::Refused& refused, bool recursive) {
    switch (refused.why) {
        case frontend::Refusal::NoSuchFile:
            return util::FormatString(T("%s: no such file"), refused.path);
        case frontend::Refusal::NotAnEpubName:
            return util::FormatString(T("%s: not an EPUB (its name does not end in .epub)"), refused.path);
        case frontend::Refusal::NotAZipArchive:
            return util::FormatString(T("%s: not an EPUB (an EPUB is a ZIP archive)"), refused.path);
        case frontend::Refusal::NoBookInFolder:
            return util::FormatString(recursive ? T("%s: no .epub file in this folder or below it")
                                                : T("%s: no .epub file in this folder (-r looks below it)"),
                                      refused.path);
    }
    return refused.path;
}

// Where the PDFs cannot go, in the user's words.
std::string OutputProblemText(const frontend::OutputPlan& output, const Options& options, size_t books) {
    switch (output.problem) {
        case frontend::OutputProblem::OneFileManyBooks:
            return util::FormatString(T("-o %s names one PDF, but %d books are given"), options.output,
                                      static_cast<int>(books));
        case frontend::OutputProblem::NoSuchFolder:
            return util::FormatString(T("%s: no such folder"), output.where);
        case frontend::OutputProblem::CannotMakeFolder:
            return util::FormatString(T("cannot use the output folder %s"), output.where);
        case frontend::OutputProblem::None:
            break;
    }
    return {};
}

// What a run is to do, once the arguments and the settings file are read.
struct Plan {
    engine::EngineSettings settings;
    std::vector<std::string> books;  // full paths
    frontend::OutputPlan output;
    frontend::BooksAtOnce booksAtOnce;
};

// The settings file under the options, the books and where their PDFs go; false with the exit code when
// something is refused. The settings file is read once, here; the options given win over it. Every book
// is found before anything is made, and nothing is converted with settings read in part.
bool Configure(const Options& options, Plan& plan, int& exitCode) {
    plan.settings = settings::ReadEngineSettings(util::GetSettingsPath());
    if (!plan.settings.problem.empty()) {
        std::fprintf(stderr, "epub2pdf: %s\n", plan.settings.problem.c_str());
        exitCode = 2;
        return false;
    }
    if (!options.browserPath.empty()) {
        const std::string browser = util::ToFullPath(options.browserPath);
        if (!fs::is_regular_file(browser) || ::access(browser.c_str(), X_OK) != 0) {
            exitCode = UsageError(util::FormatString(T("%s is not an executable browser"), browser));
            return false;
        }
        plan.settings.browser.browserPath = browser;
    }
    if (const std::string why = ApplyPageOptions(options.page, plan.settings.page); !why.empty()) {
        exitCode = UsageError(why);
        return false;
    }
    const frontend::Intake intake =
        frontend::CollectBooks(options.inputs, {.recursive = options.recursive, .standardInput = &std::cin});
    if (!intake.refused.empty()) {
        std::vector<std::string> said;
        for (const frontend::Refused& refused : intake.refused)
            said.push_back(RefusalText(refused, options.recursive));
        exitCode = UsageError(said);
        return false;
    }
    if (intake.books.empty()) {
        exitCode = UsageError(T("no book given"));
        return false;
    }
    plan.books = intake.books;
    plan.output = frontend::PlanOutput(options.output, true, plan.books.size());
    if (plan.output.problem != frontend::OutputProblem::None) {
        exitCode = UsageError(OutputProblemText(plan.output, options, plan.books.size()));
        return false;
    }
    plan.booksAtOnce = frontend::ChooseBooksAtOnce(options.jobs, plan.settings.jobs);
    return true;
}

// Why that many books convert at once, for -v.
std::string WhyThatMany(const frontend::BooksAtOnce& chosen) {
    switch (chosen.from) {
        case frontend::BooksFrom::Asked:
            return "-j";
        case frontend::BooksFrom::Settings:
            return T("the settings file");
        case frontend::BooksFrom::Machine:
            break;
    }
    return util::FormatString(T("this machine: %d cores, %d MiB available"), chosen.cores,
                              static_cast<int>(chosen.memory >> 20));
}

// Registers the books with the worker, each with its PDF's name.
Outcome Register(engine::ConversionWorker& worker, const Options& options, const Plan& plan) {
    for (const std::string& book : plan.books) {
        auto item = worker.AddItem(book, plan.output.FolderFor(book));
        if (!item) {
            if (!options.quiet)
                std::fprintf(stderr, T("epub2pdf: %s is given twice; converting it once\n"), book.c_str());
            continue;
        }
        if (!plan.output.file.empty())
            item->SetPdfPath(plan.output.file);
    }
    Outcome outcome{worker.Items(), {}};
    for (const auto& item : outcome.items) outcome.wanted[item.get()] = item->PdfPath();
    return outcome;
}

// Runs the worker's books until the run is over or a signal stops it, redrawing the view meanwhile.
void RunToTheEnd(engine::ConversionWorker& worker, ProgressView& view, ProgressView::Mode mode, bool quiet) {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    // A closed terminal and a quit request end the run as Ctrl-C and a termination request do.
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaction(signal, &action, nullptr);
    std::mutex mutex;
    std::condition_variable cv;
    bool over = false;
    worker.Start([&](const std::shared_ptr<engine::ConversionItem>& item, int code) {
        if (code == engine::ConversionWorker::kRunOver) {
            std::lock_guard lock(mutex);
            over = true;
            cv.notify_all();
            return;
        }
        view.Changed(item);
    });
    {
        std::unique_lock lock(mutex);
        while (!over && interrupted == 0) {
            cv.wait_for(lock, std::chrono::milliseconds(mode == ProgressView::Mode::Live ? 200 : 100));
            lock.unlock();
            view.Draw();
            lock.lock();
        }
    }
    if (interrupted != 0) {
        view.Finish();
        if (!quiet)
            std::fprintf(stderr, "%s\n", T("epub2pdf: interrupted; stopping"));
        worker.Stop();
    }
    view.Finish();
}

// How many of the books convert at once, and why, for -v: never more than are given.
void SayHowMany(const frontend::BooksAtOnce& chosen, int given, int books) {
    if (given == 1)
        std::fprintf(stderr, "%s\n", T("epub2pdf: converting one book"));
    else if (books == 1)
        std::fprintf(stderr, T("epub2pdf: converting one book at a time (%s)\n"),
                     WhyThatMany(chosen).c_str());
    else if (books < chosen.books)
        std::fprintf(stderr,
                     T("epub2pdf: converting %d books at once, all that are given (%d allowed by %s)\n"),
                     books, chosen.books, WhyThatMany(chosen).c_str());
    else
        std::fprintf(stderr, T("epub2pdf: converting %d books at once (%s)\n"), books,
                     WhyThatMany(chosen).c_str());
}

// Converts the books, showing progress on standard error.
Outcome Convert(const Options& options, const Plan& plan) {
    const std::set<std::string> distinct(plan.books.begin(), plan.books.end());
    const int given = static_cast<int>(distinct.size());
    const int books = std::min(plan.booksAtOnce.books, given);
    if (options.verbose)
        SayHowMany(plan.booksAtOnce, given, books);
    engine::ConversionWorker worker(plan.output.folder, books, plan.settings);
    worker.SetOverwrite(options.overwrite);
    worker.Browsers().SetDownloadObserver(std::make_shared<TerminalDownload>(options.quiet));
    Outcome outcome = Register(worker, options, plan);
    const ProgressView::Mode mode = options.quiet                ? ProgressView::Mode::Quiet
                                    : isatty(STDERR_FILENO) != 0 ? ProgressView::Mode::Live
                                                                 : ProgressView::Mode::Plain;
    ProgressView view(outcome.items, mode, STDERR_FILENO);
    RunToTheEnd(worker, view, mode, options.quiet);
    return outcome;
}

}  // namespace

int Run(const std::vector<std::string>& arguments) {
    SetUpLanguage();
    Options options;
    Plan plan;
    int exitCode = 0;
    if (!ParseOptions(arguments, options, exitCode) || !Configure(options, plan, exitCode))
        return exitCode;
    const Outcome outcome = Convert(options, plan);
    return Report(options, outcome, interrupted);
}

}  // namespace cli
