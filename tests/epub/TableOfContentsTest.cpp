#include <gtest/gtest.h>

#include "epub/TableOfContents.h"
#include "support/TestSupport.h"
#include "util/Utilities.h"

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
