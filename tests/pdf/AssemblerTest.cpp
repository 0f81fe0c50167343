#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>

#include "PdfFixtures.h"
#include "pdf/Assembler.h"
#include "support/TestSupport.h"
#include "util/Format.h"
#include "util/Urls.h"

namespace fs = std::filesystem;
using nlohmann::json;
using testing_support::FixtureLink;
using testing_support::MakeChapterPdf;
using testing_support::PdfSummary;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// Three printed chapters (3, 5 and 2 pages) of a book folder whose fourth chapter was not printed.
class AssemblerTest : public ::testing::Test {
  protected:
    TempDir dir;
    pdf::ChapterFiles chapterMap;
    std::atomic<bool> cancelled{false};
    std::string Book(const std::string& relative) { return dir / ("epub/OEBPS/" + relative); }
    std::string Output() { return dir / "out.pdf"; }

    pdf::Assembler& Assemble(const std::vector<std::vector<FixtureLink>>& links = {{}, {}, {}}) {
        assembler = std::make_unique<pdf::Assembler>(Output());
        for (const auto& [chapter, pdf] :
             testing_support::MakeThreeChapters(dir.Path(), dir / "epub/OEBPS", links)) {
            chapterMap[chapter] = pdf;
            EXPECT_TRUE(assembler->AddChapter(pdf, "")) << pdf;
        }
        return *assembler;
    }
    std::unique_ptr<pdf::Assembler> assembler;
};

TEST_F(AssemblerTest, MergesPagesAndWritesInformation) {
    auto& pdf = Assemble();
    EXPECT_EQ(pdf.PageOf(dir / "1.pd_"), 1);
    EXPECT_EQ(pdf.PageOf(dir / "2.pd_"), 4);
    EXPECT_EQ(pdf.PageOf(dir / "3.pd_"), 9);
    EXPECT_EQ(pdf.PageOf(""), 0);
    EXPECT_EQ(pdf.PageOf(dir / "unknown.pd_"), 0);
    pdf::Metadata metadata;
    metadata.title = "书名 Title";
    metadata.author = "Ann,Bob";
    metadata.creator = metadata.producer = "epub2pdf 0.1";
    pdf.SetMetadata(metadata);
    ASSERT_TRUE(pdf.SetOutline(nullptr));
    const util::Status written = pdf.Write();
    ASSERT_TRUE(written) << written.Reason();
    json summary = PdfSummary(Output());
    EXPECT_EQ(summary["pages"], 10);
    EXPECT_EQ(summary["info"]["Title"], "书名 Title");
    EXPECT_EQ(summary["info"]["Author"], "Ann,Bob");
    EXPECT_EQ(summary["info"]["Creator"], "epub2pdf 0.1");
    EXPECT_EQ(summary["info"]["Producer"], "epub2pdf 0.1");
    // Empty chapter titles: the fallback outline is empty, and the chapter's own bookmark is gone.
    EXPECT_TRUE(summary["outline"].empty());
    const std::string text = testing_support::PdfText(Output());
    EXPECT_NE(text.find("b b.xhtml page 5"), std::string::npos);
    EXPECT_FALSE(fs::exists(Output() + ".part"));
}

TEST_F(AssemblerTest, OutOfRangePagesPointToPageOneAndFallbackUsesTitles) {
    assembler = std::make_unique<pdf::Assembler>(Output());
    MakeChapterPdf(dir / "1.pd_", 2, "one");
    MakeChapterPdf(dir / "2.pd_", 2, "two");
    assembler->AddChapter(dir / "1.pd_", "Named chapter");
    assembler->AddChapter(dir / "2.pd_", "");
    auto root = std::make_shared<pdf::OutlineNode>();
    for (int page : {0, 3, 99, -1}) {
        auto node = std::make_shared<pdf::OutlineNode>();
        node->title = "p" + std::to_string(page);
        node->page = page;
        root->children.push_back(node);
    }
    ASSERT_TRUE(assembler->SetOutline(root));
    ASSERT_TRUE(assembler->Write());
    json pages = json::array();
    const json summary = PdfSummary(Output());
    for (const auto& item : summary["outline"]) pages.push_back(item["page"]);
    EXPECT_EQ(pages, json::parse("[1, 3, 1, 1]"));

    pdf::Assembler fallback(dir / "fallback.pdf");
    fallback.AddChapter(dir / "1.pd_", "Named chapter");
    fallback.AddChapter(dir / "2.pd_", "");
    fs::copy_file(dir / "1.pd_", dir / "3.pd_");
    fallback.AddChapter(dir / "3.pd_", "Again");
    ASSERT_TRUE(fallback.SetOutline(nullptr));
    ASSERT_TRUE(fallback.Write());
    EXPECT_EQ(testing_support::OutlineTitles(PdfSummary(dir / "fallback.pdf")["outline"]),
              json::parse(R"([{"title": "Named chapter", "page": 1}, {"title": "Again", "page": 5}])"));
}

// The links are rewritten in the merged document before it is written (as a conversion does), or in
// the written file afterwards: the result is the same.
class LinkPassTest : public AssemblerTest, public ::testing::WithParamInterface<bool> {};

// Links between and within chapters go to their target's page and height; a link to a file that was not
// printed, to an element its chapter does not name, or that is not a local file URL goes (its text
// stays), and so does any URI but http, https and mailto, and an annotation that cannot be read.
TEST_P(LinkPassTest, LinksLandAtTheirTargets) {
    const bool beforeWrite = GetParam();
    const std::string base = util::FileUrlFromPath(dir / "epub/OEBPS/");
    auto& pdf =
        Assemble({{{0, base + "c.xhtml#note"},
                   {1, "https://example.org/x"},
                   {1, "mailto:keeper@example.org"},
                   {1, "JavaScript:app.alert(1)"},
                   {1, "data:text/html,<b>x</b>"},
                   {2, base + "notes.xhtml"}},
                  {{0, base + "b%20b.xhtml?x=1"}, {4, base + "../OEBPS/a.xhtml"}, {2, "#here"}, {3, "#gone"}},
                  {{0, base + "a.xhtml#missing"},
                   {1, "file:relative.xhtml"},
                   {1, base + "d.xhtml"},
                   {0, "!entry"},
                   {1, "!uri"}}});
    if (beforeWrite) {
        ASSERT_TRUE(pdf.RewriteLinks(chapterMap, cancelled, Output()));
    }
    ASSERT_TRUE(pdf.Write());
    if (!beforeWrite) {
        const util::Status linked = pdf.RewriteLinks(chapterMap, cancelled, Output());
        ASSERT_TRUE(linked) << linked.Reason();
    }
    json links = PdfSummary(Output())["links"];
    json seen = json::array();
    for (const auto& link : links) {
        json entry = {{"page", link["page"]}};
        if (link.contains("uri"))
            entry["uri"] = link["uri"];
        if (link.contains("dest")) {
            entry["dest"] = link["dest"];
            entry["top"] = link["xyz"][1];
            EXPECT_EQ(link["border"], json::parse("[0, 0, 0]"));
        }
        seen.push_back(entry);
    }
    const json expected = {
        {{"page", 2}, {"uri", "https://example.org/x"}}, {{"page", 2}, {"uri", "mailto:keeper@example.org"}},
        {{"page", 1}, {"dest", 10}, {"top", 500}},       {{"page", 4}, {"dest", 4}, {"top", 792}},
        {{"page", 8}, {"dest", 1}, {"top", 792}},        {{"page", 6}, {"dest", 7}, {"top", 300}},
    };
    // Order within the file follows pages, then kept annotations before new ones.
    auto sorted = [](json j) {
        std::vector<std::string> v;
        for (auto& e : j) v.push_back(e.dump());
        std::sort(v.begin(), v.end());
        return v;
    };
    EXPECT_EQ(sorted(seen), sorted(expected)) << seen.dump();
    EXPECT_EQ(RunCommand("qpdf --check " + ShellQuote(Output())).exitCode, 0);
}
INSTANTIATE_TEST_SUITE_P(InMemoryAndInFile, LinkPassTest, ::testing::Bool());

// Chapters printed by Chromium without the hidden links to every element: ch1's link to its own anchor
// is a named destination, which lands at the anchor; ch2 names no "x", so ch1's link to ch2.xhtml#x goes.
TEST_F(AssemblerTest, RealChromiumChapterLinks) {
    const std::string data = testing_support::TestDataDir() + "/chromium/";
    pdf::Assembler pdf(Output());
    pdf.AddChapter(data + "ch1.pdf", "");
    pdf.AddChapter(data + "ch2.pdf", "");
    chapterMap["/tmp/epub2pdf-fixture/book/ch1.xhtml"] = data + "ch1.pdf";
    chapterMap["/tmp/epub2pdf-fixture/book/ch2.xhtml"] = data + "ch2.pdf";
    ASSERT_TRUE(pdf.Write());
    ASSERT_TRUE(pdf.RewriteLinks(chapterMap, cancelled, Output()));
    json summary = PdfSummary(Output());
    EXPECT_EQ(summary["pages"], 2);
    json seen = json::array();
    for (const auto& link : summary["links"]) {
        seen.push_back(link.contains("uri") ? json{{"page", link["page"]}, {"uri", link["uri"]}}
                                            : json{{"page", link["page"]}, {"dest", link["dest"]}});
        if (link.value("dest", 0) == 1 && link["page"] == 1) {
            EXPECT_LT(link["xyz"][1].get<double>(), 792) << "at the anchor, below the page's top";
        }
    }
    EXPECT_EQ(seen, json::parse(R"([{"page": 1, "uri": "https://example.org/"}, {"page": 1, "dest": 1},
                                    {"page": 2, "dest": 1}])"))
        << summary["links"].dump();
    EXPECT_NE(testing_support::PdfText(Output()).find("Chapter Two"), std::string::npos);
}

// Pages printed on the paper, which the browser rounds, get its exact size from their top-left corner
// (pdfinfo reads them back); a page of another size keeps its own, and destinations keep their heights.
TEST_F(AssemblerTest, PagesOfThePaperGetItsExactSize) {
    const double a4Width = 210 / 25.4 * 72, a4Height = 297 / 25.4 * 72;  // 595.28 x 841.89
    testing_support::MakeSizedPdf(dir / "1.pd_", {{595.92, 841.92}, {595.0, 842.5}});
    testing_support::MakeSizedPdf(dir / "2.pd_", {{450, 600}, {593.0, 841.92}});
    pdf::Assembler pdf(Output());
    pdf.SetPaper({a4Width, a4Height});
    ASSERT_TRUE(pdf.AddChapter(dir / "1.pd_", "First"));
    ASSERT_TRUE(pdf.AddChapter(dir / "2.pd_", "Second"));
    ASSERT_TRUE(pdf.SetOutline(nullptr));
    ASSERT_TRUE(pdf.Write());
    const std::string info = RunCommand("pdfinfo -box -f 1 -l 4 " + ShellQuote(Output())).output;
    // MediaBox: left, bottom, right, top.
    std::vector<std::array<double, 4>> boxes;
    for (size_t at = info.find("MediaBox:"); at != std::string::npos; at = info.find("MediaBox:", at + 1)) {
        std::array<double, 4> box{};
        std::sscanf(info.c_str() + at, "MediaBox: %lf %lf %lf %lf", &box[0], &box[1], &box[2], &box[3]);
        boxes.push_back(box);
    }
    ASSERT_EQ(boxes.size(), 4u) << info;
    const std::array<double, 4> expected[] = {{0, 841.92 - a4Height, a4Width, 841.92},
                                              {0, 842.5 - a4Height, a4Width, 842.5},
                                              {0, 0, 450, 600},
                                              {0, 0, 593, 841.92}};  // 2.3 pt narrower: another paper
    for (size_t page = 0; page < 4; ++page) {
        for (size_t side = 0; side < 4; ++side)
            EXPECT_NEAR(boxes[page][side], expected[page][side], 0.01) << "page " << page + 1 << "\n" << info;
    }
    EXPECT_EQ(PdfSummary(Output())["outline"][0]["zoom"], json::parse("[0, 841.92, 0]"));
    EXPECT_NE(testing_support::PdfText(Output()).find("page 2"), std::string::npos);
}

// In spreads each chapter begins on the side it asks for, a blank page (of the next page's size) put
// before it where it would not; a page that asks to be alone keeps the next chapter off its spread. The
// catalog asks for the layout and the direction.
TEST_F(AssemblerTest, SpreadsPutChaptersOnTheirSides) {
    using S = pdf::Side;
    const struct {
        const char* name;
        pdf::Spreads spreads;
        std::vector<S> sides;  // one chapter each, of one page; the second of two pages
        std::vector<int> firstPages;
        int pages;
        size_t moved;
    } cases[] = {
        {"left to right: odd pages on the right",
         {true, false},
         {S::Any, S::Left, S::Right, S::Left},
         {1, 2, 5, 6},
         6,
         1},
        {"after a page alone",
         {true, false},
         {S::Left, S::Left, S::Any, S::Alone, S::Any},
         {2, 4, 6, 8, 10},
         10,
         4},
        {"right to left: odd pages on the left",
         {true, true},
         {S::Right, S::Left, S::Right},
         {2, 3, 6},
         6,
         2},
        {"no spreads: sides do nothing", {false, false}, {S::Left, S::Left}, {1, 2}, 3, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        pdf::Assembler pdf(Output());
        pdf.SetSpreads(c.spreads);
        pdf::Metadata metadata;
        metadata.layout = c.spreads.on ? pdf::PageLayout::TwoPages : pdf::PageLayout::ViewersOwn;
        metadata.rightToLeft = c.spreads.rightToLeft;
        pdf.SetMetadata(metadata);
        for (size_t i = 0; i < c.sides.size(); ++i) {
            const std::string chapter = dir / (std::to_string(i) + ".pd_");
            testing_support::MakeChapterPdf(chapter, i == 1 ? 2 : 1, "c" + std::to_string(i));
            ASSERT_TRUE(pdf.AddChapter(chapter, "", c.sides[i]));
            EXPECT_EQ(pdf.PageOf(chapter), c.firstPages[i]) << i;
        }
        EXPECT_EQ(pdf.MovedChapters().size(), c.moved);
        ASSERT_TRUE(pdf.SetOutline(nullptr));
        ASSERT_TRUE(pdf.Write());
        const json summary = PdfSummary(Output());
        EXPECT_EQ(summary["pages"], c.pages);
        EXPECT_EQ(summary["page_layout"], c.spreads.on ? json("/TwoPageRight") : json());
        EXPECT_EQ(summary["direction"], c.spreads.rightToLeft ? json("/R2L") : json());
        EXPECT_EQ(RunCommand("qpdf --check " + ShellQuote(Output())).exitCode, 0);
        // Each chapter's first page is where it was said to be; the pages put in are blank.
        for (size_t i = 0; i < c.sides.size(); ++i) {
            const std::string text =
                RunCommand(util::FormatString("pdftotext -f %d -l %d %s -", c.firstPages[i], c.firstPages[i],
                                              ShellQuote(Output())))
                    .output;
            EXPECT_NE(text.find("c" + std::to_string(i) + " page 1"), std::string::npos) << i;
        }
        if (c.firstPages[0] > 1) {
            EXPECT_EQ(RunCommand("pdftotext -f 1 -l 1 " + ShellQuote(Output()) + " -")
                          .output.find_first_not_of(" \n\f"),
                      std::string::npos);
        }
    }
}

// Sheets laid over the pages: the footer's band at each page's foot with its own text; a sheet that does
// not fit the document's pages is left out and says why, the pages staying as they were.
TEST_F(AssemblerTest, StampsLieOverEveryPageOrAreLeftOutWithTheirReason) {
    auto& pdf = Assemble();
    std::vector<std::pair<double, double>> bands(10, {612, 36});
    testing_support::MakeSizedPdf(dir / "footer.pd_", bands);
    testing_support::MakeSizedPdf(dir / "short.pd_", {{612, 36}});
    WriteFile(dir / "broken.pd_", "%PDF-1.4 not really");

    const util::Status shortSheet = pdf.Stamp(dir / "short.pd_", "");
    EXPECT_EQ(shortSheet.Reason(),
              "the page numbers and header came out on 1 pages for 10; they were left out");
    const util::Status broken = pdf.Stamp("", dir / "broken.pd_");
    EXPECT_FALSE(broken);
    EXPECT_NE(broken.Reason().find("broken.pd_ cannot be read"), std::string::npos) << broken.Reason();
    EXPECT_NE(broken.Reason().find("; they were left out"), std::string::npos) << broken.Reason();
    const util::Status laid = pdf.Stamp(dir / "footer.pd_", "");
    ASSERT_TRUE(laid) << laid.Reason();
    ASSERT_TRUE(pdf.Write());
    EXPECT_EQ(PdfSummary(Output())["pages"], 10);
    // The band's own text ("page 7", 12 pt above its foot) at the page's foot, over the page's text.
    const std::string words = RunCommand("pdftotext -bbox -f 7 -l 7 " + ShellQuote(Output()) + " -").output;
    EXPECT_NE(words.find(">b</word>"), std::string::npos) << words;  // the chapter's own "b b.xhtml page 4"
    const size_t seven = words.find(">7</word>");
    ASSERT_NE(seven, std::string::npos) << words;
    double yMax = 0;
    std::sscanf(words.c_str() + words.rfind("<word", seven),
                "<word xMin=\"%*f\" yMin=\"%*f\" xMax=\"%*f\" yMax=\"%lf\"", &yMax);
    EXPECT_GT(yMax, 792 - 36) << words;
    EXPECT_EQ(RunCommand("qpdf --check " + ShellQuote(Output())).exitCode, 0);
}

TEST_F(AssemblerTest, CancellationAndFailuresSayWhy) {
    auto& pdf = Assemble({{{0, util::FileUrlFromPath(Book("c.xhtml"))}}, {}, {}});
    ASSERT_TRUE(pdf.Write());
    const std::string before = testing_support::ReadFile(Output());
    cancelled = true;
    EXPECT_EQ(pdf.RewriteLinks(chapterMap, cancelled, Output()).Reason(), "cancelled");
    EXPECT_EQ(testing_support::ReadFile(Output()), before);
    cancelled = false;

    pdf::Assembler empty(dir / "empty.pdf");
    EXPECT_FALSE(empty.Write());
    EXPECT_FALSE(fs::exists(dir / "empty.pdf"));
    WriteFile(dir / "broken.pd_", "%PDF-1.4 not really");
    for (const char* chapter : {"broken.pd_", "missing.pd_"}) {
        const util::Status added = empty.AddChapter(dir / chapter, "");
        EXPECT_FALSE(added) << chapter;
        EXPECT_NE(added.Reason().find("the chapter PDF " + dir / chapter + " cannot be read: "),
                  std::string::npos)
            << added.Reason();
    }
    EXPECT_EQ(empty.PageCount(), 0);
    // A chapter that could not be read leaves the document as it was.
    ASSERT_TRUE(empty.AddChapter(dir / "1.pd_", ""));
    EXPECT_EQ(empty.PageOf(dir / "1.pd_"), 1);
    EXPECT_EQ(empty.PageCount(), 3);

    // An output that cannot be written: Write says so, and why.
    pdf::Assembler unwritable(dir / "no-such-folder/out.pdf");
    unwritable.AddChapter(dir / "1.pd_", "");
    const util::Status written = unwritable.Write();
    EXPECT_FALSE(written);
    EXPECT_NE(written.Reason().find("the PDF could not be written: "), std::string::npos) << written.Reason();
    EXPECT_NE(written.Reason().find("No such file or directory"), std::string::npos) << written.Reason();
    // A file that is no PDF cannot have its links rewritten.
    const util::Status linked = pdf.RewriteLinks(chapterMap, cancelled, dir / "broken.pd_");
    EXPECT_NE(linked.Reason().find("the PDF " + dir / "broken.pd_" + " cannot be read: "), std::string::npos)
        << linked.Reason();
}

}  // namespace
