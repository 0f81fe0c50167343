#include <gtest/gtest.h>

#include "epub/ChapterDocument.h"
#include "support/TestSupport.h"

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

TEST(ChapterDocumentTest, Windows1252BytesInUtf8Text) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain ascii", "plain ascii"},
        {"\x93quoted\x94 \x85", "\u201Cquoted\u201D \u2026"},
        {"caf\xE9 and caf\xC3\xA9", "caf\u00E9 and caf\u00E9"},  // valid sequences stay
        {"\xE2\x82", "\u00E2\u201A"},                            // a cut sequence is two bytes of 1252
        {"\xED\xA0\x80", "\u00ED\u00A0\u20AC"},                  // an encoded surrogate is not UTF-8
        {"\x81", "\uFFFD"},                                      // undefined in Windows-1252
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(epub::RepairUtf8(in), out) << in;
}

TEST(ChapterDocumentTest, OnlyTextThatClaimsUtf8IsRewritten) {
    TempDir dir;
    const std::string body = "<p>\x93hi\x94</p>";
    const struct {
        const char* head;
        bool rewritten;
    } cases[] = {
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", true},
        {"<?xml version='1.0'?>", true},
        {"<html><head><meta charset=\"utf-8\"/></head>", true},
        {"<?xml version=\"1.0\" encoding=\"windows-1252\"?>", false},
        {"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=ISO-8859-1\"/>", false},
    };
    for (const auto& c : cases) {
        const std::string file = dir / "c.xhtml";
        WriteFile(file, std::string(c.head) + body);
        EXPECT_EQ(epub::RepairFileEncoding(file), c.rewritten) << c.head;
        EXPECT_EQ(ReadFile(file), std::string(c.head) + (c.rewritten ? "<p>\u201Chi\u201D</p>" : body))
            << c.head;
    }
    WriteFile(dir / "ok.xhtml", "<p>\u201Cfine\u201D</p>");
    EXPECT_FALSE(epub::RepairFileEncoding(dir / "ok.xhtml"));
    EXPECT_FALSE(epub::RepairFileEncoding(dir / "missing.xhtml"));
}

TEST(ChapterDocumentTest, Viewports) {
    const struct {
        const char* content;
        double width, height;
    } cases[] = {
        {"width=1200, height=1600", 1200, 1600},
        {"height=800;width=600px", 600, 800},
        {" width = 612.5 , height = 792 ", 612.5, 792},
        {"width=device-width, height=100", 0, 0},
        {"width=100", 0, 0},
        {"width=1000px, height=600mm", 1000, 600},  // units are ignored: the values are pixels
        {"width=900, height=600, something, foo", 900, 600},
        {"width=900, height=600, width=1000, height=1000", 900, 600},  // the first of each counts
        {"width=-5, height=600", 0, 0},
        {"width=abc, height=600", 0, 0},
        {"", 0, 0},
    };
    for (const auto& c : cases) {
        const epub::Viewport v = epub::ParseViewport(c.content);
        EXPECT_EQ(v.width, c.width) << c.content;
        EXPECT_EQ(v.height, c.height) << c.content;
    }
    TempDir dir;
    WriteFile(dir / "a.xhtml", R"(<html xmlns="http://www.w3.org/1999/xhtml"><head>
        <meta name="viewport" content="width=600, height=800"/></head><body/></html>)");
    WriteFile(dir / "b.svg", R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 300 400"/>)");
    WriteFile(dir / "c.svg",
              R"(<svg xmlns="http://www.w3.org/2000/svg" width="500" height="250" viewBox="0 0 1 1"/>)");
    WriteFile(dir / "d.xhtml", "<html><body/></html>");
    // The first declaration that can be read counts.
    WriteFile(dir / "e.xhtml", R"(<html xmlns="http://www.w3.org/1999/xhtml"><head>
        <meta name="viewport" content="width=device-width"/><meta name="viewport" content="width=700, height=500"/>
        <meta name="viewport" content="width=10, height=10"/></head><body/></html>)");
    WriteFile(dir / "f.xhtml", R"(<html xmlns="http://www.w3.org/1999/xhtml"><head>
        <meta name="viewport" content="initial-scale=1"/></head><body/></html>)");
    WriteFile(dir / "g.svg",
              R"(<svg xmlns="http://www.w3.org/2000/svg" width="100%" height="100%" viewBox="0 0 30 40"/>)");
    bool unreadable = true;
    EXPECT_EQ(epub::ReadViewport(dir / "a.xhtml", &unreadable).height, 800);
    EXPECT_FALSE(unreadable);
    EXPECT_EQ(epub::ReadViewport(dir / "b.svg").width, 300);
    EXPECT_EQ(epub::ReadViewport(dir / "c.svg").width, 500);
    EXPECT_EQ(epub::ReadViewport(dir / "g.svg").width, 30);
    EXPECT_FALSE(epub::ReadViewport(dir / "d.xhtml", &unreadable).Valid());
    EXPECT_FALSE(unreadable);
    EXPECT_EQ(epub::ReadViewport(dir / "e.xhtml").width, 700);
    EXPECT_FALSE(epub::ReadViewport(dir / "f.xhtml", &unreadable).Valid());
    EXPECT_TRUE(unreadable);
}

}  // namespace
