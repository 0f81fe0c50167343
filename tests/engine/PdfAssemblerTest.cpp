#include <gtest/gtest.h>

#include <filesystem>

#include "PdfFixtures.h"
#include "engine/PdfAssembler.h"
#include "epub/EpubBook.h"
#include "epub/TableOfContents.h"
#include "support/TestSupport.h"
#include "util/Utilities.h"

namespace fs = std::filesystem;
using nlohmann::json;
using testing_support::FixtureLink;
using testing_support::MakeChapterPdf;
using testing_support::PdfSummary;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// A small book folder: package, NCX, three printed chapters (3, 5 and 2 pages) and one that is not.
class PdfAssemblerTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::map<std::string, std::string> chapterMap;
    std::atomic<bool> cancelled{false};
    engine::ChapterMapView View() { return {chapterMap, cancelled}; }
    std::string Book(const std::string& relative) { return dir / ("epub/OEBPS/" + relative); }
    std::shared_ptr<epub::EpubBook> Package() {
        return epub::EpubBook::Load(Book("content.opf"), dir / "epub");
    }
    std::shared_ptr<epub::TableOfContents> Toc() { return epub::TableOfContents::Load(Book("toc.ncx")); }
    std::string Output() { return dir / "out.pdf"; }

    void SetUp() override {
        WriteFile(Book("content.opf"), R"(<package><metadata xmlns:dc="x"><dc:title>T</dc:title></metadata>
            <manifest><item id="a" href="a.xhtml"/><item id="b" href="b%20b.xhtml"/><item id="c" href="c.xhtml"/>
            <item id="d" href="d.xhtml"/></manifest>
            <spine><itemref idref="a"/><itemref idref="b"/><itemref idref="c"/><itemref idref="d"/></spine>
            <guide><reference type="cover" title="Cover" href="a.xhtml"/>
                   <reference type="text" title="Begin" href="b%20b.xhtml#start"/>
                   <reference type="text" href="c.xhtml#n"/><reference type="toc" href="a.xhtml#none"/>
            </guide></package>)");
        auto point = [](const std::string& label, const std::string& src, const std::string& inner = "") {
            return "<navPoint><navLabel><text>" + label + "</text></navLabel><content src=\"" + src + "\"/>" +
                   inner + "</navPoint>";
        };
        WriteFile(Book("toc.ncx"),
                  "<ncx><navMap>" + point("First 第一", "a.xhtml") +
                      point("Second", "b%20b.xhtml#sec3",
                            point("Second.1", "c.xhtml?q=1#n") + point("Second.2", "d.xhtml")) +
                      point("Outside", "notes.xhtml", point("Inner", "a.xhtml")) +
                      point("Unprinted", "d.xhtml") + "</navMap></ncx>");
        for (const char* f : {"a.xhtml", "b b.xhtml", "c.xhtml", "d.xhtml"}) WriteFile(Book(f), "<html/>");
    }

    // Prints a, b and c (3, 5 and 2 pages); d stays unprinted. b names "sec3" (its page 3, 400 pt high)
    // and "here" (its page 4, 300 pt); c names "note" (its page 2, 500 pt).
    engine::PdfAssembler& Assemble(std::vector<std::vector<FixtureLink>> links = {{}, {}, {}}) {
        const std::vector<testing_support::FixtureAnchor> anchors[] = {
            {}, {{"sec3", 2, 400}, {"here", 3, 300}}, {{"note", 1, 500}}};
        assembler = std::make_unique<engine::PdfAssembler>(Output());
        const std::pair<const char*, int> chapters[] = {{"a.xhtml", 3}, {"b b.xhtml", 5}, {"c.xhtml", 2}};
        for (int i = 0; i < 3; ++i) {
            const std::string pdf = dir / (std::to_string(i + 1) + ".pd_");
            MakeChapterPdf(pdf, chapters[i].second, chapters[i].first, links[i],
                           i == 0 ? std::vector<testing_support::FixtureBookmark>{{"Old bookmark", 1}}
                                  : std::vector<testing_support::FixtureBookmark>{},
                           anchors[i]);
            chapterMap[Book(chapters[i].first)] = pdf;
            EXPECT_TRUE(assembler->AddChapter(pdf, ""));
        }
        return *assembler;
    }
    std::unique_ptr<engine::PdfAssembler> assembler;
};

TEST_F(PdfAssemblerTest, MergesPagesAndWritesInformation) {
    auto& pdf = Assemble();
    EXPECT_EQ(pdf.PageOf(dir / "1.pd_"), 1);
    EXPECT_EQ(pdf.PageOf(dir / "2.pd_"), 4);
    EXPECT_EQ(pdf.PageOf(dir / "3.pd_"), 9);
    EXPECT_EQ(pdf.PageOf(""), 0);
    EXPECT_EQ(pdf.PageOf(dir / "unknown.pd_"), 0);
    pdf.SetInfo("书名 Title", "Ann,Bob", "epub2pdf 0.1");
    ASSERT_TRUE(pdf.Write(nullptr));
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

// A guide reference without a title takes the label of the same target in the table of contents, or
// is left out.
TEST_F(PdfAssemblerTest, OutlineFollowsGuideThenNcxAndDropsUnprintedSubtrees) {
    auto& pdf = Assemble();
    auto outline = engine::BuildOutline(pdf, *Package(), Toc().get(), View());
    ASSERT_TRUE(outline);
    ASSERT_TRUE(pdf.Write(outline));
    json summary = PdfSummary(Output());
    const json expected = json::parse(R"([
        {"title": "Cover", "page": 1}, {"title": "Begin", "page": 4}, {"title": "Second.1", "page": 9},
        {"title": "First 第一", "page": 1},
        {"title": "Second", "page": 6, "kids": [{"title": "Second.1", "page": 9}]}])");
    EXPECT_EQ(testing_support::OutlineTitles(summary["outline"]), expected) << summary["outline"].dump();
    // A fragment the chapter names: its page and height; none, or one it does not name: the top of the
    // chapter's first page.
    EXPECT_EQ(summary["outline"][0]["zoom"], json::parse("[0, 792, 0]"));
    EXPECT_EQ(summary["outline"][4]["zoom"], json::parse("[0, 400, 0]"));
    EXPECT_EQ(summary["outline"][4]["kids"][0]["zoom"], json::parse("[0, 792, 0]"));
}

// Without a table of contents each printed chapter gets a bookmark with its title, its first heading,
// or else its file name.
TEST_F(PdfAssemblerTest, WithoutTableOfContentsChaptersAreTheOutline) {
    WriteFile(Book("a.xhtml"), "<html><head><title> The  first\n chapter </title></head><body/></html>");
    WriteFile(Book("b b.xhtml"),
              "<html><head><title/></head><body><p>x</p><div><h3>Third <i>level</i></h3></div>"
              "<h1>Later</h1></body></html>");
    auto& pdf = Assemble();
    auto outline = engine::BuildOutline(pdf, *Package(), nullptr, View());
    ASSERT_TRUE(outline);
    ASSERT_TRUE(pdf.Write(outline));
    const json expected = json::parse(R"([{"title": "Cover", "page": 1}, {"title": "Begin", "page": 4},
        {"title": "The first chapter", "page": 1}, {"title": "Third level", "page": 4},
        {"title": "c", "page": 9}])");
    EXPECT_EQ(testing_support::OutlineTitles(PdfSummary(Output())["outline"]), expected);
}

TEST_F(PdfAssemblerTest, OutOfRangePagesPointToPageOneAndFallbackUsesTitles) {
    assembler = std::make_unique<engine::PdfAssembler>(Output());
    MakeChapterPdf(dir / "1.pd_", 2, "one");
    MakeChapterPdf(dir / "2.pd_", 2, "two");
    assembler->AddChapter(dir / "1.pd_", "Named chapter");
    assembler->AddChapter(dir / "2.pd_", "");
    auto root = std::make_shared<engine::OutlineNode>();
    for (int page : {0, 3, 99, -1}) {
        auto node = std::make_shared<engine::OutlineNode>();
        node->title = "p" + std::to_string(page);
        node->page = page;
        root->children.push_back(node);
    }
    ASSERT_TRUE(assembler->Write(root));
    json pages = json::array();
    const json summary = PdfSummary(Output());
    for (const auto& item : summary["outline"]) pages.push_back(item["page"]);
    EXPECT_EQ(pages, json::parse("[1, 3, 1, 1]"));

    engine::PdfAssembler fallback(dir / "fallback.pdf");
    fallback.AddChapter(dir / "1.pd_", "Named chapter");
    fallback.AddChapter(dir / "2.pd_", "");
    fs::copy_file(dir / "1.pd_", dir / "3.pd_");
    fallback.AddChapter(dir / "3.pd_", "Again");
    ASSERT_TRUE(fallback.Write(nullptr));
    EXPECT_EQ(testing_support::OutlineTitles(PdfSummary(dir / "fallback.pdf")["outline"]),
              json::parse(R"([{"title": "Named chapter", "page": 1}, {"title": "Again", "page": 5}])"));
}

// The links are rewritten in the merged document before it is written (as a conversion does), or in
// the written file afterwards: the result is the same.
class LinkPassTest : public PdfAssemblerTest, public ::testing::WithParamInterface<bool> {};

// Links between and within chapters go to their target's page and height; a link to a file that was not
// printed, to an element its chapter does not name, or that is not a local file URL goes (its text
// stays), and so does any URI but http, https and mailto.
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
                  {{0, base + "a.xhtml#missing"}, {1, "file:relative.xhtml"}, {1, base + "d.xhtml"}}});
    if (beforeWrite) {
        ASSERT_TRUE(pdf.RewriteLinks(View(), Output()));
    }
    ASSERT_TRUE(pdf.Write(nullptr));
    if (!beforeWrite) {
        ASSERT_TRUE(pdf.RewriteLinks(View(), Output()));
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
}
INSTANTIATE_TEST_SUITE_P(InMemoryAndInFile, LinkPassTest, ::testing::Bool());

// Chapters printed by Chromium without the hidden links to every element: ch1's link to its own anchor
// is a named destination, which lands at the anchor; ch2 names no "x", so ch1's link to ch2.xhtml#x goes.
TEST_F(PdfAssemblerTest, RealChromiumChapterLinks) {
    const std::string data = testing_support::TestDataDir() + "/chromium/";
    engine::PdfAssembler pdf(Output());
    pdf.AddChapter(data + "ch1.pdf", "");
    pdf.AddChapter(data + "ch2.pdf", "");
    chapterMap["/tmp/epub2pdf-fixture/book/ch1.xhtml"] = data + "ch1.pdf";
    chapterMap["/tmp/epub2pdf-fixture/book/ch2.xhtml"] = data + "ch2.pdf";
    ASSERT_TRUE(pdf.Write(nullptr));
    ASSERT_TRUE(pdf.RewriteLinks(View(), Output()));
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

TEST_F(PdfAssemblerTest, CancellationAndFailures) {
    auto& pdf = Assemble({{{0, util::FileUrlFromPath(Book("c.xhtml"))}}, {}, {}});
    ASSERT_TRUE(pdf.Write(nullptr));
    const std::string before = testing_support::ReadFile(Output());
    cancelled = true;
    EXPECT_EQ(engine::BuildOutline(pdf, *Package(), Toc().get(), View()), nullptr);
    EXPECT_FALSE(pdf.RewriteLinks(View(), Output()));
    EXPECT_EQ(testing_support::ReadFile(Output()), before);
    cancelled = false;

    engine::PdfAssembler empty(dir / "empty.pdf");
    EXPECT_FALSE(empty.Write(nullptr));
    EXPECT_FALSE(fs::exists(dir / "empty.pdf"));
    WriteFile(dir / "broken.pd_", "%PDF-1.4 not really");
    EXPECT_THROW(empty.AddChapter(dir / "broken.pd_", ""), engine::PdfError);
    EXPECT_THROW(empty.AddChapter(dir / "missing.pd_", ""), engine::PdfError);

    // An output that cannot be written: Write reports it and keeps the reason.
    engine::PdfAssembler unwritable(dir / "no-such-folder/out.pdf");
    unwritable.AddChapter(dir / "1.pd_", "");
    EXPECT_FALSE(unwritable.Write(nullptr));
    EXPECT_FALSE(unwritable.LastError().empty());
}

}  // namespace
