#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "browser/BrowserTestSupport.h"
#include "engine/ConversionJob.h"
#include "engine/ConversionWorker.h"
#include "engine/PageSetup.h"
#include "support/TestSupport.h"
#include "util/Format.h"
#include "util/Machine.h"

namespace fs = std::filesystem;
using nlohmann::json;
using testing_support::PdfSummary;
using testing_support::PdfText;
using testing_support::ShellQuote;
using testing_support::TempDir;

namespace {

// The books of make_books.py, made once for the whole suite.
class Books {
  public:
    static const Books& Get() {
        static Books books;
        return books;
    }
    std::string operator()(const std::string& name) const { return holder_ / ("books/" + name); }

  private:
    Books() {
        auto made = testing_support::MakeTestBooks(holder_.Path());
        if (made.exitCode != 0)
            ADD_FAILURE() << made.output;
    }
    TempDir holder_;
};

class ConversionTest : public ::testing::Test {
  protected:
    testing_support::ScratchDataHome home;
    TempDir out;
    void TearDown() override {
        EXPECT_TRUE(home.NoLeftovers()) << "a browser outlived its job";
        EXPECT_EQ(testing_support::UncleanPdfs(out.Path()), "");
    }
    std::set<std::string> OutputFiles() const {
        std::set<std::string> names;
        for (auto& e : fs::directory_iterator(out.Path())) names.insert(e.path().filename().string());
        return names;
    }
    static std::string Book(const std::string& name) { return Books::Get()(name); }
};

// The first page whose text contains needle, counted from 1; 0 when none does.
int PageWith(const std::string& pdf, const std::string& needle, int pages) {
    for (int p = 1; p <= pages; ++p) {
        auto text = testing_support::RunCommand("pdftotext -f " + std::to_string(p) + " -l " +
                                                std::to_string(p) + " " + ShellQuote(pdf) + " -");
        if (text.output.find(needle) != std::string::npos)
            return p;
    }
    return 0;
}

TEST_F(ConversionTest, SampleBookEndToEnd) {
    engine::ConversionJob job(EPUB2PDF_SAMPLE_BOOK);
    std::vector<int> progress;
    const std::string pdf = out / "sample.pdf";
    ASSERT_TRUE(job.Run(pdf, [&](int p) {
        progress.push_back(p);
        return true;
    })) << job.FailureReason();
    EXPECT_EQ(progress, (std::vector<int>{0, 0, 20, 40, 60, 80, 100}));
    EXPECT_EQ(OutputFiles(), std::set<std::string>{"sample.pdf"});  // the temporary folder is gone

    const json summary = PdfSummary(pdf);
    const int pages = summary["pages"];
    const int ch1 = PageWith(pdf, "Chapter 1: The Light", pages);
    const int ch2 = PageWith(pdf, "Chapter 2: The Storm", pages);
    const int ch3 = PageWith(pdf, "第三章 灯塔", pages);
    const int notes = PageWith(pdf, "Notes", pages);
    ASSERT_TRUE(ch1 == 2 && ch2 > ch1 && ch3 > ch2 && notes > ch3 && notes <= pages)
        << ch1 << ch2 << ch3 << notes;
    // Bookmarks and links with a fragment land on the page of the element it names, below the top.
    const int evening = PageWith(pdf, "1.1 Evening", pages);
    const int night = PageWith(pdf, "1.2 Night", pages);
    const int storm = PageWith(pdf, "The storm came from the north", pages);
    const int haifeng = PageWith(pdf, "第一节 海风", pages);
    ASSERT_TRUE(evening >= ch1 && night > evening && storm >= ch2 && haifeng >= ch3)
        << evening << night << storm << haifeng;
    const json expected = {
        {{"title", "Cover"}, {"page", 1}},
        {{"title", "Chapter 1: The Light"},
         {"page", ch1},
         {"kids",
          {{{"title", "1.1 Evening"}, {"page", evening}}, {{"title", "1.2 Night"}, {"page", night}}}}},
        {{"title", "Chapter 2: The Storm"}, {"page", ch2}},
        {{"title", "第三章 灯塔"}, {"page", ch3}, {"kids", {{{"title", "第一节 海风"}, {"page", haifeng}}}}},
        {{"title", "Notes"}, {"page", notes}},
    };
    EXPECT_EQ(testing_support::OutlineTitles(summary["outline"]), expected) << summary["outline"].dump();
    EXPECT_LT(summary["outline"][1]["kids"][1]["zoom"][1].get<double>(), 700);

    std::set<int> targets;
    int web = 0;
    for (const auto& link : summary["links"]) {
        if (link.contains("uri")) {
            EXPECT_EQ(link["uri"], "https://example.org/lighthouses");
            ++web;
        } else {
            ASSERT_TRUE(link.contains("dest") && link["dest"].is_number()) << link.dump();
            targets.insert(link["dest"].get<int>());
            EXPECT_EQ(link["border"], json::parse("[0, 0, 0]"));
        }
    }
    EXPECT_EQ(web, 1);
    EXPECT_EQ(targets, (std::set<int>{ch1, storm, night, haifeng, notes}));
    EXPECT_EQ(summary["info"]["Title"], "The Lighthouse Keeper");
    EXPECT_EQ(summary["info"]["Author"], "Mara Lind,Chen Wei");
    EXPECT_EQ(summary["info"]["Creator"], engine::ConversionJob::CreatorText());
    EXPECT_EQ(summary["info"]["Producer"], engine::ConversionJob::CreatorText());
    EXPECT_EQ(engine::ConversionJob::CreatorText().size(), 12u);
}

// A chapter the browser cannot print is left out with a warning; the chapters after it still print.
TEST_F(ConversionTest, AChapterThatFailsToPrintIsLeftOut) {
    engine::ConversionJob job(Book("failing-middle.epub"));
    ASSERT_TRUE(job.Run(out / "f.pdf", nullptr));
    // Its bytes are not text either: the encoding is named first.
    ASSERT_EQ(job.Warnings().size(), 2u);
    EXPECT_NE(job.Warnings()[0].find("OEBPS/ch3.bin is not valid UTF-8"), std::string::npos)
        << job.Warnings()[0];
    EXPECT_NE(job.Warnings()[1].find("chapter 3 (OEBPS/ch3.bin) could not be printed"), std::string::npos)
        << job.Warnings()[1];
    EXPECT_NE(job.Warnings()[1].find("; it was left out"), std::string::npos) << job.Warnings()[1];
    const std::string text = PdfText(out / "f.pdf");
    for (const char* chapter : {"Text of chapter 2.", "Text of chapter 4.", "Text of chapter 5."})
        EXPECT_NE(text.find(chapter), std::string::npos) << chapter;
    const json summary = PdfSummary(out / "f.pdf");
    EXPECT_EQ(
        testing_support::OutlineTitles(summary["outline"]),
        json::parse(R"([{"title":"One","page":1},{"title":"Two","page":2,"kids":[{"title":"Two.1","page":2},
                  {"title":"Into four","page":3}]},{"title":"Four","page":3},{"title":"Five","page":4}])"));
}

// A chapter whose script never ends costs the bound of the settings, not the book: it is left out, its
// browser goes, and the next chapter prints in a new one. A dialog that nobody answers is dismissed. A
// chapter that prints more pages than the bound is left out.
TEST_F(ConversionTest, ABadChapterCostsSecondsNotTheBook) {
    engine::EngineSettings settings;
    settings.chapterSeconds = 2;
    const auto start = std::chrono::steady_clock::now();
    engine::ConversionJob loop(Book("hang-loop.epub"), settings);
    ASSERT_TRUE(loop.Run(out / "loop.pdf", nullptr)) << loop.FailureReason();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(loop.Warnings(),
              std::vector<std::string>{"chapter 2 (OEBPS/ch2.xhtml) could not be printed: the page "
                                       "did not load within 2 s; it was left out"});
    std::string text = PdfText(out / "loop.pdf");
    EXPECT_NE(text.find("Text of chapter 1."), std::string::npos);
    EXPECT_NE(text.find("Text of chapter 3."), std::string::npos);

    engine::ConversionJob alert(Book("hang-alert.epub"), settings);
    ASSERT_TRUE(alert.Run(out / "alert.pdf", nullptr)) << alert.FailureReason();
    EXPECT_TRUE(alert.Warnings().empty());
    EXPECT_NE(PdfText(out / "alert.pdf").find("Text of chapter 2."), std::string::npos);

    // A chapter that prints more pages than the bound is left out (its first chapter runs to several).
    settings.chapterPages = 2;
    engine::ConversionJob runaway(Book("anchors.epub"), settings);
    ASSERT_TRUE(runaway.Run(out / "runaway.pdf", nullptr)) << runaway.FailureReason();
    ASSERT_EQ(runaway.Warnings().size(), 1u);
    EXPECT_NE(runaway.Warnings()[0].find("chapter 1 (OEBPS/a.xhtml) could not be printed: it runs to more "
                                         "than the 2 pages allowed; it was left out"),
              std::string::npos)
        << runaway.Warnings()[0];
    EXPECT_EQ(PdfSummary(out / "runaway.pdf")["pages"], 2);
}

TEST_F(ConversionTest, CancellingAfterChapterTwoLeavesNothing) {
    engine::ConversionJob job(Book("four.epub"));
    EXPECT_FALSE(job.Run(out / "four.pdf", [](int p) { return p < 25; }));
    EXPECT_EQ(job.FailureReason(), "cancelled");
    EXPECT_TRUE(OutputFiles().empty());
}

TEST_F(ConversionTest, NeverTouchesWhatItDidNotMake) {
    // A folder of the temporary folder's name belongs to the user: it stays as it is.
    testing_support::WriteFile(out / "four/mine.txt", "user data");
    // So does a file named like a temporary file of the output.
    testing_support::WriteFile(out / "four.pdf.part", "more user data");
    engine::ConversionJob job(Book("four.epub"));
    ASSERT_TRUE(job.Run(out / "four.pdf", nullptr)) << job.FailureReason();
    EXPECT_EQ(testing_support::ReadFile(out / "four/mine.txt"), "user data");
    EXPECT_EQ(testing_support::ReadFile(out / "four.pdf.part"), "more user data");
    EXPECT_EQ(OutputFiles(), (std::set<std::string>{"four", "four.pdf", "four.pdf.part"}));

    // An output file with something in it is not the job's: it is neither written nor removed.
    testing_support::WriteFile(out / "taken.pdf", "someone's PDF");
    engine::ConversionJob taken(Book("four.epub"));
    EXPECT_FALSE(taken.Run(out / "taken.pdf", nullptr));
    EXPECT_EQ(testing_support::ReadFile(out / "taken.pdf"), "someone's PDF");
}

TEST_F(ConversionTest, RefusedBooksSayWhy) {
    const std::pair<const char*, const char*> cases[] = {
        {"broken-notzip.epub", "not a readable ZIP archive"},
        {"broken-nocontainer.epub", "no package document"},
        {"broken-nochapters.epub", "no chapter files"},
        {"missing.epub", "does not exist"},
        // The parser's own word on a file that is not XML, with the file and where.
        {"broken-opf.epub", "the package document OEBPS/content.opf is not well-formed: "},
        {"broken-container.epub", "META-INF/container.xml is not well-formed: "},
    };
    for (const auto& [name, reason] : cases) {
        engine::ConversionJob job(Book(name));
        EXPECT_FALSE(job.Run(out / "x.pdf", nullptr)) << name;
        EXPECT_NE(job.FailureReason().find(reason), std::string::npos) << name << ": " << job.FailureReason();
        if (std::string(reason).find("well-formed") != std::string::npos) {
            EXPECT_NE(job.FailureReason().find(" at offset "), std::string::npos) << job.FailureReason();
        }
        EXPECT_TRUE(OutputFiles().empty()) << name;
    }
}

TEST_F(ConversionTest, WhatABookLeftOutIsNamed) {
    const std::pair<const char*, const char*> cases[] = {
        {"missing-chapter.epub", "the chapter file ch2.xhtml is not in the book; it was left out"},
        {"broken-ncx.epub", "the table of contents OEBPS/toc.ncx is not well-formed: "},
    };
    for (const auto& [name, warning] : cases) {
        engine::ConversionJob job(Book(name));
        ASSERT_TRUE(job.Run(out / "w.pdf", nullptr)) << name << ": " << job.FailureReason();
        ASSERT_EQ(job.Warnings().size(), 1u) << name;
        EXPECT_NE(job.Warnings()[0].find(warning), std::string::npos) << job.Warnings()[0];
        if (std::string(warning).find("well-formed") != std::string::npos) {
            EXPECT_NE(job.Warnings()[0].find(" at offset "), std::string::npos) << job.Warnings()[0];
        }
        fs::remove(out / "w.pdf");
    }
}

// Books as current tools write them convert whole: a navigation document instead of an NCX, prefixed
// packages, a cover that must fit one page, an SVG page, a chapter that is HTML but not XML, one in the
// wrong encoding, an image in the spine; pre-paginated pages keep their own size; a book without any
// table of contents gets its chapters' titles.
TEST_F(ConversionTest, EveryKindOfBookConverts) {
    engine::ConversionJob job(Book("epub3-nav.epub"));
    ASSERT_TRUE(job.Run(out / "nav.pdf", nullptr)) << job.FailureReason();
    const json summary = PdfSummary(out / "nav.pdf");
    EXPECT_EQ(summary["pages"], 6);  // the cover on one page, the picture in the spine, one page per chapter
    EXPECT_EQ(summary["info"]["Title"], "The Main Title");
    EXPECT_EQ(summary["info"]["Author"], "Ann Author,Bob Builder");
    // The document describes itself from the book: its language, every creator, its identifier and date;
    // the viewer shows its title; every page is reachable from one structure tree.
    EXPECT_EQ(summary["lang"], "de-CH");
    EXPECT_EQ(summary["display_title"], true);
    const std::string xmp = summary["xmp"];
    for (const char* expected : {"<rdf:li xml:lang=\"x-default\">The Main Title</rdf:li>",
                                 "<rdf:Seq><rdf:li>Ann Author</rdf:li><rdf:li>Bob Builder</rdf:li></rdf:Seq>",
                                 "<rdf:li>de-CH</rdf:li>", "<dc:identifier>urn:uuid:1234</dc:identifier>",
                                 "<rdf:li>2001-02-03</rdf:li>", "<pdf:Producer>epub2pdf"}) {
        EXPECT_NE(xmp.find(expected), std::string::npos) << expected << "\n" << xmp;
    }
    EXPECT_EQ(summary["structure"],
              json({{"pages_marked", 6}, {"pages_resolved", 6}, {"distinct", 6}, {"kids", 1}}));
    const json outline = json::parse(R"([{"title": "Cover", "page": 1},
        {"title": "Part One", "page": 3, "kids": [{"title": "1.1 The first chapter", "page": 3},
                                                  {"title": "1.2 A map", "page": 4}]},
        {"title": "Loose HTML", "page": 5}, {"title": "Quotes", "page": 6}])");
    EXPECT_EQ(testing_support::OutlineTitles(summary["outline"]), outline) << summary["outline"].dump();
    const std::string text = PdfText(out / "nav.pdf");
    for (const char* expected : {"Text of the first chapter.", "Map of the land", "loose text end.",
                                 "She said \u201Chello\u201D twice."}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    }
    EXPECT_EQ(text.find("error"), std::string::npos) << text;
    // The cover is one image filling the page's width or height (not split, not shrunk to its box).
    // pdfimages: page num type width height color comp bpc enc interp object ID x-ppi y-ppi ...
    auto images = testing_support::RunCommand("pdfimages -list -f 1 -l 1 " + ShellQuote(out / "nav.pdf"));
    const size_t row = images.output.find("\n   1     0 image       2     3 ");
    ASSERT_NE(row, std::string::npos) << images.output;
    std::istringstream fields(images.output.substr(row));
    std::string field;
    double yPpi = 0;
    for (int i = 0; i < 14 && fields >> field; ++i) yPpi = i == 13 ? std::stod(field) : 0;
    EXPECT_GT(3 / yPpi, 8.0) << "inches high\n" << images.output;  // the page's height less its margins
    std::vector<std::string> warnings = job.Warnings();
    std::sort(warnings.begin(), warnings.end());
    const std::vector<std::string> expectedWarnings = {
        "the chapter file OPS/text/quotes.xhtml is not valid UTF-8; it was read as Windows-1252"};
    EXPECT_EQ(warnings, expectedWarnings);

    engine::ConversionJob fixed(Book("fixed-layout.epub"));
    ASSERT_TRUE(fixed.Run(out / "fixed.pdf", nullptr)) << fixed.FailureReason();
    auto info = testing_support::RunCommand("pdfinfo -f 1 -l 2 " + ShellQuote(out / "fixed.pdf"));
    EXPECT_NE(info.output.find("Pages:           2"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Page    1 size:  450 x 600 pts"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Page    2 size:  450 x 600 pts"), std::string::npos) << info.output;
    EXPECT_EQ(testing_support::OutlineTitles(PdfSummary(out / "fixed.pdf")["outline"]),
              json::parse(R"([{"title": "Page one", "page": 1}, {"title": "Page two", "page": 2}])"));

    engine::ConversionJob untitled(Book("no-toc.epub"));
    ASSERT_TRUE(untitled.Run(out / "no-toc.pdf", nullptr)) << untitled.FailureReason();
    EXPECT_EQ(testing_support::OutlineTitles(PdfSummary(out / "no-toc.pdf")["outline"]),
              json::parse(R"([{"title": "Morning", "page": 1}, {"title": "Evening", "page": 2},
                              {"title": "c", "page": 3}])"));
    EXPECT_TRUE(untitled.Warnings().empty());
}

// How many pixels of each page are red, rendered at 24 dpi.
std::vector<int> RedPixels(const std::string& pdf, const std::string& folder) {
    const std::string prefix = folder + "/red";
    testing_support::RunCommand("pdftoppm -r 24 " + ShellQuote(pdf) + " " + ShellQuote(prefix));
    std::vector<std::string> files;
    for (auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().rfind("red-", 0) == 0)
            files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    std::vector<int> counts;
    for (const std::string& file : files) {
        const std::string bytes = testing_support::ReadFile(file);
        fs::remove(file);
        int width = 0, height = 0, max = 0, used = 0;
        if (std::sscanf(bytes.c_str(), "P6 %d %d %d%n", &width, &height, &max, &used) != 3)
            continue;
        int red = 0;
        for (size_t i = static_cast<size_t>(used) + 1; i + 2 < bytes.size(); i += 3) {
            const auto r = static_cast<unsigned char>(bytes[i]), g = static_cast<unsigned char>(bytes[i + 1]),
                       b = static_cast<unsigned char>(bytes[i + 2]);
            red += r > 200 && g < 80 && b < 80;
        }
        counts.push_back(red);
    }
    return counts;
}

// The sizes of a PDF's pages in points, as poppler reads them.
std::vector<std::pair<double, double>> PageSizes(const std::string& pdf) {
    const std::string info = testing_support::RunCommand("pdfinfo -f 1 -l 999 " + ShellQuote(pdf)).output;
    std::vector<std::pair<double, double>> sizes;
    std::istringstream lines(info);
    for (std::string line; std::getline(lines, line);) {
        int page = 0;
        double width = 0, height = 0;
        if (std::sscanf(line.c_str(), "Page %d size: %lf x %lf", &page, &width, &height) == 3)
            sizes.emplace_back(width, height);
    }
    return sizes;
}

// A pre-paginated book prints each page at its viewport (the book's where the page's cannot be read),
// what lies outside cut off; in spreads, right to left, with a blank page where a page would fall on
// the wrong side, and says so.
TEST_F(ConversionTest, FixedLayoutSpreadsRightToLeft) {
    engine::ConversionJob job(Book("rtl-spreads.epub"));
    const std::string pdf = out / "spreads.pdf";
    ASSERT_TRUE(job.Run(pdf, nullptr)) << job.FailureReason();
    const std::vector<std::pair<double, double>> sizes = {
        {450, 600}, {450, 600}, {450, 600}, {375, 525}, {375, 525}};
    EXPECT_EQ(PageSizes(pdf), sizes);
    for (const auto& [page, text] : std::vector<std::pair<int, std::string>>{
             {1, "Spread page one"}, {2, ""}, {3, "Spread page two"}, {4, "Spread page three"}}) {
        const std::string shown = testing_support::RunCommand(util::FormatString("pdftotext -f %d -l %d %s -",
                                                                                 page, page, ShellQuote(pdf)))
                                      .output;
        if (text.empty())
            EXPECT_EQ(shown.find_first_not_of(" \n\f"), std::string::npos) << shown;
        else
            EXPECT_NE(shown.find(text), std::string::npos) << page << ": " << shown;
    }
    // The red beyond each viewport is cut off, not shrunk onto the page.
    EXPECT_EQ(RedPixels(pdf, out.Path()), std::vector<int>(5, 0));
    const json summary = PdfSummary(pdf);
    EXPECT_EQ(summary["page_layout"], "/TwoPageRight");
    EXPECT_EQ(summary["direction"], "/R2L");
    EXPECT_EQ(testing_support::RunCommand("qpdf --check " + ShellQuote(pdf)).exitCode, 0);
    const std::vector<std::string> warnings = {
        "the viewport of OEBPS/p3.xhtml cannot be read; it was printed at 500 by 700 pixels",
        "a blank page was put before OEBPS/p2.xhtml so that it falls on the side of the spread the book asks "
        "for"};
    EXPECT_EQ(job.Warnings(), warnings);
}

// The layout books of the W3C reading-system tests, judged by what their pages say passes: no red beyond
// an initial containing block, the first of several or repeated declarations, units ignored, spreads
// asked for unless the book says none, a page moved to the side it asks for, a picture's fallback
// printed, a scrolled book's documents one page each, right to left declared.
TEST_F(ConversionTest, W3cLayoutBooks) {
    const std::string w3c = testing_support::W3cDir();
    if (!fs::exists(w3c + "/lay-fxl-xhtml-icb.epub"))
        GTEST_SKIP() << "no W3C test books in " << w3c;
    const struct {
        const char* name;
        std::vector<int> red;                          // per page; empty: not counted
        std::vector<std::pair<double, double>> sizes;  // empty: not compared
        const char* layout;                            // the catalog's /PageLayout, or null
        const char* direction;
        size_t warnings;
    } cases[] = {
        {"lay-fxl-xhtml-icb", {0, 0, 0, 0}, {4, {675, 450}}, "/TwoPageRight", nullptr, 0},
        {"lay-fxl-xhtml-icb_invalid_meta", {0, 0}, {2, {675, 450}}, "/TwoPageRight", nullptr, 0},
        {"lay-fxl-xhtml-icb_repeated-in-meta", {0, 0}, {2, {675, 450}}, "/TwoPageRight", nullptr, 0},
        {"lay-fxl-xhtml-icb_multi_declarations", {}, {2, {750, 450}}, nullptr, nullptr, 0},
        {"lay-fxl-xhtml-icb_units", {}, {2, {750, 450}}, nullptr, nullptr, 0},
        {"lay-fxl-spread-none", {}, {}, nullptr, nullptr, 0},
        {"fxl-page-spread-break", {}, {5, {675, 450}}, "/TwoPageRight", nullptr, 1},
        {"lay-pp-spine-overrides_image-spine-pp",
         {},
         {{750, 450}, {612, 792}, {612, 792}, {612, 792}, {612, 792}},
         nullptr,
         nullptr,
         0},
        {"lay-pkg-flow-scrolled-doc", {}, {}, "/OneColumn", nullptr, 0},
        {"lay-reflow-align-x-center", {}, {}, nullptr, "/R2L", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        engine::ConversionJob job(w3c + "/" + c.name + ".epub");
        const std::string pdf = out / (std::string(c.name) + ".pdf");
        ASSERT_TRUE(job.Run(pdf, nullptr)) << job.FailureReason();
        EXPECT_EQ(job.Warnings().size(), c.warnings) << (job.Warnings().empty() ? "" : job.Warnings()[0]);
        const std::vector<int> red = RedPixels(pdf, out.Path());
        if (!c.red.empty()) {
            EXPECT_EQ(red, c.red);
        } else if (std::string(c.name) == "lay-fxl-xhtml-icb_units") {
            EXPECT_TRUE(red.size() == 2 && red[0] == red[1]) << "the two pages look alike";
        }
        if (!c.sizes.empty()) {
            EXPECT_EQ(PageSizes(pdf), c.sizes);
        }
        const json summary = PdfSummary(pdf);
        EXPECT_EQ(summary["page_layout"], c.layout ? json(c.layout) : json());
        EXPECT_EQ(summary["direction"], c.direction ? json(c.direction) : json());
        if (std::string(c.name) == "lay-pkg-flow-scrolled-doc") {
            const std::vector<std::pair<double, double>> sizes = PageSizes(pdf);
            ASSERT_EQ(sizes.size(), 4u);  // one page a document, each as tall as its content
            for (const auto& [width, height] : sizes) EXPECT_EQ(width, 612);
            EXPECT_GT(sizes[3].second, 5000);
        }
        fs::remove(pdf);
    }
}

// Each chapter's PDF holds the browser's own subset of every face it draws; the book holds one font per
// face, which draws every page exactly as the chapters' subsets did and reads the same, and two faces
// stay two fonts.
TEST_F(ConversionTest, SubsetsOfOneFaceBecomeOneFont) {
    engine::EngineSettings asMerged;
    asMerged.compact = false;
    engine::ConversionJob plain(Book("two-faces.epub"), asMerged);
    ASSERT_TRUE(plain.Run(out / "plain.pdf", nullptr)) << plain.FailureReason();
    engine::ConversionJob compact(Book("two-faces.epub"));
    ASSERT_TRUE(compact.Run(out / "compact.pdf", nullptr)) << compact.FailureReason();

    const auto before = testing_support::FontsByFace(out / "plain.pdf");
    const auto after = testing_support::FontsByFace(out / "compact.pdf");
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(before.at("DejaVuSans").size(), 2u);
    EXPECT_EQ(before.at("DejaVuSerif").size(), 2u);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after.at("DejaVuSans").size(), 1u);
    EXPECT_EQ(after.at("DejaVuSerif").size(), 1u);
    EXPECT_LT(fs::file_size(out / "compact.pdf"), fs::file_size(out / "plain.pdf"));

    const std::string text = PdfText(out / "compact.pdf");
    EXPECT_EQ(text, PdfText(out / "plain.pdf"));
    for (const char* words : {"Alpha jumps", "Serif hello", "Zebra quiz", "Woven text"})
        EXPECT_NE(text.find(words), std::string::npos) << words << "\n" << text;
    EXPECT_TRUE(testing_support::RunCommand("qpdf --check " + ShellQuote(out / "compact.pdf")).exitCode == 0);

    // Every page renders to the same pixels, and not to a blank page.
    EXPECT_EQ(testing_support::RenderingDifference(out / "plain.pdf", out / "compact.pdf", 2, out.Path()),
              "");
}

// Every page is the paper's exact size, as poppler reads it back, though the browser rounds the paper it
// prints on (A4 came out 595.92 x 841.92 pt).
TEST_F(ConversionTest, PagesHaveThePapersExactSize) {
    const struct {
        const char* paper;
        bool landscape;
        double width, height;  // points
    } cases[] = {
        {"A4", false, 595.276, 841.89},         {"A5", false, 419.528, 595.276}, {"Letter", false, 612, 792},
        {"100x150mm", false, 283.465, 425.197}, {"A4", true, 841.89, 595.276},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.paper) + (c.landscape ? " landscape" : ""));
        engine::EngineSettings settings;
        ASSERT_EQ(engine::ParsePaper(c.paper, settings.page), "");
        settings.page.landscape = c.landscape;
        engine::ConversionJob job(Book("small-01.epub"), settings);
        const std::string pdf = out / "paper.pdf";
        ASSERT_TRUE(job.Run(pdf, nullptr)) << job.FailureReason();
        const std::string info = testing_support::RunCommand("pdfinfo -f 1 -l 9 " + ShellQuote(pdf)).output;
        int pages = 0;
        std::istringstream lines(info);
        for (std::string line; std::getline(lines, line);) {
            int page = 0;
            double width = 0, height = 0;
            // "Page    1 size:  595.276 x 841.89 pts (A4)"
            if (std::sscanf(line.c_str(), "Page %d size: %lf x %lf", &page, &width, &height) != 3)
                continue;
            EXPECT_NEAR(width, c.width, 0.05) << info;
            EXPECT_NEAR(height, c.height, 0.05) << info;
            ++pages;
        }
        EXPECT_EQ(pages, 2) << info;
        fs::remove(pdf);
    }
}

// Page numbers count the whole book (not each chapter) and sit where the setup says, outside: right on
// odd pages, left on even ones; the title runs at the head of every page but the first; the paper is the
// setup's.
TEST_F(ConversionTest, PageNumbersAndHeaderOverTheWholeBook) {
    engine::EngineSettings settings;
    ASSERT_EQ(engine::ParsePaper("A5", settings.page), "");
    ASSERT_EQ(engine::ParseMargins("15mm", settings.page), "");
    settings.page.pageNumbers = true;
    settings.page.numberPosition = engine::NumberPosition::Outside;
    settings.page.header = true;
    engine::ConversionJob job(Book("four.epub"), settings);
    const std::string pdf = out / "numbered.pdf";
    ASSERT_TRUE(job.Run(pdf, nullptr)) << job.FailureReason();
    EXPECT_TRUE(job.Warnings().empty());
    auto info = testing_support::RunCommand("pdfinfo " + ShellQuote(pdf));
    EXPECT_NE(info.output.find(" 419.528 x 595.276 pts"), std::string::npos) << info.output;  // A5
    const json summary = PdfSummary(pdf);
    const int pages = summary["pages"];
    ASSERT_EQ(pages, 4);
    EXPECT_EQ(summary["page_labels"], json::parse(R"([{"index": 0, "label": {"/S": "/D", "/St": 1}}])"));
    EXPECT_EQ(summary["structure"]["pages_resolved"], 4);  // the drawing is pagination, outside the text
    for (int page = 1; page <= pages; ++page) {
        // Words with their boxes: <word xMin="..." yMin="..." xMax="..." yMax="...">text</word>
        const std::string words =
            testing_support::RunCommand(
                util::FormatString("pdftotext -bbox -f %d -l %d %s -", page, page, ShellQuote(pdf)))
                .output;
        auto box = [&](const std::string& word) {  // of its last occurrence
            const size_t end = words.rfind(">" + word + "</word>");
            const size_t start = words.rfind("<word", end);
            std::array<double, 4> b{};
            if (end == std::string::npos || start == std::string::npos)
                return b;
            std::sscanf(words.c_str() + start, "<word xMin=\"%lf\" yMin=\"%lf\" xMax=\"%lf\" yMax=\"%lf\"",
                        &b[0], &b[1], &b[2], &b[3]);
            return b;
        };
        const auto number = box(std::to_string(page));
        const auto title = box("Book");  // "Test Book"
        if (page == 1) {
            // The first page (a cover, a title page) counts, but shows neither: its "1" is the heading's.
            EXPECT_LT(number[1], 595.28 - 15 / 25.4 * 72) << words;
            EXPECT_EQ(words.find(">Book</word>"), std::string::npos) << words;
            continue;
        }
        EXPECT_GT(number[1], 595.28 - 15 / 25.4 * 72) << "in the bottom margin, page " << page << "\n"
                                                      << words;
        EXPECT_LT(title[3], 15 / 25.4 * 72) << "in the top margin, page " << page << "\n" << words;
        if (page % 2 == 1)
            EXPECT_GT(number[0], 419.53 / 2) << "right, page " << page;
        else
            EXPECT_LT(number[2], 419.53 / 2) << "left, page " << page;
        EXPECT_NE(words.find(">Chapter</word>"), std::string::npos) << words;
    }
}

// Bookmarks and links go to the page of the element they name, within a chapter and between chapters;
// an empty marker before a forced page break counts as the content after the break; a link to an
// element or a file that is not there is no link.
TEST_F(ConversionTest, BookmarksAndLinksLandOnTheirTargets) {
    engine::ConversionJob job(Book("anchors.epub"));
    ASSERT_TRUE(job.Run(out / "anchors.pdf", nullptr)) << job.FailureReason();
    const std::string pdf = out / "anchors.pdf";
    const json summary = PdfSummary(pdf);
    const int pages = summary["pages"];
    const int far = PageWith(pdf, "Far heading", pages);
    const int marker = PageWith(pdf, "After the break", pages);
    const int intro = PageWith(pdf, "Intro of the second chapter.", pages);
    ASSERT_TRUE(far > 2 && intro > far && marker == intro + 1) << far << " " << intro << " " << marker;
    EXPECT_EQ(
        testing_support::OutlineTitles(summary["outline"]),
        json::parse(util::FormatString(R"([{"title": "A", "page": 1, "kids": [{"title": "Far", "page": %d}]},
                                                 {"title": "Marker", "page": %d}])",
                                       far, marker)));
    json seen = json::array();
    for (const auto& link : summary["links"])
        seen.push_back({{"page", link["page"]}, {"dest", link.value("dest", json())}});
    EXPECT_EQ(seen, json::parse(util::FormatString(R"([{"page": 1, "dest": %d}, {"page": 1, "dest": %d}])",
                                                   far, marker)))
        << summary["links"].dump();
    EXPECT_NE(PdfText(pdf).find("to nothing to gone"), std::string::npos);  // the text stays
}

// Names in any script and form land (names.epub of make_books.py): kanji, kana, Cyrillic, spaces,
// percent signs and escapes, composed against decomposed, characters the browser escapes in its names;
// every bookmark and every link, within a chapter and between chapters, reaches its target's page, none
// is missing, dead or a file: URL.
TEST_F(ConversionTest, NamesInEveryScriptAndFormLand) {
    engine::ConversionJob job(Book("names.epub"));
    ASSERT_TRUE(job.Run(out / "names.pdf", nullptr)) << job.FailureReason();
    const json counts = testing_support::Landing(Book("names.epub"), out / "names.pdf");
    EXPECT_EQ(counts, json::parse(R"({"bookmarks": 42, "bookmarks_right": 42, "links": 96, "links_right": 96,
                                      "links_unmatched": 0, "links_missing": 0, "dead_links": 0,
                                      "file_urls": 0})"));
}

TEST_F(ConversionTest, AChapterReadsNothingButItsBook) {
    engine::ConversionJob job(Book("leaky.epub"));
    ASSERT_TRUE(job.Run(out / "leaky.pdf", nullptr)) << job.FailureReason();
    const std::string text = PdfText(out / "leaky.pdf");
    EXPECT_NE(text.find("Leaky chapter"), std::string::npos);
    EXPECT_EQ(text.find("TOP-SECRET-MARKER"), std::string::npos);
    EXPECT_GE(job.BlockedRequests(), 4);
    // The book's own image is drawn; the web link is still a link.
    auto images = testing_support::RunCommand("pdfimages -list " + ShellQuote(out / "leaky.pdf"));
    EXPECT_NE(images.output.find(" image       1     1 "), std::string::npos) << images.output;
    bool webLink = false;
    const json summary = PdfSummary(out / "leaky.pdf");
    for (const auto& link : summary["links"])
        webLink = webLink || link.value("uri", "") == "https://example.org/page";
    EXPECT_TRUE(webLink);
}

// A chapter's script cannot carry the book out through channels the request policy does not see: a
// WebSocket (also one taken from a fresh frame or a worker) and WebRTC reach listeners on this machine
// with nothing.
TEST_F(ConversionTest, APageOpensNoChannelOut) {
    const int tcp = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int udp = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(tcp, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(tcp, 8), 0);
    ASSERT_EQ(::getsockname(tcp, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const int tcpPort = ntohs(address.sin_port);
    address.sin_port = 0;
    ASSERT_EQ(::bind(udp, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::getsockname(udp, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const int udpPort = ntohs(address.sin_port);

    // clang-format off
    const std::string script = util::FormatString(R"JS(
const text = encodeURIComponent(document.body.textContent);
const tries = [
  () => new WebSocket('ws://127.0.0.1:%d/page?' + text),
  () => { const f = document.createElement('iframe'); document.body.appendChild(f);
          return new f.contentWindow.WebSocket('ws://127.0.0.1:%d/frame?' + text); },
  () => new Worker(URL.createObjectURL(new Blob(["new WebSocket('ws://127.0.0.1:%d/worker')"]))),
  () => { const pc = new RTCPeerConnection({iceServers: [{urls: 'stun:127.0.0.1:%d'}]});
          pc.createDataChannel('x'); pc.createOffer().then(o => pc.setLocalDescription(o)); },
];
for (const t of tries) { try { t(); } catch (e) {} }
)JS", tcpPort, tcpPort, tcpPort, udpPort);
    // clang-format on
    const std::string epub = out / "channels.epub";
    testing_support::WriteFile(out / "chapter.js", script);
    auto made = testing_support::RunCommand("python3 -c " + ShellQuote(R"(import sys, zipfile
z = zipfile.ZipFile(sys.argv[1], "w")
z.writestr("mimetype", "application/epub+zip")
z.writestr("META-INF/container.xml", '<container xmlns="urn:oasis:names:tc:opendocument:xmlns:container"><rootfiles><rootfile full-path="c.opf" media-type="application/oebps-package+xml"/></rootfiles></container>')
z.writestr("c.opf", '<package xmlns="http://www.idpf.org/2007/opf"><manifest><item id="a" href="a.xhtml" media-type="application/xhtml+xml"/></manifest><spine><itemref idref="a"/></spine></package>')
z.writestr("a.xhtml", '<html xmlns="http://www.w3.org/1999/xhtml"><head><title>Secret</title></head><body><p>SECRET-TEXT-4711</p><script src="a.js"></script></body></html>')
z.write(sys.argv[2], "a.js")
)") + " " + ShellQuote(epub) + " " + ShellQuote(out / "chapter.js"));
    ASSERT_EQ(made.exitCode, 0) << made.output;

    engine::ConversionJob job(epub);
    ASSERT_TRUE(job.Run(out / "channels.pdf", nullptr)) << job.FailureReason();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const int accepted = ::accept4(tcp, nullptr, nullptr, SOCK_CLOEXEC);
    char datagram[512];
    const ssize_t received = ::recv(udp, datagram, sizeof datagram, 0);
    EXPECT_LT(accepted, 0) << "a WebSocket connected";
    EXPECT_LT(received, 0) << "WebRTC sent a datagram";
    if (accepted >= 0)
        ::close(accepted);
    ::close(tcp);
    ::close(udp);
    EXPECT_NE(PdfText(out / "channels.pdf").find("SECRET-TEXT-4711"), std::string::npos);
}

class WorkerTest : public ConversionTest {
  protected:
    // Runs the worker to the end, recording notifications.
    void RunToEnd(engine::ConversionWorker& worker) {
        std::unique_lock lock(mutex);
        over = false;
        worker.Start([this](const std::shared_ptr<engine::ConversionItem>& item, int code) {
            std::lock_guard l(mutex);
            if (code == engine::ConversionWorker::kRunOver) {
                ++runOvers;
                over = true;
                cv.notify_all();
                return;
            }
            if (!item)
                return;
            notified.insert(item->epubPath);
            if (item->State() == engine::ItemState::Converting) {
                converting.insert(item.get());
            } else {
                converting.erase(item.get());
            }
            maxConcurrent = std::max(maxConcurrent, converting.size());
        });
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::minutes(10), [this] { return over; }));
    }
    std::mutex mutex;
    std::condition_variable cv;
    bool over = false;
    int runOvers = 0;
    std::set<std::string> notified;
    std::set<const engine::ConversionItem*> converting;
    size_t maxConcurrent = 0;
};

TEST_F(WorkerTest, BrokenBooksFailAloneAndDoneOnesAreNotRedone) {
    engine::ConversionWorker worker(out / "work");
    EXPECT_TRUE(worker.IsEmpty());
    auto good = worker.AddItem(Book("four.epub"));
    auto bad = worker.AddItem(Book("broken-notzip.epub"));
    ASSERT_TRUE(good && bad);
    EXPECT_EQ(worker.AddItem(Book("four.epub")), nullptr);  // the same path twice
    EXPECT_FALSE(worker.Contains(Book("Four.EPUB")));       // another file: paths compare exactly
    EXPECT_EQ(good->State(), engine::ItemState::Ready);
    EXPECT_EQ(good->PdfPath(), out / "work/four.pdf");
    EXPECT_EQ(worker.OutputPathOf(Book("four.epub")), "");

    RunToEnd(worker);
    EXPECT_FALSE(worker.IsBusy());
    EXPECT_EQ(runOvers, 1);
    EXPECT_TRUE(good->Done());
    EXPECT_EQ(good->State(), engine::ItemState::Converted);
    EXPECT_EQ(good->progress, 100);
    EXPECT_TRUE(bad->Failed());
    EXPECT_EQ(bad->State(), engine::ItemState::Failed);
    EXPECT_NE(bad->FailureReason().find("ZIP"), std::string::npos);
    EXPECT_EQ(worker.OutputPathOf(Book("four.epub")), out / "work/four.pdf");

    // Again: the converted book is skipped without a notification; the failed one is retried.
    notified.clear();
    RunToEnd(worker);
    EXPECT_EQ(runOvers, 2);
    EXPECT_EQ(notified, std::set<std::string>{Book("broken-notzip.epub")});
    EXPECT_EQ(good->PdfPath(), out / "work/four.pdf");  // not converted into four(1).pdf
}

TEST_F(WorkerTest, SameNamesGetTheirOwnFilesAndUserFilesStay) {
    testing_support::WriteFile(out / "same.pdf", "the user's own PDF");
    engine::ConversionWorker worker(out.Path());
    worker.AddItem(Book("a/same.epub"));
    worker.AddItem(Book("b/same.epub"));
    RunToEnd(worker);
    EXPECT_EQ(testing_support::ReadFile(out / "same.pdf"), "the user's own PDF");
    std::set<std::string> pdfs;
    for (const auto& item : worker.Items()) {
        EXPECT_TRUE(item->Done()) << item->FailureReason();
        pdfs.insert(item->PdfPath());
    }
    EXPECT_EQ(pdfs, (std::set<std::string>{out / "same(1).pdf", out / "same(2).pdf"}));
}

TEST_F(WorkerTest, TwentyFiveBooksAtMostTwentyAtOnce) {
    engine::ConversionWorker worker(out.Path());
    for (int i = 1; i <= 25; ++i) worker.AddItem(Book(util::FormatString("small-%02d.epub", i)));
    RunToEnd(worker);
    for (const auto& item : worker.Items())
        EXPECT_TRUE(item->Done()) << item->epubPath << ": " << item->FailureReason();
    EXPECT_LE(maxConcurrent, 20u);
    EXPECT_GT(maxConcurrent, 1u);
    EXPECT_EQ(OutputFiles().size(), 25u);
}

// A stop ends the run at once, in a chapter that hangs or not: no browser starts after it, none is left
// running, and no temporary folder or partial PDF stays.
TEST_F(WorkerTest, StopStopsAtOnceEvenInAHungChapter) {
    for (const char* hung : {"hang-loop.epub"}) {
        SCOPED_TRACE(hung);
        TempDir books, config, output;
        // Every browser start is written down by a wrapper around Chromium.
        const std::string log = config / "launches.log";
        const std::string wrapper = config / "chromium-wrapper";
        testing_support::WriteFile(wrapper, "#!/bin/sh\necho started >> " + ShellQuote(log) + "\nexec " +
                                                testing_support::ChromiumPath() + " \"$@\"\n");
        fs::permissions(wrapper, fs::perms::owner_all);
        engine::EngineSettings settings;
        settings.browser.browserPath = wrapper;
        auto launches = [&log] {
            const std::string text = testing_support::ReadFile(log);
            return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
        };

        // Eight books at once, as many as threads: the first hangs in its second chapter while the
        // others wait for their turn at the browser manager.
        engine::ConversionWorker worker(output.Path(), 8, settings);
        for (int i = 1; i <= 8; ++i) {
            const std::string copy = books / util::FormatString("b%d.epub", i);
            fs::copy_file(Book(hung), copy);
            worker.AddItem(copy);
        }
        worker.Start([](const std::shared_ptr<engine::ConversionItem>&, int) {});
        for (int i = 0; i < 600 && launches() < 2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_GE(launches(), 2);
        std::this_thread::sleep_for(std::chrono::seconds(2));  // the first books are inside chapter 2 now

        const int before = launches();
        const auto start = std::chrono::steady_clock::now();
        worker.Stop();
        EXPECT_FALSE(worker.IsBusy());
        // Every browser is gone within the three seconds, its children included.
        EXPECT_TRUE(home.NoLeftovers(3000)) << "a browser outlived the stop";
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, 3.0);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        // A start already under way when the stop came may write its line after it: as many as start
        // at once (one a core, at least two), no more.
        EXPECT_LE(launches() - before, std::max(2, util::UsableCores())) << "browsers started after the stop";
        for (const auto& item : worker.Items()) EXPECT_FALSE(item->Done()) << item->epubPath;
        EXPECT_TRUE(fs::is_empty(output.Path())) << "a temporary folder or a partial PDF stayed";
    }
}

TEST_F(WorkerTest, StopCancelsRunningBooks) {
    engine::ConversionWorker worker(out.Path(), 2);
    for (int i = 1; i <= 6; ++i) worker.AddItem(Book(util::FormatString("small-%02d.epub", i)));
    std::mutex m;
    std::condition_variable started;
    bool any = false;
    worker.Start([&](const std::shared_ptr<engine::ConversionItem>&, int) {
        std::lock_guard l(m);
        any = true;
        started.notify_all();
    });
    {
        std::unique_lock l(m);
        started.wait(l, [&] { return any; });
    }
    worker.Stop();
    EXPECT_FALSE(worker.IsBusy());
    int done = 0;
    for (const auto& item : worker.Items()) done += item->Done() ? 1 : 0;
    EXPECT_LT(done, 6);
    // Whatever did not finish left no file behind.
    EXPECT_EQ(OutputFiles().size(), static_cast<size_t>(done));
}

}  // namespace
