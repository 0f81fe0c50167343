#include "cli/CommandLine.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "browser/BrowserManager.h"
#include "browser/BrowserProvisioner.h"
#include "engine/ConversionWorker.h"
#include "settings/SettingsFile.h"
#include "util/Utilities.h"

namespace cli {
namespace {

constexpr const char* kVersion = "epub2pdf 0.1.0";

constexpr const char* kUsage =
    "usage: epub2pdf [options] BOOK.epub...\n"
    "\n"
    "Converts EPUB books into PDF documents whose bookmarks follow each book's table of contents.\n"
    "\n"
    "options:\n"
    "  -o DIR          write the PDFs into DIR (default: each PDF next to its EPUB)\n"
    "  -j N            convert N books at once, 1 to 20 (default: what the machine carries, one book per\n"
    "                  core as far as memory allows, or [app] jobs in the settings file)\n"
    "  --browser PATH  use this Chromium executable\n"
    "  --paper SIZE    A3, A4, A5, B5, Letter, Legal, or WIDTHxHEIGHT with a unit (mm, cm, in, pt),\n"
    "                  such as 210x297mm (default: Letter, or [page] paper in the settings file)\n"
    "  --landscape     print across the paper's long side\n"
    "  --margins M     one length for all four margins, or top,right,bottom,left: 20mm, 10,15,10,15mm\n"
    "                  (default: 0.8in)\n"
    "  --scale S       from 0.1 to 2, or a percentage (default: 1.1)\n"
    "  --page-numbers  number the pages of the whole PDF in the footer\n"
    "  --number-position P  left, center (default), right or outside\n"
    "  --header        repeat the book's title at the top of every page\n"
    "  -q              print nothing but errors\n"
    "  -v              also print how many requests of each book were blocked, and where the time went\n"
    "  --help          show this help\n"
    "  --version       show the version\n"
    "\n"
    "An existing PDF is never overwritten: a free name such as book(1).pdf is used instead.\n"
    "Exit status: 0 when every book converted whole, 1 when any failed, 2 for usage errors,\n"
    "3 when every book converted but some with warnings (a chapter left out, say),\n"
    "130 after Ctrl-C and 143 after SIGTERM (every conversion stops at once).\n";

std::atomic<int> interrupted{0};

void OnSignal(int signal) {
    interrupted = signal;
}

struct Options {
    std::string outputFolder;
    int jobs = 0;  // 0: the settings file's, else what the machine carries
    std::string browserPath;
    std::vector<std::pair<std::string, std::string>> page;  // page options in their order, with values
    bool quiet = false;
    bool verbose = false;
    std::vector<std::string> books;
};

int UsageError(const std::string& message) {
    std::fprintf(stderr, "epub2pdf: %s\nTry 'epub2pdf --help'.\n", message.c_str());
    return 2;
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

// What the terminal shows of the books: a live block of lines on a terminal, plain lines otherwise.
class ProgressView {
  public:
    ProgressView(std::vector<std::shared_ptr<engine::ConversionItem>> items, bool live, bool quiet)
        : items_(std::move(items)), live_(live), quiet_(quiet) {}

    // Called from pool threads.
    void Changed(const std::shared_ptr<engine::ConversionItem>& item) {
        if (quiet_ || live_ || !item)
            return;
        std::lock_guard lock(mutex_);
        const std::string status = item->StatusText();
        const int percent = item->progress;
        auto& last = last_[item.get()];
        // Plain output: one line per status change and per tenth of the way.
        if (last.first == status && last.second / 10 == percent / 10)
            return;
        last = {status, percent};
        std::printf("%s: %s %d%%\n", util::GetFileName(item->epubPath, true).c_str(), status.c_str(),
                    percent);
        std::fflush(stdout);
    }

    // Redraws the live block (main thread).
    void Draw() {
        if (quiet_ || !live_)
            return;
        std::string out;
        if (drawn_)
            out += "\x1b[" + std::to_string(items_.size()) + "F";
        for (const auto& item : items_) {
            const int percent = item->progress;
            const int width = 24;
            const int filled = percent * width / 100;
            std::string name = util::GetFileName(item->epubPath, true);
            if (name.size() > 40)
                name = name.substr(0, 37) + "...";
            out +=
                "\x1b[2K" + util::FormatString("%-40s [%s%s] %3d%% %s\n", name, std::string(filled, '='),
                                               std::string(width - filled, ' '), percent, item->StatusText());
        }
        std::fputs(out.c_str(), stdout);
        std::fflush(stdout);
        drawn_ = true;
    }

  private:
    std::vector<std::shared_ptr<engine::ConversionItem>> items_;
    bool live_;
    bool quiet_;
    bool drawn_ = false;
    std::mutex mutex_;
    std::map<const engine::ConversionItem*, std::pair<std::string, int>> last_;
};

// The page options over the settings file's page setup; empty, or the first refused and why.
std::string ApplyPageOptions(const std::vector<std::pair<std::string, std::string>>& given,
                             engine::PageSetup& page) {
    for (const auto& [option, text] : given) {
        std::string why;
        if (option == "--paper")
            why = engine::ParsePaper(text, page);
        else if (option == "--margins")
            why = engine::ParseMargins(text, page);
        else if (option == "--scale")
            why = engine::ParseScale(text, page);
        else if (option == "--number-position")
            why = engine::ParseNumberPosition(text, page);
        else if (option == "--landscape")
            page.landscape = true;
        else if (option == "--page-numbers")
            page.pageNumbers = true;
        else if (option == "--header")
            page.header = true;
        if (!why.empty())
            return option + ": " + why;
    }
    return engine::CheckPageSetup(page);
}

bool ParseOptions(const std::vector<std::string>& args, Options& options, int& exitCode) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* name) -> const std::string* {
            if (i + 1 >= args.size()) {
                exitCode = UsageError(std::string("option ") + name + " needs a value");
                return nullptr;
            }
            return &args[++i];
        };
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            exitCode = 0;
            return false;
        } else if (a == "--version") {
            std::printf("%s\n", kVersion);
            exitCode = 0;
            return false;
        } else if (a == "-o") {
            const std::string* v = value("-o");
            if (v == nullptr)
                return false;
            options.outputFolder = *v;
        } else if (a == "-j") {
            const std::string* v = value("-j");
            if (v == nullptr)
                return false;
            char* end = nullptr;
            const long n = std::strtol(v->c_str(), &end, 10);
            if (end == v->c_str() || *end != '\0' || n < 1 || n > engine::ConversionWorker::kMaxThreads) {
                exitCode = UsageError("-j takes a number from 1 to 20");
                return false;
            }
            options.jobs = static_cast<int>(n);
        } else if (a == "--browser") {
            const std::string* v = value("--browser");
            if (v == nullptr)
                return false;
            options.browserPath = util::ToFullPath(*v);
        } else if (a == "--paper" || a == "--margins" || a == "--scale" || a == "--number-position") {
            const std::string* v = value(a.c_str());
            if (v == nullptr)
                return false;
            options.page.emplace_back(a, *v);
        } else if (a == "--landscape" || a == "--page-numbers" || a == "--header") {
            options.page.emplace_back(a, "");
        } else if (a == "-q") {
            options.quiet = true;
        } else if (a == "-v") {
            options.verbose = true;
        } else if (a == "--") {
            for (++i; i < args.size(); ++i) options.books.push_back(args[i]);
        } else if (!a.empty() && a[0] == '-') {
            exitCode = UsageError("unknown option " + a);
            return false;
        } else {
            options.books.push_back(a);
        }
    }
    if (options.books.empty()) {
        exitCode = UsageError("no book given");
        return false;
    }
    return true;
}

}  // namespace

int Run(const std::vector<std::string>& arguments) {
    Options options;
    int exitCode = 0;
    if (!ParseOptions(arguments, options, exitCode))
        return exitCode;

    // The settings file is read once, here; the options given win over it. Nothing is converted with
    // settings read in part.
    engine::EngineSettings settings = settings::ReadEngineSettings(util::GetSettingsPath());
    if (!settings.problem.empty()) {
        std::fprintf(stderr, "epub2pdf: %s\n", settings.problem.c_str());
        return 2;
    }
    if (!options.browserPath.empty())
        settings.browser.browserPath = options.browserPath;
    if (const std::string why = ApplyPageOptions(options.page, settings.page); !why.empty())
        return UsageError(why);

    if (!options.outputFolder.empty()) {
        options.outputFolder = util::ToFullPath(options.outputFolder);
        std::error_code ec;
        std::filesystem::create_directories(options.outputFolder, ec);
        if (!std::filesystem::is_directory(options.outputFolder)) {
            std::fprintf(stderr, "epub2pdf: cannot use the output folder %s\n", options.outputFolder.c_str());
            return 2;
        }
    }
    if (!options.browserPath.empty()) {
        if (!std::filesystem::is_regular_file(options.browserPath) ||
            ::access(options.browserPath.c_str(), X_OK) != 0) {
            std::fprintf(stderr, "epub2pdf: %s is not an executable browser\n", options.browserPath.c_str());
            return 2;
        }
    }
    browser::BrowserManager::Instance().SetDownloadObserver(
        std::make_shared<TerminalDownload>(options.quiet));

    // Books at once: -j, else the settings file's [app] jobs, else what this machine carries.
    std::string jobsFrom = "-j";
    if (options.jobs == 0) {
        if (settings.jobs >= 1) {
            options.jobs = std::min(settings.jobs, engine::ConversionWorker::kMaxThreads);
            jobsFrom = "the settings file";
        } else {
            options.jobs = engine::ConversionWorker::MachineThreads();
            jobsFrom = util::FormatString("this machine: %d cores, %d MiB available", util::UsableCores(),
                                          static_cast<int>(util::AvailableMemory() >> 20));
        }
    }
    if (options.verbose) {
        std::fprintf(stderr, "epub2pdf: converting %d books at once (%s)\n", options.jobs, jobsFrom.c_str());
    }
    engine::ConversionWorker worker(options.outputFolder, options.jobs, settings);
    for (const std::string& book : options.books) {
        const std::string path = util::ToFullPath(book);
        const std::string folder =
            options.outputFolder.empty() ? util::GetFolderOf(path) : options.outputFolder;
        if (!worker.AddItem(path, folder) && !options.quiet) {
            std::fprintf(stderr, "epub2pdf: %s is given twice; converting it once\n", book.c_str());
        }
    }

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    const bool live = isatty(STDOUT_FILENO) != 0;
    ProgressView view(worker.Items(), live, options.quiet);
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
            cv.wait_for(lock, std::chrono::milliseconds(live ? 200 : 100));
            lock.unlock();
            view.Draw();
            lock.lock();
        }
    }
    if (interrupted != 0) {
        if (!options.quiet)
            std::fprintf(stderr, "\nepub2pdf: interrupted; stopping\n");
        worker.Stop();
    }
    view.Draw();

    int converted = 0, failed = 0, withWarnings = 0;
    for (const auto& item : worker.Items()) {
        if (item->done) {
            ++converted;
            withWarnings += item->Warnings().empty() ? 0 : 1;
            if (!options.quiet)
                std::printf("%s\n", item->PdfPath().c_str());
            for (const std::string& warning : item->Warnings()) {
                std::fprintf(stderr, "epub2pdf: %s: warning: %s\n", item->epubPath.c_str(), warning.c_str());
            }
        } else {
            ++failed;
            std::string reason = item->FailureReason();
            if (reason.empty())
                reason = interrupted ? "interrupted" : "not converted";
            std::fprintf(stderr, "epub2pdf: %s: %s: %s\n", item->epubPath.c_str(), item->StatusText().c_str(),
                         reason.c_str());
        }
        if (options.verbose) {
            std::fprintf(stderr, "epub2pdf: %s: %d blocked requests; %s\n", item->epubPath.c_str(),
                         item->blockedRequests.load(), item->Timings().c_str());
        }
    }
    std::fflush(stdout);
    if (!options.quiet) {
        if (withWarnings > 0)
            std::fprintf(stderr, "%d converted (%d with warnings), %d failed\n", converted, withWarnings,
                         failed);
        else
            std::fprintf(stderr, "%d converted, %d failed\n", converted, failed);
    }
    if (interrupted != 0)
        return 128 + interrupted;
    if (failed > 0)
        return 1;
    return withWarnings > 0 ? 3 : 0;
}

}  // namespace cli
