// The outline of a book over three merged chapters (3, 5 and 2 pages) of a book folder whose fourth
// chapter was not printed.
#include <gtest/gtest.h>

#include "engine/BookOutline.h"
#include "epub/EpubBook.h"
#include "epub/TableOfContents.h"
#include "pdf/PdfFixtures.h"
#include "support/TestSupport.h"

using nlohmann::json;
using testing_support::PdfSummary;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

class BookOutlineTest : public ::testing::Test {
  protected:
    TempDir dir;
    pdf::ChapterFiles chapterMap;
    std::atomic<bool> cancelled{false};
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

    // Prints a, b and c; d stays unprinted. b names "sec3" (its page 3, 400 pt high).
    pdf::Assembler& Assemble() {
        assembler = std::make_unique<pdf::Assembler>(Output());
        for (const auto& [chapter, pdf] :
             testing_support::MakeThreeChapters(dir.Path(), dir / "epub/OEBPS")) {
            chapterMap[chapter] = pdf;
            EXPECT_TRUE(assembler->AddChapter(pdf, "")) << pdf;
        }
        return *assembler;
    }
    // The outline as written and read back.
    json Written(const std::shared_ptr<pdf::OutlineNode>& outline) {
        EXPECT_TRUE(assembler->SetOutline(outline));
        EXPECT_TRUE(assembler->Write());
        return PdfSummary(Output())["outline"];
    }
    std::unique_ptr<pdf::Assembler> assembler;
};

// A guide reference without a title takes the label of the same target in the table of contents, or
// is left out.
TEST_F(BookOutlineTest, OutlineFollowsGuideThenNcxAndDropsUnprintedSubtrees) {
    auto& merged = Assemble();
    auto outline = engine::BuildOutline(merged, *Package(), Toc().get(), chapterMap, cancelled);
    ASSERT_TRUE(outline);
    const json written = Written(outline);
    const json expected = json::parse(R"([
        {"title": "Cover", "page": 1}, {"title": "Begin", "page": 4}, {"title": "Second.1", "page": 9},
        {"title": "First 第一", "page": 1},
        {"title": "Second", "page": 6, "kids": [{"title": "Second.1", "page": 9}]}])");
    EXPECT_EQ(testing_support::OutlineTitles(written), expected) << written.dump();
    // A fragment the chapter names: its page and height; none, or one it does not name: the top of the
    // chapter's first page.
    EXPECT_EQ(written[0]["zoom"], json::parse("[0, 792, 0]"));
    EXPECT_EQ(written[4]["zoom"], json::parse("[0, 400, 0]"));
    EXPECT_EQ(written[4]["kids"][0]["zoom"], json::parse("[0, 792, 0]"));
}

// Without a table of contents each printed chapter gets a bookmark with its title, its first heading,
// or else its file name.
TEST_F(BookOutlineTest, WithoutTableOfContentsChaptersAreTheOutline) {
    WriteFile(Book("a.xhtml"), "<html><head><title> The  first\n chapter </title></head><body/></html>");
    WriteFile(Book("b b.xhtml"),
              "<html><head><title/></head><body><p>x</p><div><h3>Third <i>level</i></h3></div>"
              "<h1>Later</h1></body></html>");
    auto& merged = Assemble();
    auto outline = engine::BuildOutline(merged, *Package(), nullptr, chapterMap, cancelled);
    ASSERT_TRUE(outline);
    const json expected = json::parse(R"([{"title": "Cover", "page": 1}, {"title": "Begin", "page": 4},
        {"title": "The first chapter", "page": 1}, {"title": "Third level", "page": 4},
        {"title": "c", "page": 9}])");
    EXPECT_EQ(testing_support::OutlineTitles(Written(outline)), expected);
}

TEST_F(BookOutlineTest, CancelledGivesNoOutline) {
    auto& merged = Assemble();
    cancelled = true;
    EXPECT_EQ(engine::BuildOutline(merged, *Package(), Toc().get(), chapterMap, cancelled), nullptr);
    EXPECT_EQ(engine::BuildOutline(merged, *Package(), nullptr, chapterMap, cancelled), nullptr);
}

}  // namespace
