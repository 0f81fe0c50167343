#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "epub/EpubBook.h"
#include "epub/EpubFolder.h"
#include "support/TestSupport.h"
#include "util/Format.h"

using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

const char* kContainer = R"(<?xml version="1.0"?>
<container version="1.0" xmlns="urn:oasis:names:tc:opendocument:xmlns:container">
  <rootfiles>
    <rootfile full-path="%s" media-type="application/oebps-package+xml"/>
    <rootfile full-path="second/other.opf" media-type="application/oebps-package+xml"/>
  </rootfiles>
</container>)";

std::string Opf(const std::string& metadata, const std::string& manifest, const std::string& spine,
                const std::string& guide = "") {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<package xmlns="http://www.idpf.org/2007/opf" version="2.0">
  <metadata xmlns:dc="http://purl.org/dc/elements/1.1/">)" +
           metadata + "</metadata><manifest>" + manifest + "</manifest><spine toc=\"ncx\">" + spine +
           "</spine>" + guide + "</package>";
}

class EpubFolderTest : public ::testing::Test {
  protected:
    TempDir dir;
    void Container(const std::string& fullPath) {
        WriteFile(dir / "META-INF/container.xml", util::FormatString(kContainer, fullPath));
    }
};

TEST_F(EpubFolderTest, FirstRootfileNamesThePackage) {
    Container("OEBPS/content.opf");
    WriteFile(dir / "OEBPS/content.opf", "<package/>");
    WriteFile(dir / "second/other.opf", "<package/>");
    epub::EpubFolder folder(dir.Path());
    EXPECT_EQ(folder.GetPackagePath(), dir / "OEBPS/content.opf");
}

// Several rootfiles: the first that is a package document; any prefix for the container's namespace.
TEST_F(EpubFolderTest, RootfileByMediaType) {
    WriteFile(dir / "META-INF/container.xml",
              R"(<c:container xmlns:c="urn:oasis:names:tc:opendocument:xmlns:container">
        <c:rootfiles><c:rootfile full-path="notes.txt" media-type="text/plain"/>
        <c:rootfile full-path="untyped.opf"/><c:rootfile full-path="book/content.opf"
        media-type="application/oebps-package+xml"/></c:rootfiles></c:container>)");
    for (const char* f : {"notes.txt", "untyped.opf", "book/content.opf"}) WriteFile(dir / f, "<package/>");
    epub::EpubFolder folder(dir.Path());
    EXPECT_EQ(folder.GetPackagePath(), dir / "book/content.opf");
    WriteFile(dir / "META-INF/container.xml", R"(<container><rootfiles><rootfile full-path="notes.txt"
        media-type="text/plain"/><rootfile full-path="untyped.opf"/></rootfiles></container>)");
    EXPECT_EQ(folder.GetPackagePath(), dir / "untyped.opf");  // none typed: the first without a type
}

TEST_F(EpubFolderTest, WhatMakesThePackagePathEmpty) {
    struct Case {
        const char* name;
        const char* container;  // nullptr: no container file
    };
    const Case cases[] = {
        {"no container", nullptr},
        {"no rootfile", "<container><rootfiles/></container>"},
        {"empty full-path", "<container><rootfile full-path=\"\"/></container>"},
        {"package missing", "<container><rootfile full-path=\"OEBPS/gone.opf\"/></container>"},
        {"package outside the book", "<container><rootfile full-path=\"../x/content.opf\"/></container>"},
        {"not xml", "PK\x03\x04 garbage"},
    };
    for (const Case& c : cases) {
        TempDir book;
        if (c.container != nullptr)
            WriteFile(book / "META-INF/container.xml", c.container);
        WriteFile(book / "OEBPS/content.opf", "<package/>");
        std::string problem;
        EXPECT_EQ(epub::EpubFolder(book.Path() + "/").GetPackagePath(&problem), "") << c.name;
        EXPECT_FALSE(problem.empty()) << c.name;
    }
}

class EpubBookTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::string Write(const std::string& opf) {
        WriteFile(dir / "OEBPS/content.opf", opf);
        return dir / "OEBPS/content.opf";
    }
    void Chapter(const std::string& relative) { WriteFile(dir / ("OEBPS/" + relative), "<html/>"); }
};

TEST_F(EpubBookTest, ChaptersInSpineOrderSkippingMissingAndEscapingFiles) {
    for (const char* f : {"a.xhtml", "c.xhtml", "Text/ch 1.xhtml", "d.xhtml"}) Chapter(f);
    std::filesystem::create_directories(dir / "OEBPS/folder.xhtml");
    WriteFile(dir / "outside.xhtml", "<html/>");
    const std::string opf =
        Write(Opf("",
                  R"(<item id="a" href="a.xhtml"/><item id="b" href="b.xhtml"/>
           <item id="c" href="c.xhtml"/><item id="sp" href="Text/ch%201.xhtml"/>
           <item id="frag" href="a.xhtml#start"/><item id="up" href="../outside.xhtml"/>
           <item id="abs" href="/etc/hostname"/><item id="q" href='d"x'/><item id="d" href="d.xhtml"/>
           <item id="dir" href="folder.xhtml"/>)",
                  R"(<itemref idref="a"/><itemref idref="b"/><itemref idref="c" linear="no"/>
           <itemref idref="sp"/><itemref idref="frag"/><itemref idref="up"/><itemref idref="abs"/>
           <itemref idref="nothing"/><itemref idref='x"y'/><itemref idref="a"/><itemref idref="d"/>
           <itemref idref="dir"/>)"));
    auto book = epub::EpubBook::Load(opf, dir / "OEBPS");
    ASSERT_TRUE(book);
    // A file the spine names again (also through a fragment) is printed once, where it first appears.
    const std::vector<std::string> expected = {dir / "OEBPS/a.xhtml", dir / "OEBPS/c.xhtml",
                                               dir / "OEBPS/Text/ch 1.xhtml", dir / "OEBPS/d.xhtml"};
    EXPECT_EQ(book->GetChapterFiles(), expected);
    EXPECT_EQ(book->GetMissingFiles(),
              (std::vector<std::string>{"b.xhtml", "/etc/hostname", "folder.xhtml"}));
    EXPECT_EQ(book->GetPackageFolder(), dir / "OEBPS/");
}

TEST_F(EpubBookTest, TitleCreatorsAndGuide) {
    struct Case {
        const char* name;
        const char* metadata;
        const char* title;
        const char* creator;
    };
    const Case cases[] = {
        {"two creators",
         "<dc:title>Book</dc:title><dc:title>Second</dc:title><dc:creator>Ann</dc:creator>"
         "<dc:creator>Bob</dc:creator>",
         "Book", "Ann,Bob"},
        {"no creator", "<dc:title>T</dc:title>", "T", ""},
        {"empty creator is left out", "<dc:creator>A</dc:creator><dc:creator/><dc:creator>C</dc:creator>", "",
         "A,C"},
        {"any prefix bound to Dublin Core", "<x:title xmlns:x='http://purl.org/dc/elements/1.1/'>T</x:title>",
         "T", ""},
        {"another namespace is not Dublin Core",
         "<x:title xmlns:x='urn:other'>No</x:title><dc:title>Yes</dc:title>", "Yes", ""},
        {"the title refined as main",
         "<dc:title id='a'>Series</dc:title><dc:title id='b'>Main</dc:title>"
         "<meta refines='#b' property='title-type'>main</meta>",
         "Main", ""},
        {"whole text, whitespace collapsed", "<dc:title>\n  A <b>bold</b>\n title </dc:title>",
         "A bold title", ""},
        {"cdata and entities", "<dc:title><![CDATA[A & B]]></dc:title><dc:creator>&#20013;</dc:creator>",
         "A & B", "中"},
    };
    for (const Case& c : cases) {
        auto book = epub::EpubBook::Load(Write(Opf(c.metadata, "", "")));
        ASSERT_TRUE(book) << c.name;
        EXPECT_EQ(book->GetTitle(), c.title) << c.name;
        EXPECT_EQ(book->GetCreator(), c.creator) << c.name;
    }

    auto book =
        epub::EpubBook::Load(Write(Opf("<dc:creator>A</dc:creator><dc:language>ja</dc:language>"
                                       "<dc:language>en</dc:language>",
                                       "", "")));
    EXPECT_EQ(book->GetLanguage(), "ja");
    EXPECT_EQ(book->GetCreators(), std::vector<std::string>{"A"});

    book = epub::EpubBook::Load(Write(Opf("", "", "", R"(<guide>
        <reference type="text" title="Start" href="a.xhtml#s"/>
        <reference type="toc" title="Contents"/>
        <reference type="text" title="Second" href="b.xhtml"/></guide>)")));
    ASSERT_TRUE(book);
    EXPECT_EQ(book->GetCoverRef(), nullptr);
    EXPECT_EQ(book->GetTocRef(), nullptr);  // a reference without href is left out
    ASSERT_EQ(book->GetTextRefs().size(), 2u);
    EXPECT_EQ(book->GetTextRefs()[0]->label, "Start");
    EXPECT_EQ(book->GetTextRefs()[0]->target, "a.xhtml#s");
    EXPECT_EQ(book->GetTextRefs()[0]->file, dir / "OEBPS/a.xhtml");
    EXPECT_EQ(book->GetTextRefs()[0]->fragment, "s");
    EXPECT_EQ(book->GetTextRefs()[1]->label, "Second");
    EXPECT_EQ(book->GetTextRefs()[1]->level, 1);

    book = epub::EpubBook::Load(Write(Opf("", "", "", R"(<guide><reference type="cover" title="Cover"
        href="cover.xhtml"/></guide>)")));
    ASSERT_TRUE(book->GetCoverRef());
    EXPECT_EQ(book->GetCoverRef()->target, "cover.xhtml");
}

// The same book written the ways packages are written: what is read must not depend on prefixes.
TEST_F(EpubBookTest, PackageVariants) {
    for (const char* f :
         {"a.xhtml", "b.xhtml", "map.svg", "song.mp3", "toc.ncx", "nav/other.ncx", "nav.xhtml"})
        Chapter(f);
    const std::string items =
        R"(<I id="a" href="a.xhtml" media-type="application/xhtml+xml"/><I id="b" href="b.xhtml" media-type="text/html"/>
           <I id="svg" href="map.svg" media-type="image/svg+xml"/><I id="png" href="song.mp3" media-type="audio/mpeg"/>)";
    struct Case {
        const char* name;
        const char* package;  // %s: the items (<I ...> stands for the item element), %s: the spine's itemrefs
        const char* ncx;      // expected, relative to OEBPS; "" for none
        const char* nav;
        bool fixed[3];  // the layout of a, b and map.svg
    };
    const Case cases[] = {
        {"default namespace, spine toc attribute",
         R"(<package xmlns="http://www.idpf.org/2007/opf"><metadata xmlns:dc="http://purl.org/dc/elements/1.1/">
            <dc:title>T</dc:title></metadata><manifest>%s<item id="n1" href="toc.ncx" media-type="application/x-dtbncx+xml"/>
            <item id="n2" href="nav/other.ncx" media-type="application/x-dtbncx+xml"/></manifest>
            <spine toc="n2">%s</spine></package>)",
         "nav/other.ncx",
         "",
         {false, false, false}},
        {"opf: prefix, NCX from the manifest, nav",
         R"(<opf:package xmlns:opf="http://www.idpf.org/2007/opf"><opf:metadata xmlns:d="http://purl.org/dc/elements/1.1/">
            <d:title>T</d:title></opf:metadata><opf:manifest>%s<opf:item id="nav" href="nav.xhtml" properties="nav"
            media-type="application/xhtml+xml"/><opf:item id="n" href="toc.ncx" media-type="application/x-dtbncx+xml"/>
            </opf:manifest><opf:spine>%s</opf:spine></opf:package>)",
         "toc.ncx",
         "nav.xhtml",
         {false, false, false}},
        {"no namespace, nav only, pre-paginated with a reflowable page",
         R"(<package><metadata><title>T</title><meta property="rendition:layout">pre-paginated</meta></metadata>
            <manifest>%s<item id="nav" href="nav.xhtml" properties="scripted nav"/></manifest><spine>%s</spine></package>)",
         "",
         "nav.xhtml",
         {true, false, true}},
        {"an NCX named by the spine that is not there, a nav that is not there",
         R"(<package xmlns="http://www.idpf.org/2007/opf"><manifest>%s<item id="n" href="gone.ncx"
            media-type="application/x-dtbncx+xml"/><item id="nav" href="gone.xhtml" properties="nav"/></manifest>
            <spine toc="n">%s</spine></package>)",
         "",
         "",
         {false, false, false}},
        {"elements of another namespace are not the package's",
         R"(<package xmlns="http://www.idpf.org/2007/opf" xmlns:x="urn:other"><manifest>%s
            <x:item id="n" href="toc.ncx" media-type="application/x-dtbncx+xml"/></manifest>
            <spine>%s<x:itemref idref="n"/></spine></package>)",
         "",
         "",
         {false, false, false}},
    };
    for (const Case& c : cases) {
        const std::string package = c.package;
        const bool prefixed = package.find("<opf:package") != std::string::npos;
        std::string manifest = items;
        for (size_t at; (at = manifest.find("<I ")) != std::string::npos;)
            manifest.replace(at, 3, prefixed ? "<opf:item " : "<item ");
        std::string spine =
            R"(<R idref="a"/><R idref="b" properties="rendition:layout-reflowable"/><R idref="png"/>
                               <R idref="svg"/>)";
        for (size_t at; (at = spine.find("<R ")) != std::string::npos;)
            spine.replace(at, 3, prefixed ? "<opf:itemref " : "<itemref ");
        auto book = epub::EpubBook::Load(Write(util::FormatString(c.package, manifest, spine)));
        ASSERT_TRUE(book) << c.name;
        const std::vector<std::string> files = {dir / "OEBPS/a.xhtml", dir / "OEBPS/b.xhtml",
                                                dir / "OEBPS/map.svg"};
        EXPECT_EQ(book->GetChapterFiles(), files) << c.name;
        ASSERT_EQ(book->GetChapters().size(), 3u) << c.name;
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(book->GetChapters()[i].fixedLayout, c.fixed[i]) << c.name << " " << i;
        EXPECT_EQ(book->GetUnprintableItems(), std::vector<std::string>{"song.mp3 (audio/mpeg)"}) << c.name;
        EXPECT_EQ(book->GetNcxPath(), *c.ncx ? dir / ("OEBPS/" + std::string(c.ncx)) : "") << c.name;
        EXPECT_EQ(book->GetNavPath(), *c.nav ? dir / ("OEBPS/" + std::string(c.nav)) : "") << c.name;
    }
}

// The rendition properties of package and spine: spreads, progression, flow, the book's viewport, the
// side each item begins on; values that cannot be honoured are warned of.
TEST_F(EpubBookTest, RenditionProperties) {
    for (const char* f : {"a.xhtml", "b.xhtml", "c.xhtml"}) Chapter(f);
    const std::string items = R"(<item id="a" href="a.xhtml" media-type="application/xhtml+xml"/>
        <item id="b" href="b.xhtml" media-type="application/xhtml+xml"/>
        <item id="c" href="c.xhtml" media-type="application/xhtml+xml"/>)";
    using S = epub::PageSide;
    struct Case {
        const char* name;
        const char* metadata;
        const char* spineAttributes;
        const char* itemProperties[3];
        bool spreads, rtl, scrolled;
        S sides[3];
        bool fixed[3];
        size_t warnings;
    };
    const Case cases[] = {
        {"reflowable, ltr",
         "<dc:language>en</dc:language>",
         "",
         {"", "", ""},
         false,
         false,
         false,
         {S::Any, S::Any, S::Any},
         {false, false, false},
         0},
        {"fixed layout spreads by default, sides honoured on reflowable items too",
         R"(<meta property="rendition:layout">pre-paginated</meta>)",
         "",
         {"page-spread-right", "rendition:layout-reflowable rendition:page-spread-left",
          "rendition:page-spread-center"},
         true,
         false,
         false,
         {S::Right, S::Left, S::Center},
         {true, false, true},
         0},
        {"spread none: sides do nothing and are warned of",
         R"(<meta property="rendition:layout">pre-paginated</meta><meta property="rendition:spread">none</meta>)",
         "",
         {"page-spread-left", "", ""},
         false,
         false,
         false,
         {S::Any, S::Any, S::Any},
         {true, true, true},
         1},
        {"rtl spine, the first layout of an item counts",
         R"(<meta property="rendition:layout">pre-paginated</meta>
         <meta property="rendition:spread">landscape</meta>)",
         R"(page-progression-direction="rtl")",
         {"rendition:layout-reflowable rendition:layout-pre-paginated", "", ""},
         true,
         true,
         false,
         {S::Any, S::Any, S::Any},
         {false, true, true},
         0},
        {"Arabic book, default progression",
         "<dc:language>ar-EG</dc:language>",
         "",
         {"", "", ""},
         false,
         true,
         false,
         {S::Any, S::Any, S::Any},
         {false, false, false},
         0},
        {"ltr spine overrides the language",
         "<dc:language>he</dc:language>",
         R"(page-progression-direction="ltr")",
         {"", "", ""},
         false,
         false,
         false,
         {S::Any, S::Any, S::Any},
         {false, false, false},
         0},
        {"scrolled, unknown spread and layout values",
         R"(<meta property="rendition:flow">scrolled-doc</meta><meta property="rendition:spread">sometimes</meta>
         <meta property="rendition:layout">fixed</meta><meta property="rendition:viewport">width=800</meta>)",
         R"(page-progression-direction="up")",
         {"", "", ""},
         false,
         false,
         true,
         {S::Any, S::Any, S::Any},
         {false, false, false},
         4},
    };
    for (const Case& c : cases) {
        std::string spine;
        for (int i = 0; i < 3; ++i)
            spine += std::string("<itemref idref=\"") + "abc"[i] + "\" properties=\"" + c.itemProperties[i] +
                     "\"/>";
        std::string opf = Opf(c.metadata, items, spine);
        opf.replace(opf.find("<spine "), 7, std::string("<spine ") + c.spineAttributes + " ");
        auto book = epub::EpubBook::Load(Write(opf));
        ASSERT_TRUE(book && book->GetChapters().size() == 3) << c.name;
        const epub::Rendition& r = book->GetRendition();
        EXPECT_EQ(r.spreads, c.spreads) << c.name;
        EXPECT_EQ(r.rightToLeft, c.rtl) << c.name;
        EXPECT_EQ(r.scrolled, c.scrolled) << c.name;
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(book->GetChapters()[i].side, c.sides[i]) << c.name << " " << i;
            EXPECT_EQ(book->GetChapters()[i].fixedLayout, c.fixed[i]) << c.name << " " << i;
        }
        EXPECT_EQ(book->GetLayoutWarnings().size(), c.warnings) << c.name;
    }
    auto book = epub::EpubBook::Load(
        Write(Opf(R"(<meta property="rendition:viewport">width=1024, height=768</meta>)", items,
                  R"(<itemref idref="a" properties="rendition:align-x-center"/>)")));
    ASSERT_TRUE(book && book->GetChapters().size() == 1);
    EXPECT_EQ(book->GetRendition().viewport.width, 1024);
    EXPECT_TRUE(book->GetChapters()[0].centred);
}

// A picture in the spine prints its fallback document where it names one (also when the picture is
// missing), else it is a page of its own.
TEST_F(EpubBookTest, PicturesInTheSpine) {
    for (const char* f : {"a.xhtml", "p.png", "q.jpg"}) Chapter(f);
    auto book =
        epub::EpubBook::Load(Write(Opf("",
                                       R"(<item id="a" href="a.xhtml" media-type="application/xhtml+xml"/>
        <item id="p" href="p.png" media-type="image/png" fallback="a"/><item id="q" href="q.jpg" media-type="image/jpeg"/>
        <item id="gone" href="gone.png" media-type="image/png" fallback="p"/>
        <item id="loop" href="loop.gif" media-type="image/gif" fallback="loop"/>)",
                                       R"(<itemref idref="p"/><itemref idref="q"/><itemref idref="gone"/>
        <itemref idref="loop"/>)")));
    ASSERT_TRUE(book);
    ASSERT_EQ(book->GetChapters().size(), 2u);  // "gone" stands for a.xhtml, printed already
    EXPECT_EQ(book->GetChapters()[0].path, dir / "OEBPS/a.xhtml");
    EXPECT_FALSE(book->GetChapters()[0].image);
    EXPECT_EQ(book->GetChapters()[1].path, dir / "OEBPS/q.jpg");
    EXPECT_TRUE(book->GetChapters()[1].image);
    EXPECT_EQ(book->GetMissingFiles(), std::vector<std::string>{"loop.gif"});
}

// Without a guide, the navigation document's landmarks name the cover, the contents and the main text.
TEST_F(EpubBookTest, LandmarksStandInForAMissingGuide) {
    WriteFile(dir / "OEBPS/xhtml/nav.xhtml", R"(<html xmlns="http://www.w3.org/1999/xhtml"
        xmlns:e="http://www.idpf.org/2007/ops"><body><nav e:type="toc"><ol><li><a href="../a.xhtml">A</a></li></ol></nav>
        <nav e:type="landmarks"><ol><li><a e:type="cover" href="../cover.xhtml">Cover</a></li>
        <li><a e:type="toc" href="nav.xhtml#toc">Contents</a></li><li><a e:type="bodymatter" href="../a.xhtml#start">Start
        here</a></li></ol></nav></body></html>)");
    const std::string manifest = R"(<item id="nav" href="xhtml/nav.xhtml" properties="nav"/>)";
    auto book = epub::EpubBook::Load(Write(Opf("", manifest, "")));
    ASSERT_TRUE(book && book->GetCoverRef() && book->GetTocRef());
    EXPECT_EQ(book->GetCoverRef()->label, "Cover");
    EXPECT_EQ(book->GetCoverRef()->file, dir / "OEBPS/cover.xhtml");
    EXPECT_EQ(book->GetTocRef()->file, dir / "OEBPS/xhtml/nav.xhtml");
    ASSERT_EQ(book->GetTextRefs().size(), 1u);
    EXPECT_EQ(book->GetTextRefs()[0]->label, "Start here");
    EXPECT_EQ(book->GetTextRefs()[0]->fragment, "start");

    // A guide, even of one reference, is the book's own word: the landmarks are not read.
    book = epub::EpubBook::Load(
        Write(Opf("", manifest, "", R"(<guide><reference type="text" title="Go" href="b.xhtml"/></guide>)")));
    EXPECT_EQ(book->GetCoverRef(), nullptr);
    ASSERT_EQ(book->GetTextRefs().size(), 1u);
    EXPECT_EQ(book->GetTextRefs()[0]->label, "Go");
}

TEST_F(EpubBookTest, Utf16PackageReadsLikeUtf8) {
    Chapter("a.xhtml");
    const std::string utf8 = Opf("<dc:title>中文书名</dc:title><dc:creator>作者</dc:creator>",
                                 "<item id=\"a\" href=\"a.xhtml\"/>", "<itemref idref=\"a\"/>");
    auto plain = epub::EpubBook::Load(Write(utf8));
    // UTF-16LE with a byte-order mark, declaration changed to match.
    std::string text = utf8;
    text.replace(text.find("UTF-8"), 5, "UTF-16");
    std::u16string wide;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = text[i];
        char32_t cp;
        int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        cp = len == 1 ? c : c & (0xFF >> (len + 1));
        for (int k = 1; k < len; ++k) cp = (cp << 6) | (text[i + k] & 0x3F);
        i += len;
        wide += static_cast<char16_t>(cp);
    }
    std::string bytes = "\xFF\xFE";
    for (char16_t u : wide) {
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
    }
    auto utf16 = epub::EpubBook::Load(Write(bytes));
    ASSERT_TRUE(plain && utf16);
    EXPECT_EQ(utf16->GetTitle(), "中文书名");
    EXPECT_EQ(utf16->GetCreator(), plain->GetCreator());
    EXPECT_EQ(utf16->GetChapterFiles(), plain->GetChapterFiles());
}

TEST_F(EpubBookTest, MissingOrBrokenPackage) {
    EXPECT_EQ(epub::EpubBook::Load(dir / "nothing.opf"), nullptr);
    auto book = epub::EpubBook::Load(Write("<package><spine><itemref idref="));
    ASSERT_TRUE(book);
    EXPECT_TRUE(book->GetChapterFiles().empty());
}

}  // namespace
