#include "cli/CommandLine.h"

#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>

#include "browser/BrowserManager.h"
#include "browser/BrowserProvisioner.h"
#include "cli/ProgressView.h"
#include "cli/Translation.h"
#include "engine/ConversionWorker.h"
#include "settings/SettingsFile.h"
#include "util/Utilities.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kVersion = "epub2pdf 0.1.0";

// The help, in the user's language.
std::string Usage() {
    return T(
        "usage: epub2pdf [options] BOOK.epub|FOLDER|- ...\n"
        "\n"
        "Converts EPUB books into PDF documents whose bookmarks follow each book's table of contents.\n"
        "A FOLDER converts the .epub files in it (-r: and in its subfolders); - reads book paths from\n"
        "standard input, one a line. Standard output carries one PDF path a converted book (or, with\n"
        "--json, one JSON object a book); progress, warnings and errors go to standard error.\n"
        "\n"
        "options:\n"
        "  -o, --output PATH     with one book, the PDF (when PATH ends in .pdf) or the folder to write\n"
        "                        it in; with several books, the folder, which is created when missing\n"
        "                        (default: each PDF next to its book)\n"
        "  -j, --jobs N          convert N books at once, 1 to 20 (default: [app] jobs in the settings\n"
        "                        file, else what the machine carries)\n"
        "  -r, --recursive       also convert the books in the subfolders of a FOLDER\n"
        "      --overwrite       replace an existing PDF (atomically) instead of taking the next free\n"
        "                        name such as book(1).pdf\n"
        "      --json            print one JSON object a book on standard output: input, output,\n"
        "                        status, reason, warnings, pages, seconds\n"
        "      --browser PATH    use this Chromium executable\n"
        "      --paper SIZE      A3, A4, A5, B5, Letter, Legal, or WIDTHxHEIGHT with a unit (mm, cm, in,\n"
        "                        pt) such as 210x297mm (default: Letter)\n"
        "      --landscape       print across the paper's long side\n"
        "      --margins M       one length for all four margins, or top,right,bottom,left: 20mm,\n"
        "                        10,15,10,15mm (default: 0.8in)\n"
        "      --scale S         from 0.1 to 2, or a percentage (default: 1.1)\n"
        "      --page-numbers    number the pages of the whole PDF in the footer\n"
        "      --number-position P  left, center (default), right or outside\n"
        "      --header          the book's title at the top of every page\n"
        "  -q, --quiet           print nothing but errors\n"
        "  -v, --verbose         also print the blocked requests of each book and where the time went\n"
        "  -h, --help            show this help\n"
        "      --version         show the version\n"
        "\n"
        "Options take their value as --option VALUE or --option=VALUE. The settings file\n"
        "($XDG_CONFIG_HOME/epub2pdf/epub2pdf.ini) gives the defaults; see epub2pdf(1).\n"
        "\n"
        "Exit status:\n"
        "  0    every book converted whole\n"
        "  1    some book failed\n"
        "  2    usage error: a bad option, a missing file, a file that is not an EPUB; nothing converted\n"
        "  3    every book converted, some with warnings (a chapter left out, say)\n"
        "  130  interrupted by Ctrl-C (143: by SIGTERM); every conversion stops at once\n");
}

std::atomic<int> interrupted{0};

void OnSignal(int signal) {
    interrupted = signal;
}

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

int UsageError(const std::string& message) {
    std::fprintf(stderr, "epub2pdf: %s\n%s\n", message.c_str(), T("Try 'epub2pdf --help'."));
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
            return why.insert(0, option + ": ");
    }
    return engine::CheckPageSetup(page);
}

// Reads the arguments; false with the exit code when the program ends here (help, version, a mistake).
bool ParseOptions(const std::vector<std::string>& args, Options& options, int& exitCode) {
    CLI::App app("epub2pdf", "epub2pdf");
    app.set_help_flag();
    bool help = false, version = false;
    app.add_flag("-h,--help", help);
    app.add_flag("--version", version);
    app.add_option("-o,--output", options.output);
    app.add_option("-j,--jobs", options.jobs);
    app.add_option("--browser", options.browserPath);
    app.add_flag("-r,--recursive", options.recursive);
    app.add_flag("--overwrite", options.overwrite);
    app.add_flag("--json", options.json);
    app.add_flag("-q,--quiet", options.quiet);
    app.add_flag("-v,--verbose", options.verbose);
    // The page options keep their order: a later one wins.
    for (const char* name : {"--paper", "--margins", "--scale", "--number-position"}) {
        app.add_option_function<std::string>(
            name, [&options, name](const std::string& value) { options.page.emplace_back(name, value); });
    }
    for (const char* name : {"--landscape", "--page-numbers", "--header"}) {
        app.add_flag_callback(name, [&options, name] { options.page.emplace_back(name, ""); });
    }
    app.add_option("books", options.inputs);
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them last first
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        // The parser's own words, in the user's language where they are the usual mistakes.
        const std::string what = e.what();
        const size_t colon = what.find(": ");
        const std::string before = what.substr(0, colon),
                          after = colon == std::string::npos ? "" : what.substr(colon + 2);
        if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr)
            exitCode = UsageError(util::FormatString(T("not an option epub2pdf knows: %s"), after));
        else if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) != nullptr)
            exitCode = UsageError(util::FormatString(T("%s needs a value"), before));
        else if (dynamic_cast<const CLI::ConversionError*>(&e) != nullptr)
            exitCode = UsageError(util::FormatString(T("not a number: %s"), after));
        else
            exitCode = UsageError(what);
        return false;
    }
    if (help) {
        std::fputs(Usage().c_str(), stdout);
        exitCode = 0;
        return false;
    }
    if (version) {
        std::printf("%s\n", kVersion);
        exitCode = 0;
        return false;
    }
    if (app.count("--jobs") > 0 &&
        (options.jobs < 1 || options.jobs > engine::ConversionWorker::kMaxThreads)) {
        exitCode = UsageError(T("-j takes a number from 1 to 20"));
        return false;
    }
    if (options.inputs.empty()) {
        exitCode = UsageError(T("no book given"));
        return false;
    }
    return true;
}

bool IsEpubName(const fs::path& path) {
    return util::ToLowerAscii(path.extension().string()) == ".epub";
}

// The books the arguments name, in their order: files as given, the .epub files of folders (sorted;
// with recursive, of their subfolders too), and the lines of standard input for "-". Empty, with the
// mistake in problem, when an argument names no book.
std::vector<std::string> CollectBooks(const Options& options, std::string& problem) {
    std::vector<std::string> given;
    for (const std::string& input : options.inputs) {
        if (input != "-") {
            given.push_back(input);
            continue;
        }
        for (std::string line; std::getline(std::cin, line);) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!line.empty())
                given.push_back(line);
        }
    }
    std::vector<std::string> books;
    for (const std::string& path : given) {
        std::error_code error;
        if (fs::is_directory(path, error)) {
            std::vector<std::string> found;
            auto add = [&](const fs::directory_entry& e) {
                std::error_code ignored;
                if (e.is_regular_file(ignored) && IsEpubName(e.path()))
                    found.push_back(e.path().string());
            };
            if (options.recursive) {
                for (const auto& e : fs::recursive_directory_iterator(
                         path, fs::directory_options::skip_permission_denied, error))
                    add(e);
            } else {
                for (const auto& e : fs::directory_iterator(path, error)) add(e);
            }
            if (found.empty()) {
                problem = util::FormatString(options.recursive
                                                 ? T("%s: no .epub file in this folder or below it")
                                                 : T("%s: no .epub file in this folder (-r looks below it)"),
                                             path);
                return {};
            }
            std::sort(found.begin(), found.end());
            books.insert(books.end(), found.begin(), found.end());
            continue;
        }
        if (!fs::exists(path, error)) {
            problem = util::FormatString(T("%s: no such file"), path);
            return {};
        }
        // An EPUB is a ZIP archive: it begins with a local file header.
        std::ifstream in(path, std::ios::binary);
        char magic[4] = {};
        if (!fs::is_regular_file(path, error) || !in.read(magic, 4) ||
            std::string(magic, 4) != "PK\x03\x04") {
            problem = util::FormatString(T("%s: not an EPUB (an EPUB is a ZIP archive)"), path);
            return {};
        }
        books.push_back(path);
    }
    return books;
}

std::string JsonStatus(const engine::ConversionItem& item) {
    const std::string status = item.StatusText();
    if (item.done)
        return status == engine::kStatusDoneWithWarnings ? "converted-with-warnings" : "converted";
    if (status == engine::kStatusError)
        return "error";
    if (status == engine::kStatusFailed)
        return "failed";
    return "not-converted";
}

}  // namespace

int Run(const std::vector<std::string>& arguments) {
    SetUpLanguage();
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
    if (!options.browserPath.empty()) {
        options.browserPath = util::ToFullPath(options.browserPath);
        if (!fs::is_regular_file(options.browserPath) || ::access(options.browserPath.c_str(), X_OK) != 0)
            return UsageError(util::FormatString(T("%s is not an executable browser"), options.browserPath));
        settings.browser.browserPath = options.browserPath;
    }
    if (const std::string why = ApplyPageOptions(options.page, settings.page); !why.empty())
        return UsageError(why);

    // Every book is found before anything is made.
    std::string problem;
    const std::vector<std::string> books = CollectBooks(options, problem);
    if (books.empty())
        return UsageError(problem.empty() ? T("no book given") : problem);

    // -o: the PDF itself for one book when it ends in .pdf, else the folder of the PDFs.
    std::string outputFile, outputFolder;
    if (!options.output.empty()) {
        const std::string output = util::ToFullPath(options.output);
        std::error_code error;
        if (util::ToLowerAscii(util::GetExtension(output)) == ".pdf" && !fs::is_directory(output, error)) {
            if (books.size() > 1)
                return UsageError(util::FormatString(T("-o %s names one PDF, but %d books are given"),
                                                     options.output, static_cast<int>(books.size())));
            if (!fs::is_directory(util::GetFolderOf(output), error))
                return UsageError(util::FormatString(T("%s: no such folder"), util::GetFolderOf(output)));
            outputFile = output;
            outputFolder = util::GetFolderOf(output);
        } else {
            fs::create_directories(output, error);
            if (!fs::is_directory(output, error))
                return UsageError(util::FormatString(T("cannot use the output folder %s"), output));
            outputFolder = output;
        }
    }

    // Books at once: -j, else the settings file's [app] jobs, else what this machine carries.
    std::string jobsFrom = "-j";
    if (options.jobs == 0) {
        if (settings.jobs >= 1) {
            options.jobs = std::min(settings.jobs, engine::ConversionWorker::kMaxThreads);
            jobsFrom = T("the settings file");
        } else {
            options.jobs = engine::ConversionWorker::MachineThreads();
            jobsFrom = util::FormatString(T("this machine: %d cores, %d MiB available"), util::UsableCores(),
                                          static_cast<int>(util::AvailableMemory() >> 20));
        }
    }
    if (options.verbose)
        std::fprintf(stderr, T("epub2pdf: converting %d books at once (%s)\n"), options.jobs,
                     jobsFrom.c_str());
    engine::ConversionWorker worker(outputFolder, options.jobs, settings);
    worker.SetOverwrite(options.overwrite);
    worker.Browsers().SetDownloadObserver(std::make_shared<TerminalDownload>(options.quiet));
    for (const std::string& book : books) {
        const std::string path = util::ToFullPath(book);
        auto item = worker.AddItem(path, outputFolder.empty() ? util::GetFolderOf(path) : outputFolder);
        if (!item) {
            if (!options.quiet)
                std::fprintf(stderr, T("epub2pdf: %s is given twice; converting it once\n"), book.c_str());
            continue;
        }
        if (!outputFile.empty())
            item->SetPdfPath(outputFile);
    }
    std::map<const engine::ConversionItem*, std::string> wanted;  // the PDF name each book asked for
    for (const auto& item : worker.Items()) wanted[item.get()] = item->PdfPath();

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    const ProgressView::Mode mode = options.quiet                ? ProgressView::Mode::Quiet
                                    : isatty(STDERR_FILENO) != 0 ? ProgressView::Mode::Live
                                                                 : ProgressView::Mode::Plain;
    ProgressView view(worker.Items(), mode, STDERR_FILENO);
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
        if (!options.quiet)
            std::fprintf(stderr, "%s\n", T("epub2pdf: interrupted; stopping"));
        worker.Stop();
    }
    view.Finish();

    int converted = 0, failed = 0, withWarnings = 0;
    for (const auto& item : worker.Items()) {
        const std::string name = item->epubPath;
        if (item->done) {
            ++converted;
            withWarnings += item->Warnings().empty() ? 0 : 1;
            if (!options.quiet && !options.json)
                std::printf("%s\n", item->PdfPath().c_str());
            if (!options.quiet && item->PdfPath() != wanted[item.get()])
                std::fprintf(stderr, T("epub2pdf: %s: %s exists; wrote %s\n"), name.c_str(),
                             wanted[item.get()].c_str(), item->PdfPath().c_str());
            for (const std::string& warning : item->Warnings())
                std::fprintf(stderr, T("epub2pdf: %s: warning: %s\n"), name.c_str(), warning.c_str());
        } else {
            ++failed;
            std::string reason = item->FailureReason();
            if (reason.empty())
                reason = interrupted ? T("interrupted") : T("not converted");
            std::fprintf(stderr, "epub2pdf: %s: %s: %s\n", name.c_str(), StatusWord(*item).c_str(),
                         reason.c_str());
        }
        if (options.verbose) {
            std::fprintf(stderr, T("epub2pdf: %s: %d blocked requests; %s\n"), name.c_str(),
                         item->blockedRequests.load(), item->Timings().c_str());
        }
        if (options.json) {
            nlohmann::json line = {
                {"input", name},
                {"output", item->done ? nlohmann::json(item->PdfPath()) : nlohmann::json()},
                {"status", JsonStatus(*item)},
                {"reason", item->done ? nlohmann::json() : nlohmann::json(item->FailureReason())},
                {"warnings", item->Warnings()},
                {"pages", item->done ? item->pages.load() : 0},
                {"seconds", std::round(item->seconds.load() * 100) / 100}};
            std::printf("%s\n", line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        }
    }
    std::fflush(stdout);
    if (!options.quiet) {
        if (withWarnings > 0)
            std::fprintf(stderr, T("%d converted (%d with warnings), %d failed\n"), converted, withWarnings,
                         failed);
        else
            std::fprintf(stderr, T("%d converted, %d failed\n"), converted, failed);
    }
    if (interrupted != 0)
        return 128 + interrupted;
    if (failed > 0)
        return 1;
    return withWarnings > 0 ? 3 : 0;
}

}  // namespace cli
