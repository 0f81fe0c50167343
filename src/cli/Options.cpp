#include "cli/Options.h"

#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/Translation.h"
#include "cli/Wrap.h"
#include "engine/ConversionWorker.h"
#include "util/Format.h"

namespace cli {
namespace {

constexpr const char* kVersion = "epub2pdf 0.1.0";

// The help, in the user's language, laid out for the terminal.
std::string Usage() {
    return Reflow(
        T("usage: epub2pdf [options] BOOK.epub|FOLDER|- ...\n"
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
          "      --number-first-page  the first page too gets its number and header (by default it shows\n"
          "                        neither: it is the cover or the title page)\n"
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
          "  130  interrupted by Ctrl-C (143: SIGTERM, 129: SIGHUP, 131: SIGQUIT); every conversion stops "
          "at\n"
          "       once\n"),
        HelpWidth());
}

}  // namespace

int UsageError(const std::vector<std::string>& mistakes) {
    for (const std::string& mistake : mistakes) std::fprintf(stderr, "epub2pdf: %s\n", mistake.c_str());
    std::fprintf(stderr, "%s\n", T("Try 'epub2pdf --help'."));
    return 2;
}

int UsageError(const std::string& mistake) {
    return UsageError(std::vector<std::string>{mistake});
}

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
        else if (option == "--number-first-page")
            page.numberFirstPage = true;
        if (!why.empty())
            return why.insert(0, option + ": ");
    }
    return engine::CheckPageSetup(page);
}

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
    for (const char* name : {"--landscape", "--page-numbers", "--header", "--number-first-page"}) {
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

}  // namespace cli
