#include <gtest/gtest.h>

#include "epub/EpubBook.h"
#include "epub/TableOfContents.h"
#include "support/TestSupport.h"
#include "util/Format.h"

using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

std::string Point(const std::string& label, const std::string& src, const std::string& inner = "",
                  int playOrder = 1) {
    return util::FormatString(
        "<navPoint id=\"p\" playOrder=\"%d\"><navLabel><text>%s</text></navLabel>"
        "<content src=\"%s\"/>%s</navPoint>",
        playOrder, label, src, inner);
}

std::string Ncx(const std::string& head, const std::string& points) {
    return "<?xml version=\"1.0\"?><ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" version=\"2005-1\">" +
           head + "<navMap>" + points + "</navMap><navMap>" + Point("ignored", "x.xhtml") + "</navMap></ncx>";
}

TEST(TableOfContentsTest, TreeInFileOrderWithLevels) {
    TempDir dir;
    WriteFile(
        dir / "OEBPS/toc.ncx",
        Ncx("<docTitle><text>The Title</text></docTitle>",
            Point("One", "a.xhtml", "", 3) +
                Point("Two", "b.xhtml", Point("Two.1", "b.xhtml#x", "", 2) + Point("Two.2", "c.xhtml", "", 1),
                      2) +
                "<navPoint><content src=\"d.xhtml\"/></navPoint>" + "<pageList><pageTarget/></pageList>"));
    auto toc = epub::TableOfContents::Load(dir / "OEBPS/toc.ncx");
    ASSERT_TRUE(toc);
    EXPECT_EQ(toc->GetDocTitle(), "The Title");
    EXPECT_EQ(toc->GetFolder(), dir / "OEBPS/");
    auto root = toc->GetRoot();
    EXPECT_EQ(root->level, 0);
    ASSERT_EQ(root->children.size(), 3u);
    EXPECT_EQ(root->children[0]->label, "One");
    EXPECT_EQ(root->children[1]->label, "Two");
    EXPECT_EQ(root->children[2]->label, "");  // no navLabel: kept with an empty label
    EXPECT_EQ(root->children[2]->target, "d.xhtml");
    ASSERT_EQ(root->children[1]->children.size(), 2u);
    EXPECT_EQ(root->children[1]->children[0]->label, "Two.1");
    EXPECT_EQ(root->children[1]->children[0]->target, "b.xhtml#x");
    EXPECT_EQ(root->children[1]->children[0]->level, 2);
    EXPECT_EQ(root->children[1]->children[1]->label, "Two.2");
    EXPECT_EQ(root->children[0]->level, 1);
}

TEST(TableOfContentsTest, ResolveTargetCutsQueryAndFragmentAndDecodes) {
    TempDir dir;
    WriteFile(dir / "OEBPS/toc.ncx", Ncx("<docTitle/>", ""));
    auto toc = epub::TableOfContents::Load(dir / "OEBPS/toc.ncx");
    ASSERT_TRUE(toc);
    EXPECT_EQ(toc->GetDocTitle(), "");
    EXPECT_TRUE(toc->GetRoot()->children.empty());
    const std::pair<const char*, std::string> cases[] = {
        {"Text/ch1.xhtml#sec2", dir / "OEBPS/Text/ch1.xhtml"},
        {"Text/ch1.xhtml?x=1#a", dir / "OEBPS/Text/ch1.xhtml"},
        {"../Text/ch2.xhtml", dir / "Text/ch2.xhtml"},
        {"Text/ch%201.xhtml#x%20y", dir / "OEBPS/Text/ch 1.xhtml"},
        {"", dir / "OEBPS/"},
    };
    for (const auto& [target, expected] : cases) EXPECT_EQ(toc->ResolveTarget(target), expected) << target;
}

TEST(TableOfContentsTest, MissingFileAndHostileNesting) {
    TempDir dir;
    EXPECT_EQ(epub::TableOfContents::Load(dir / "toc.ncx"), nullptr);

    std::string deep;
    const int depth = 100000;
    for (int i = 0; i < depth; ++i)
        deep += "<navPoint><navLabel><text>x</text></navLabel><content src=\"a.xhtml\"/>";
    for (int i = 0; i < depth; ++i) deep += "</navPoint>";
    WriteFile(dir / "toc.ncx", Ncx("", deep));
    auto toc = epub::TableOfContents::Load(dir / "toc.ncx");
    ASSERT_TRUE(toc);
    int levels = 0;
    for (auto e = toc->GetRoot(); !e->children.empty(); e = e->children[0]) ++levels;
    EXPECT_EQ(levels, epub::TableOfContents::kMaxDepth);
}

}  // namespace

namespace {

// Labels are the whole text of the label, whatever markup or prefix it carries.
TEST(TableOfContentsTest, NcxByNamespaceWithWholeLabels) {
    TempDir dir;
    WriteFile(dir / "nav/toc.ncx", R"(<n:ncx xmlns:n="http://www.daisy.org/z3986/2005/ncx/"><n:navMap>
        <n:navPoint><n:navLabel><n:text>5.1.1 <code>lb config</code>
           コマンド</n:text></n:navLabel><n:content src="../Text/a.xhtml#s%201"/></n:navPoint></n:navMap></n:ncx>)");
    auto toc = epub::TableOfContents::Load(dir / "nav/toc.ncx");
    ASSERT_TRUE(toc);
    ASSERT_EQ(toc->GetRoot()->children.size(), 1u);
    const auto& entry = *toc->GetRoot()->children[0];
    EXPECT_EQ(entry.label, "5.1.1 lb config コマンド");
    EXPECT_EQ(entry.file, dir / "Text/a.xhtml");
    EXPECT_EQ(entry.fragment, "s 1");
    EXPECT_EQ(toc->FindLabel(dir / "Text/a.xhtml", "s 1"), "5.1.1 lb config コマンド");
    EXPECT_EQ(toc->FindLabel(dir / "Text/a.xhtml", ""), "");
}

TEST(TableOfContentsTest, NavigationDocument) {
    TempDir dir;
    WriteFile(dir / "OPS/xhtml/nav.xhtml", R"(<?xml version="1.0"?>
<html xmlns="http://www.w3.org/1999/xhtml" xmlns:epub="http://www.idpf.org/2007/ops"><body>
 <nav epub:type="landmarks"><ol><li><a href="cover.xhtml">Cover</a></li></ol></nav>
 <nav epub:type="toc" id="toc"><h1>Contents</h1><ol>
  <li><span>Part <em>I</em></span><ol><li><span>Untargeted</span></li>
    <li><a href="one.xhtml#c1">Chapter
      1</a><ol><li><a href="one.xhtml#c1.1">1.1</a></li></ol></li></ol></li>
  <li><a href="../two.xhtml">Two</a></li>
 </ol></nav></body></html>)");
    auto toc = epub::TableOfContents::LoadNav(dir / "OPS/xhtml/nav.xhtml");
    ASSERT_TRUE(toc);
    const auto& root = *toc->GetRoot();
    ASSERT_EQ(root.children.size(), 2u);
    const auto& part = *root.children[0];
    EXPECT_EQ(part.label, "Part I");
    EXPECT_EQ(part.file, dir / "OPS/xhtml/one.xhtml");  // a heading points where its first link does
    EXPECT_EQ(part.fragment, "c1");
    ASSERT_EQ(part.children.size(), 2u);
    EXPECT_EQ(part.children[0]->label, "Untargeted");
    EXPECT_EQ(part.children[0]->file, "");
    EXPECT_EQ(part.children[1]->label, "Chapter 1");
    EXPECT_EQ(part.children[1]->level, 2);
    ASSERT_EQ(part.children[1]->children.size(), 1u);
    EXPECT_EQ(part.children[1]->children[0]->fragment, "c1.1");
    EXPECT_EQ(root.children[1]->file, dir / "OPS/two.xhtml");
}

// The NCX the package names, else the navigation document, else toc.ncx beside the package; one that
// has no entries does not count.
TEST(TableOfContentsTest, WhichTableABookUses) {
    const std::string ncx =
        R"(<ncx><navMap><navPoint><navLabel><text>%s</text></navLabel><content src="a.xhtml"/>
        </navPoint></navMap></ncx>)";
    const std::string nav =
        R"(<html><body><nav><ol><li><a href="a.xhtml">From nav</a></li></ol></nav></body></html>)";
    struct Case {
        const char* name;
        bool namedNcx, emptyNamedNcx, navDoc, besideNcx;
        const char* label;  // of the first entry; nullptr: no table of contents
    };
    const Case cases[] = {
        {"named NCX first", true, false, true, true, "Named"},
        {"an empty NCX gives way to the nav", true, true, true, true, "From nav"},
        {"nav before toc.ncx beside the package", false, false, true, true, "From nav"},
        {"toc.ncx beside the package last", false, false, false, true, "Beside"},
        {"none", false, false, false, false, nullptr},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::string manifest = R"(<item id="a" href="a.xhtml"/>)";
        if (c.namedNcx) {
            manifest += R"(<item id="n" href="book.ncx" media-type="application/x-dtbncx+xml"/>)";
            WriteFile(dir / "OEBPS/book.ncx",
                      c.emptyNamedNcx ? "<ncx><navMap/></ncx>" : util::FormatString(ncx, "Named"));
        }
        if (c.navDoc) {
            manifest += R"(<item id="nav" href="nav.xhtml" properties="nav"/>)";
            WriteFile(dir / "OEBPS/nav.xhtml", nav);
        }
        if (c.besideNcx)
            WriteFile(dir / "OEBPS/toc.ncx", util::FormatString(ncx, "Beside"));
        WriteFile(dir / "OEBPS/a.xhtml", "<html/>");
        WriteFile(
            dir / "OEBPS/content.opf",
            "<package><manifest>" + manifest + "</manifest><spine><itemref idref=\"a\"/></spine></package>");
        auto book = epub::EpubBook::Load(dir / "OEBPS/content.opf");
        ASSERT_TRUE(book) << c.name;
        auto toc = epub::TableOfContents::ForBook(*book);
        if (c.label == nullptr) {
            EXPECT_EQ(toc, nullptr) << c.name;
            continue;
        }
        ASSERT_TRUE(toc) << c.name;
        EXPECT_EQ(toc->GetRoot()->children.at(0)->label, c.label) << c.name;
        EXPECT_EQ(toc->GetRoot()->children.at(0)->file, dir / "OEBPS/a.xhtml") << c.name;
    }
}

}  // namespace

namespace {

// A navigation document nested far deeper than any real one reads in linear time, to the depth limit.
TEST(TableOfContentsTest, HostileNavigationDocument) {
    TempDir dir;
    std::string deep = "<html xmlns='http://www.w3.org/1999/xhtml'><body><nav><ol>";
    const int depth = 50000;
    for (int i = 0; i < depth; ++i) deep += "<li><a href='a.xhtml'>x</a><ol>";
    for (int i = 0; i < depth; ++i) deep += "</ol></li>";
    WriteFile(dir / "nav.xhtml", deep + "</ol></nav></body></html>");
    auto toc = epub::TableOfContents::LoadNav(dir / "nav.xhtml");
    ASSERT_TRUE(toc);
    int levels = 0;
    for (auto e = toc->GetRoot(); !e->children.empty(); e = e->children[0]) ++levels;
    EXPECT_EQ(levels, epub::TableOfContents::kMaxDepth);
}

}  // namespace
