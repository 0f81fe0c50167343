#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "browser/BrowserTestSupport.h"
#include "support/TestSupport.h"
#include "util/Format.h"

namespace fs = std::filesystem;
using nlohmann::json;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::TempDir;

namespace {

class CommandLineTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        books_ = new TempDir();
        auto made = testing_support::MakeTestBooks(books_->Path());
        ASSERT_EQ(made.exitCode, 0) << made.output;
    }
    static void TearDownTestSuite() { delete books_; }
    static std::string Book(const std::string& name) { return *books_ / ("books/" + name); }

    void TearDown() override {
        EXPECT_TRUE(home.NoLeftovers());
        EXPECT_EQ(testing_support::UncleanPdfs(out.Path()), "");
    }

    // Runs epub2pdf with arguments (already quoted), and environment variables (NAME=value, quoted)
    // set for it; standard output and error apart.
    struct Result {
        int exitCode;
        std::string out, err;
    };
    // English unless the environment given says otherwise.
    Result Epub2pdf(const std::string& arguments, const std::string& environment = "") {
        const std::string errFile = scratch / "stderr.txt";
        auto r =
            RunCommand("{ env -u LANGUAGE -u LC_ALL -u LC_MESSAGES LANG=C.UTF-8 " + environment + " " +
                       std::string(EPUB2PDF_CLI) + " " + arguments + " 2>" + ShellQuote(errFile) + "; }");
        return {r.exitCode, r.output, testing_support::ReadFile(errFile)};
    }
    std::set<std::string> Files(const std::string& folder) {
        std::set<std::string> names;
        for (auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
        return names;
    }

    testing_support::ScratchDataHome home;
    TempDir scratch;
    TempDir out;

  private:
    static TempDir* books_;
};
TempDir* CommandLineTest::books_ = nullptr;

TEST_F(CommandLineTest, UsageErrors) {
    const char* cases[] = {
        "", "-j", "-j 0", "-j 21", "-j x", "--frobnicate ", "-o", "--browser /no/such/chromium x.epub"};
    for (const char* args : cases) {
        auto r = Epub2pdf(args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_NE(r.err.find("epub2pdf: "), std::string::npos) << args;
    }
    // A page setup value is refused by name, before anything is made.
    const std::pair<const char*, const char*> page[] = {
        {"--paper A9", "--paper: 'A9' is not a paper size"},
        {"--margins 20", "--margins: '20' are not margins"},
        {"--scale 9", "--scale: '9' is not a scale"},
        {"--number-position top", "--number-position: 'top' is not a position"},
        {"--margins 5in", "the margins leave less than 1 in by 1 in"}};
    for (const auto& [args, said] : page) {
        auto r = Epub2pdf(std::string(args) + " -o " + ShellQuote(out / "made") + " x.epub");
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(out / "made")) << args;
    }
    auto help = Epub2pdf("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: epub2pdf"), std::string::npos);
    auto version = Epub2pdf("--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.find("epub2pdf "), 0u);
}

TEST_F(CommandLineTest, ConvertsIntoTheOutputFolderWithUniqueNames) {
    testing_support::WriteFile(out / "same.pdf", "mine");
    auto r = Epub2pdf("-o " + ShellQuote(out.Path()) + " " + ShellQuote(Book("a/same.epub")) + " " +
                      ShellQuote(Book("b/same.epub")) + " " + ShellQuote(Book("four.epub")));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Files(out.Path()),
              (std::set<std::string>{"same.pdf", "same(1).pdf", "same(2).pdf", "four.pdf"}));
    EXPECT_EQ(testing_support::ReadFile(out / "same.pdf"), "mine");
    // Standard output: the PDF paths and nothing else. Not a terminal: plain progress lines on standard
    // error, without escapes; the name taken instead of an existing PDF is said.
    std::multiset<std::string> printed;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) printed.insert(line);
    EXPECT_EQ(printed,
              (std::multiset<std::string>{out / "same(1).pdf", out / "same(2).pdf", out / "four.pdf"}));
    EXPECT_NE(r.err.find("four.epub: converted 100%"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find((out / "same.pdf") + " exists; wrote " + (out / "same(1).pdf")), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("3 converted, 0 failed"), std::string::npos);
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
}

TEST_F(CommandLineTest, DefaultsToTheFolderOfTheBookAndIsQuietWhenAsked) {
    fs::copy_file(Book("four.epub"), out / "four.epub");
    auto r = Epub2pdf("-q " + ShellQuote(out / "four.epub"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(fs::exists(out / "four.pdf"));
}

// Another user's trap in the shared temporary folder (a port-lock name made a link to a folder of
// theirs, or a file) touches nothing: the browsers take no port, and nothing is written there.
TEST_F(CommandLineTest, TrapsInTheSharedTemporaryFolderAreNotTouched) {
    fs::create_directories(scratch / "tmp");
    fs::create_directories(scratch / "theirs");
    fs::create_directory_symlink(scratch / "theirs", scratch / "tmp/epub2pdf-ports");
    testing_support::WriteFile(scratch / "tmp/epub2pdf-locks", "a file");
    auto r = Epub2pdf("-q -o " + ShellQuote(out.Path()) + " " + ShellQuote(Book("four.epub")),
                      "TMPDIR=" + ShellQuote(scratch / "tmp"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Files(scratch / "theirs").empty());
    EXPECT_EQ(Files(scratch / "tmp"), (std::set<std::string>{"epub2pdf-ports", "epub2pdf-locks"}));
}

TEST_F(CommandLineTest, FailuresAreReportedEachWithItsReason) {
    auto r = Epub2pdf("-v -o " + ShellQuote(out.Path()) + " " + ShellQuote(Book("broken-nochapters.epub")) +
                      " " + ShellQuote(Book("leaky.epub")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("broken-nochapters.epub: failed: the book has no chapter files in its spine"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("1 converted, 1 failed"), std::string::npos);
    // -v says how many books convert at once, and why that many.
    EXPECT_NE(r.err.find("books at once (this machine: "), std::string::npos) << r.err;
    EXPECT_EQ(Files(out.Path()), std::set<std::string>{"leaky.pdf"});
    // -v tells how many requests of the leaky book were blocked.
    const size_t at = r.err.find("leaky.epub: ");
    ASSERT_NE(at, std::string::npos);
    EXPECT_NE(r.err.find(" blocked requests", at), std::string::npos);
    EXPECT_EQ(r.err.find("leaky.epub: 0 blocked requests"), std::string::npos);
}

// What a script gives and takes: one PDF named by -o, a folder of books (and with -r its subfolders),
// paths on standard input, JSON lines, and --overwrite. Mistakes in the books given are usage errors
// before anything converts.
TEST_F(CommandLineTest, WhatAScriptGivesAndTakes) {
    auto named = Epub2pdf("-o " + ShellQuote(out / "named.pdf") + " " + ShellQuote(Book("four.epub")));
    EXPECT_EQ(named.exitCode, 0) << named.err;
    EXPECT_EQ(named.out, (out / "named.pdf") + "\n");
    testing_support::WriteFile(out / "named.pdf", "mine");
    auto replaced = Epub2pdf("--overwrite --output=" + ShellQuote(out / "named.pdf") + " " +
                             ShellQuote(Book("four.epub")));
    EXPECT_EQ(replaced.exitCode, 0) << replaced.err;
    EXPECT_EQ(Files(out.Path()), std::set<std::string>{"named.pdf"});
    EXPECT_EQ(testing_support::ReadFile(out / "named.pdf").rfind("%PDF-", 0), 0u);

    fs::create_directories(scratch / "shelf/sub");
    fs::copy_file(Book("four.epub"), scratch / "shelf/top.epub");
    fs::copy_file(Book("broken-nochapters.epub"), scratch / "shelf/sub/broken.EPUB");
    testing_support::WriteFile(scratch / "shelf/notes.txt", "not a book");
    auto flat = Epub2pdf("--json -o " + ShellQuote(out / "flat") + " " + ShellQuote(scratch / "shelf"));
    EXPECT_EQ(flat.exitCode, 0) << flat.err;
    EXPECT_EQ(Files(out / "flat"), std::set<std::string>{"top.pdf"});
    const json top = json::parse(flat.out);
    EXPECT_EQ(top["input"], scratch / "shelf/top.epub");
    EXPECT_EQ(top["output"], out / "flat/top.pdf");
    EXPECT_EQ(top["status"], "converted");
    EXPECT_EQ(top["pages"], 4);
    EXPECT_TRUE(top["warnings"].empty());
    EXPECT_GT(top["seconds"].get<double>(), 0);

    testing_support::WriteFile(scratch / "list.txt",
                               scratch / "shelf/top.epub" + "\n" + scratch / "shelf/sub/broken.EPUB" + "\n");
    auto listed =
        Epub2pdf("--json -j 1 -o " + ShellQuote(out / "listed") + " - <" + ShellQuote(scratch / "list.txt"));
    EXPECT_EQ(listed.exitCode, 1) << listed.err;
    std::istringstream lines(listed.out);
    std::vector<json> books;
    for (std::string line; std::getline(lines, line);) books.push_back(json::parse(line));
    ASSERT_EQ(books.size(), 2u) << listed.out;
    EXPECT_EQ(books[1]["status"], "failed");
    EXPECT_EQ(books[1]["output"], nullptr);
    EXPECT_EQ(books[1]["reason"], "the book has no chapter files in its spine");
    auto deep = Epub2pdf("-q -r -o " + ShellQuote(out / "deep") + " " + ShellQuote(scratch / "shelf"));
    EXPECT_EQ(deep.exitCode, 1);
    EXPECT_EQ(Files(out / "deep"), std::set<std::string>{"top.pdf"});

    fs::create_directories(scratch / "empty");
    const std::pair<std::string, std::string> mistakes[] = {
        {ShellQuote(scratch / "gone.epub"), "gone.epub: no such file"},
        {ShellQuote(scratch / "empty"), "empty: no .epub file in this folder"},
        {ShellQuote(scratch / "shelf/notes.txt"), "notes.txt: not an EPUB"},
        {ShellQuote(Book("four.epub")) + " " + ShellQuote(Book("leaky.epub")),
         "names one PDF, but 2 books are given"}};
    for (const auto& [args, said] : mistakes) {
        auto r = Epub2pdf("-o " + ShellQuote(out / "never/x.pdf") + " " + args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(out / "never")) << args;
    }
}

// English by default, the program's Chinese under a Chinese locale (installed or not); in the C locale
// no Chinese at all.
TEST_F(CommandLineTest, TheUsersLanguage) {
    fs::copy_file(Book("four.epub"), scratch / "plain.epub");
    auto chinese = Epub2pdf("-o " + ShellQuote(out / "zh") + " " + ShellQuote(scratch / "plain.epub"),
                            "LANG=zh_CN.UTF-8");
    EXPECT_EQ(chinese.exitCode, 0) << chinese.err;
    EXPECT_NE(chinese.err.find("plain.epub: 转换完成 100%"), std::string::npos) << chinese.err;
    EXPECT_NE(chinese.err.find("1 本已转换，0 本失败"), std::string::npos) << chinese.err;
    EXPECT_NE(Epub2pdf("--help", "LC_MESSAGES=zh_TW.UTF-8").out.find("退出状态"), std::string::npos);
    // Every text of the command line has its Chinese, its words for the books' states too.
    const std::string source = testing_support::SourceDir();
    auto complete = RunCommand(
        "cd " + ShellQuote(source) +
        " && xgettext --from-code=UTF-8 --keyword=T --keyword=Word --language=C++ -o " +
        ShellQuote(scratch / "texts.pot") + " src/cli/*.cpp src/frontend/States.h && msgcmp po/zh.po " +
        ShellQuote(scratch / "texts.pot") + " 2>&1");
    EXPECT_EQ(complete.exitCode, 0) << complete.output;
    for (const char* args : {"--help", "-j 99 x.epub", "plain.epub"}) {
        auto english = Epub2pdf(std::string(args) + " -o " + ShellQuote(out / "c"), "LANG=C.UTF-8");
        for (const std::string& text : {english.out, english.err}) {
            for (size_t i = 0; i < text.size(); ++i)
                EXPECT_LT(static_cast<unsigned char>(text[i]), 0x80) << args << ": " << text;
        }
    }
}

// On a terminal: a block redrawn in place that fits the terminal, leaves one final line per book, and
// shows the cursor again however the program ends.
TEST_F(CommandLineTest, TheTerminalView) {
    fs::create_directories(scratch / "shelf");
    for (int i = 1; i <= 12; ++i)
        fs::copy_file(Book("four.epub"), scratch / ("shelf/长长的书名第" + std::to_string(i) +
                                                    "本很长很长很长很长很长很长.epub"));
    auto run = [&](int width, int height, double interruptAfter) {
        const std::string command = "exec env -u LANGUAGE LANG=C.UTF-8 " + std::string(EPUB2PDF_CLI) +
                                    " -j 2 -o " +
                                    ShellQuote(out / util::FormatString("%dx%d", width, height)) + " " +
                                    ShellQuote(scratch / "shelf") + " >/dev/null";
        auto r =
            RunCommand(util::FormatString("/usr/bin/python3 %s %d %d %g sh -c %s",
                                          ShellQuote(testing_support::SourceDir() + "/tests/cli/pty_run.py"),
                                          width, height, interruptAfter, ShellQuote(command)));
        return json::parse(r.output);
    };
    for (const auto& [width, height] : {std::pair{80, 24}, std::pair{40, 10}}) {
        const json shown = run(width, height, 0);
        EXPECT_EQ(shown["exit"], 0) << shown.dump();
        EXPECT_LE(shown["widest"].get<int>(), width) << shown.dump();
        EXPECT_TRUE(shown["cursor_visible"]);
        std::set<std::string> seen;
        int finals = 0;
        for (const std::string line : shown["lines"]) {
            if (line.empty())
                continue;
            EXPECT_TRUE(seen.insert(line).second) << "repeated: " << line << "\n" << shown.dump();
            finals += line.rfind("converted: ", 0) == 0 ? 1 : 0;
        }
        EXPECT_EQ(finals, 12) << shown.dump();
    }
    const json stopped = run(80, 24, 1.5);
    EXPECT_EQ(stopped["exit"], 130) << stopped.dump();
    EXPECT_TRUE(stopped["cursor_visible"]) << stopped.dump();
}

// In tmux (as in screen) the block is erased line by line: erasing the display from the top-left corner
// would be a clear screen there, which keeps a copy of the block in the scrollback at every redraw.
TEST_F(CommandLineTest, TheTerminalViewLeavesNoCopiesInTmuxScrollback) {
    fs::create_directories(scratch / "shelf");
    for (int i = 1; i <= 4; ++i)
        fs::copy_file(Book("four.epub"), scratch / ("shelf/book" + std::to_string(i) + ".epub"));
    const std::string tmux = "tmux -f /dev/null -S " + ShellQuote(scratch / "tmux.sock");
    const std::string command = "env -u LANGUAGE LANG=C.UTF-8 " + std::string(EPUB2PDF_CLI) + " -j 2 -o " +
                                ShellQuote(out.Path()) + " " + ShellQuote(scratch / "shelf") +
                                " >/dev/null; " + tmux + " wait-for -S over; sleep 600";
    auto r = RunCommand(tmux + " new-session -d -x 80 -y 24 " + ShellQuote(command) + " && timeout 600 " +
                        tmux + " wait-for over && " + tmux + " capture-pane -p -S - -E -; " + tmux +
                        " kill-server 2>/dev/null");
    ASSERT_EQ(r.exitCode, 0) << r.output;
    std::map<std::string, int> shown;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty())
            ++shown[line];
    }
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(shown["converted: book" + std::to_string(i) + ".epub"], 1) << r.output;
    EXPECT_EQ(shown["4 converted, 0 failed"], 1) << r.output;
    EXPECT_EQ(shown.size(), 5u) << r.output;  // no line of the block stayed
}

TEST_F(CommandLineTest, TheManualPageAndTheCompletion) {
    auto page = RunCommand("MANWIDTH=80 MANPAGER=cat man -l " +
                           ShellQuote(testing_support::SourceDir() + "/doc/epub2pdf.1") + " 2>&1");
    EXPECT_EQ(page.exitCode, 0) << page.output;
    for (const char* part : {"EXIT STATUS", "--page-numbers", "--overwrite", "130"})
        EXPECT_NE(page.output.find(part), std::string::npos) << part;
    EXPECT_EQ(page.output.find("troff"), std::string::npos) << page.output;  // no complaint of the formatter
    const std::string script = testing_support::SourceDir() + "/data/epub2pdf.bash-completion";
    auto completed =
        RunCommand("bash -c " + ShellQuote("source " + ShellQuote(script) +
                                           "; COMP_WORDS=(epub2pdf --paper ''); COMP_CWORD=2; _epub2pdf; "
                                           "echo \"${COMPREPLY[*]}\""));
    EXPECT_EQ(completed.output, "A3 A4 A5 B5 Letter Legal\n");
}

TEST_F(CommandLineTest, NamesThatDifferOnlyInCaseAreTwoBooks) {
    fs::copy_file(Book("four.epub"), scratch / "Quick.epub");
    fs::copy_file(Book("four.epub"), scratch / "quick.epub");
    auto r = Epub2pdf("-o " + ShellQuote(out.Path()) + " " + ShellQuote(scratch / "Quick.epub") + " " +
                      ShellQuote(scratch / "quick.epub"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Files(out.Path()), (std::set<std::string>{"Quick.pdf", "quick.pdf"}));
    EXPECT_NE(r.err.find("2 converted, 0 failed"), std::string::npos) << r.err;
}

TEST_F(CommandLineTest, WhatABookLeftOutIsSaid) {
    auto r = Epub2pdf("-q -o " + ShellQuote(out.Path()) + " " + ShellQuote(Book("missing-chapter.epub")));
    EXPECT_EQ(r.exitCode, 3) << r.err;  // converted, with warnings
    EXPECT_NE(r.err.find("missing-chapter.epub: warning: the chapter file ch2.xhtml is not in the book"),
              std::string::npos)
        << r.err;
}

// Ctrl-C or a termination request while a chapter hangs: out within seconds, every browser gone, nothing
// left in the output folder.
TEST_F(CommandLineTest, ASignalStopsAtOnceEvenInAHungChapter) {
    for (const char* signal : {"INT", "TERM"}) {
        const std::string script =
            std::string(EPUB2PDF_CLI) + " -o " + ShellQuote(out.Path()) + " " +
            ShellQuote(Book("hang-loop.epub")) + " >/dev/null 2>" + ShellQuote(scratch / "stderr.txt") +
            " & pid=$!\n"
            // Once its browser runs, the book is printing; two seconds later it hangs in chapter 2.
            "i=0; while [ $i -lt 600 ] && ! ls -d \"$XDG_DATA_HOME\"/epub2pdf/devtools-* >/dev/null 2>&1; "
            "do\n"
            "  sleep 0.1; i=$((i+1)); done\n"
            "sleep 2\n"
            "s=$(date +%s%N); kill -" +
            signal +
            " $pid; wait $pid; code=$?; e=$(date +%s%N)\n"
            "echo \"$code $(( (e - s) / 1000000 ))\"\n";
        auto r = RunCommand(script);
        int code = -1, ms = -1;
        ASSERT_EQ(std::sscanf(r.output.c_str(), "%d %d", &code, &ms), 2) << r.output;
        EXPECT_EQ(code, std::string(signal) == "INT" ? 130 : 143)
            << signal << "\n"
            << testing_support::ReadFile(scratch / "stderr.txt");
        EXPECT_LT(ms, 3000) << signal;
        EXPECT_TRUE(home.NoLeftovers(1000)) << signal << ": a browser outlived the program";
        EXPECT_TRUE(Files(out.Path()).empty()) << signal << ": a temporary folder or a partial PDF stayed";
        // The book was stopped, not failed.
        const std::string said = testing_support::ReadFile(scratch / "stderr.txt");
        EXPECT_NE(said.find("hang-loop.epub: stopped: interrupted"), std::string::npos) << said;
        EXPECT_NE(said.find("0 converted, 0 failed, 1 stopped"), std::string::npos) << said;
    }
}

// A4 with the whole book's page numbers, on a real book: the paper, a number in the footer of every page
// equal to its page label, the book's metadata in XMP, and every page's content in one structure tree.
TEST_F(CommandLineTest, PaperAndPageNumbersOnABook) {
    const std::string book = testing_support::CorpusDir() + "/gutenberg_pg1513-romeo-and-juliet_en.epub";
    if (!fs::exists(book))
        GTEST_SKIP() << "no corpus book " << book;
    auto r = Epub2pdf("-q --paper A4 --page-numbers -o " + ShellQuote(out.Path()) + " " + ShellQuote(book));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string pdf = out / "gutenberg_pg1513-romeo-and-juliet_en.pdf";
    auto info = RunCommand("pdfinfo " + ShellQuote(pdf));
    EXPECT_NE(info.output.find("595.276 x 841.89 pts (A4)"), std::string::npos) << info.output;
    const json summary = testing_support::PdfSummary(pdf);
    const int pages = summary["pages"];
    ASSERT_GT(pages, 100);
    // One run of pdftotext for every page: pages end with a form feed.
    const std::string text = RunCommand("pdftotext " + ShellQuote(pdf) + " -").output;
    int page = 0;
    for (size_t start = 0, end; page < pages && (end = text.find('\f', start)) != std::string::npos;
         start = end + 1) {
        ++page;
        std::string body = text.substr(start, end - start);
        while (!body.empty() && std::isspace(static_cast<unsigned char>(body.back()))) body.pop_back();
        const size_t lastLine = body.rfind('\n');
        EXPECT_EQ(body.substr(lastLine == std::string::npos ? 0 : lastLine + 1), std::to_string(page));
    }
    EXPECT_EQ(page, pages);
    // Decimal labels from 1: label N is page N's.
    EXPECT_EQ(summary["page_labels"], json::parse(R"([{"index": 0, "label": {"/S": "/D", "/St": 1}}])"));
    const std::string xmp = summary["xmp"];
    for (const char* expected :
         {">Romeo and Juliet<", "<rdf:li>William Shakespeare</rdf:li>", "<rdf:li>en</rdf:li>"})
        EXPECT_NE(xmp.find(expected), std::string::npos) << expected;
    EXPECT_EQ(summary["structure"]["pages_marked"], pages);
    EXPECT_EQ(summary["structure"]["pages_resolved"], pages);
    EXPECT_EQ(summary["structure"]["distinct"], pages);
}

// Real books, EPUB 2 and 3, and the book of names in every script and form, all convert; their outline
// ends with their own table of contents (read from the book by another reader), after the bookmarks of
// their guide; every bookmark and at least 99 % of the links land on their target's page (read back by
// tests/support/landing.py), no link the book has is missing, dead or a file: URL; every PDF checks
// clean (TearDown).
TEST_F(CommandLineTest, CorpusBooks) {
    const std::string corpus = testing_support::CorpusDir();
    if (!fs::is_directory(corpus))
        GTEST_SKIP() << "no corpus at " << corpus;
    std::map<std::string, std::string> books = {{"names", Book("names.epub")}};  // name -> EPUB
    for (auto& e : fs::directory_iterator(corpus)) {
        if (e.path().extension() == ".epub")
            books[e.path().stem().string()] = e.path().string();
    }
    std::string args = "-j 2 -o " + ShellQuote(out.Path());
    for (const auto& [book, epub] : books) args += " " + ShellQuote(epub);
    auto r = Epub2pdf(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    for (const auto& [book, epub] : books) {
        const std::string pdf = out / (book + ".pdf");
        ASSERT_TRUE(fs::exists(pdf)) << book << "\n" << r.err;
        EXPECT_EQ(testing_support::PdfText(pdf).find("This page contains the following errors"),
                  std::string::npos)
            << book;
        const auto summary = testing_support::PdfSummary(pdf);
        EXPECT_GT(summary["pages"].get<int>(), 0) << book;

        auto expected = RunCommand(
            "python3 " + ShellQuote(testing_support::SourceDir() + "/tests/support/expected_outline.py") +
            " " + ShellQuote(epub));
        ASSERT_EQ(expected.exitCode, 0) << book << "\n" << expected.output;
        std::function<json(const json&)> titles = [&titles](const json& items) {
            json result = json::array();
            for (const auto& item : items)
                result.push_back(
                    {{"title", item["title"]}, {"kids", titles(item.value("kids", json::array()))}});
            return result;
        };
        const json want = titles(json::parse(expected.output));
        const json got = titles(summary["outline"]);
        ASSERT_FALSE(want.empty()) << book;
        ASSERT_GE(got.size(), want.size()) << book << "\n" << got.dump();
        const json tail(got.end() - static_cast<long>(want.size()), got.end());
        EXPECT_EQ(tail, want) << book;
        for (size_t i = 0; i < got.size() - want.size(); ++i)
            EXPECT_NE(got[i]["title"], "") << book << " guide " << i;

        const json counts = testing_support::Landing(epub, pdf);
        ASSERT_TRUE(counts.is_object()) << book;
        EXPECT_EQ(counts["bookmarks_right"], counts["bookmarks"]) << book << " " << counts.dump();
        EXPECT_GE(counts["links_right"].get<double>(), 0.99 * counts["links"].get<double>())
            << book << " " << counts.dump();
        EXPECT_EQ(counts["links_missing"], 0) << book << " " << counts.dump();
        EXPECT_EQ(counts["dead_links"], 0) << book;
        EXPECT_EQ(counts["file_urls"], 0) << book;
    }
}

}  // namespace
