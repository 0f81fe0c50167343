// The page setup's texts, as the settings file and the command line give them: what is read, and what
// is refused with a message that names the value.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "engine/PageSetup.h"
#include "engine/PrintJob.h"
#include "settings/SettingsFile.h"
#include "support/TestSupport.h"
#include "util/Format.h"

namespace {

using engine::PageSetup;

TEST(PageSetupTest, GoodTextsAndWhatTheyMean) {
    struct Case {
        const char* what;
        const char* text;
        double a, b, c, d;  // paper: width, height (in); margins: top, right, bottom, left (in); scale: a
    };
    using Parse = std::string (*)(const std::string&, PageSetup&);
    const std::pair<Parse, Case> cases[] = {
        {engine::ParsePaper, {"A4", "A4", 210 / 25.4, 297 / 25.4, 0, 0}},
        {engine::ParsePaper, {"any case", "letter", 8.5, 11, 0, 0}},
        {engine::ParsePaper, {"legal", "Legal", 8.5, 14, 0, 0}},
        {engine::ParsePaper, {"B5", "b5", 176 / 25.4, 250 / 25.4, 0, 0}},
        {engine::ParsePaper, {"millimetres", "210x297mm", 210 / 25.4, 297 / 25.4, 0, 0}},
        {engine::ParsePaper, {"points", "595 x 842 pt", 595 / 72.0, 842 / 72.0, 0, 0}},
        {engine::ParsePaper, {"inches, unit on both", "6inx9in", 6, 9, 0, 0}},
        {engine::ParseMargins, {"one for all", "20mm", 20 / 25.4, 20 / 25.4, 20 / 25.4, 20 / 25.4}},
        {engine::ParseMargins,
         {"four, unit at the end", "10,15,10,15mm", 10 / 25.4, 15 / 25.4, 10 / 25.4, 15 / 25.4}},
        {engine::ParseMargins, {"mixed units", "0.5in,36pt,1cm,0", 0.5, 0.5, 1 / 2.54, 0}},
        {engine::ParseMargins, {"zero needs no unit", "0", 0, 0, 0, 0}},
        {engine::ParseScale, {"factor", "1.25", 1.25, 0, 0, 0}},
        {engine::ParseScale, {"percentage", "80%", 0.8, 0, 0, 0}},
    };
    for (const auto& [parse, c] : cases) {
        PageSetup setup;
        ASSERT_EQ(parse(c.text, setup), "") << c.what;
        if (parse == engine::ParsePaper) {
            EXPECT_NEAR(setup.width, c.a, 1e-9) << c.what;
            EXPECT_NEAR(setup.height, c.b, 1e-9) << c.what;
        } else if (parse == engine::ParseMargins) {
            EXPECT_NEAR(setup.marginTop, c.a, 1e-9) << c.what;
            EXPECT_NEAR(setup.marginRight, c.b, 1e-9) << c.what;
            EXPECT_NEAR(setup.marginBottom, c.c, 1e-9) << c.what;
            EXPECT_NEAR(setup.marginLeft, c.d, 1e-9) << c.what;
        } else {
            EXPECT_NEAR(setup.scale, c.a, 1e-9) << c.what;
        }
    }
    PageSetup setup;
    setup.landscape = true;
    ASSERT_EQ(engine::ParsePaper("A4", setup), "");
    EXPECT_NEAR(setup.PaperWidth() * 72, 842, 0.5);
    ASSERT_EQ(engine::ParseNumberPosition("Outside", setup), "");
    EXPECT_EQ(setup.numberPosition, engine::NumberPosition::Outside);
}

TEST(PageSetupTest, BadTextsAreRefusedByNameAndChangeNothing) {
    using Parse = std::string (*)(const std::string&, PageSetup&);
    const std::pair<Parse, const char*> cases[] = {
        {engine::ParsePaper, "A9"},
        {engine::ParsePaper, "210x297"},
        {engine::ParsePaper, "210mmx297in"},
        {engine::ParsePaper, "0x0mm"},
        {engine::ParsePaper, "300x300in"},
        {engine::ParsePaper, ""},
        {engine::ParseMargins, "20"},
        {engine::ParseMargins, "1,2,3mm"},
        {engine::ParseMargins, "-1mm"},
        {engine::ParseMargins, "1furlong"},
        {engine::ParseMargins, "1mm,,1mm,1mm"},
        {engine::ParseScale, "big"},
        {engine::ParseScale, "3"},
        {engine::ParseScale, "5%"},
        {engine::ParseScale, "1.1x"},
        {engine::ParseNumberPosition, "top"},
    };
    for (const auto& [parse, text] : cases) {
        PageSetup setup;
        const std::string why = parse(text, setup);
        EXPECT_NE(why.find(std::string("'") + text + "'"), std::string::npos) << text << ": " << why;
        EXPECT_NE(why.find(": "), std::string::npos) << why;  // and what is accepted
        EXPECT_EQ(setup.width, PageSetup{}.width) << text;
        EXPECT_EQ(setup.marginTop, PageSetup{}.marginTop) << text;
        EXPECT_EQ(setup.scale, PageSetup{}.scale) << text;
    }
    PageSetup tight;
    ASSERT_EQ(engine::ParseMargins("5in,1in,5.5in,1in", tight), "");
    EXPECT_NE(engine::CheckPageSetup(tight), "");
}

TEST(PageSetupTest, TheSettingsFileSection) {
    testing_support::TempDir dir;
    const std::string path = dir / "epub2pdf.ini";
    testing_support::WriteFile(path,
                               "[page]\npaper=A5\nlandscape=1\nmargins=10mm\nscale=100%\npage_numbers=yes\n"
                               "number_position=right\nheader=0\n");
    PageSetup setup;
    EXPECT_EQ(settings::ReadPageSetup(path, setup), "");
    EXPECT_NEAR(setup.width, 148 / 25.4, 1e-9);
    EXPECT_TRUE(setup.landscape);
    EXPECT_NEAR(setup.marginLeft, 10 / 25.4, 1e-9);
    EXPECT_EQ(setup.scale, 1.0);
    EXPECT_TRUE(setup.pageNumbers);
    EXPECT_EQ(setup.numberPosition, engine::NumberPosition::Right);
    EXPECT_FALSE(setup.header);

    testing_support::WriteFile(path, "[page]\npaper=A4\nlandscape=maybe\n");
    EXPECT_EQ(settings::ReadPageSetup(path, setup),
              "[page] landscape: 'maybe' is neither 1 (yes) nor 0 (no)");
    testing_support::WriteFile(path, "[page]\npaper=Folio\n");
    const engine::EngineSettings read = settings::ReadEngineSettings(path);
    EXPECT_NE(read.problem.find("[page] paper: 'Folio' is not a paper size"), std::string::npos)
        << read.problem;
    // A browser that is no program is refused, never passed over for the one on PATH.
    for (const std::string& browser : {path, dir.Path(), dir / "none"}) {
        testing_support::WriteFile(path, "[browser]\npath=" + browser + "\n");
        EXPECT_EQ(settings::ReadEngineSettings(path).problem,
                  path + ": [browser] path: " + browser + " is not an executable browser");
    }
    testing_support::WriteFile(path, "[browser]\npath=/bin/sh\n");
    EXPECT_EQ(settings::ReadEngineSettings(path).problem, "");
}

// Every print of a book takes its parameters from one place: the page setup for chapters and covers,
// the document's own size for a fixed-layout page, the sheet's for what is drawn over the pages. With
// the standard setup, a chapter goes with the long-standing parameters exactly.
TEST(PageSetupTest, PrintParametersOfEveryKindOfPrint) {
    using Kind = engine::PrintJob::Kind;
    PageSetup a5;
    ASSERT_EQ(engine::ParsePaper("A5", a5), "");
    ASSERT_EQ(engine::ParseMargins("10mm,1in,10mm,1in", a5), "");
    a5.landscape = true;
    a5.scale = 1.0;
    const std::string standard =
        R"("displayHeaderFooter":false,"landscape":false,"marginBottom":0.800000011920929,)"
        R"("marginLeft":0.800000011920929,"marginRight":0.800000011920929,"marginTop":0.800000011920929,)"
        R"("pageRanges":"%s","paperHeight":11.0,"paperWidth":8.5,"printBackground":true,"scale":1.100000023841858)";
    const struct {
        const char* name;
        PageSetup page;
        engine::PrintJob job;
        std::string expected;
    } cases[] = {
        {"a chapter on the standard paper",
         {},
         {Kind::Chapter, 5000, 0, 0},
         "{" + util::FormatString(standard, "1-5001") + "}"},
        {"a cover: its first page only",
         {},
         {Kind::Cover, 5000, 0, 0},
         "{" + util::FormatString(standard, "1") + "}"},
        {"a chapter on the book's paper",
         a5,
         {Kind::Chapter, 20, 0, 0},
         R"({"displayHeaderFooter":false,"landscape":true,"marginBottom":0.39370078740157477,"marginLeft":1.0,)"
         R"("marginRight":1.0,"marginTop":0.39370078740157477,"pageRanges":"1-21",)"
         R"("paperHeight":8.267716535433072,"paperWidth":5.826771653543307,"printBackground":true,"scale":1.0})"},
        {"a fixed-layout page: its own size, whatever the book's paper",
         a5,
         {Kind::FixedLayout, 20, 1200, 1600},
         R"({"displayHeaderFooter":false,"landscape":false,"marginBottom":0.0,"marginLeft":0.0,"marginRight":0.0,)"
         R"("marginTop":0.0,"pageRanges":"1","paperHeight":16.666666666666668,"paperWidth":12.5,)"
         R"("printBackground":true,"scale":1.0})"},
        {"a scrolled chapter: the paper's width, as tall as its content with the margins",
         a5,
         {Kind::Scrolled, 20, 0, 936},
         R"({"displayHeaderFooter":false,"landscape":false,"marginBottom":0.39370078740157477,"marginLeft":1.0,)"
         R"("marginRight":1.0,"marginTop":0.39370078740157477,"pageRanges":"1-21","paperHeight":10.787401574803148,)"
         R"("paperWidth":8.267716535433072,"printBackground":true,"scale":1.0})"},
        {"a scrolled chapter taller than a PDF page: cut into pages of the largest height",
         a5,
         {Kind::Scrolled, 20, 0, 1e6},
         R"({"displayHeaderFooter":false,"landscape":false,"marginBottom":0.39370078740157477,"marginLeft":1.0,)"
         R"("marginRight":1.0,"marginTop":0.39370078740157477,"pageRanges":"1-21","paperHeight":200.0,)"
         R"("paperWidth":8.267716535433072,"printBackground":true,"scale":1.0})"},
        {"a sheet drawn over the pages",
         a5,
         {Kind::Sheet, 0, 5.5, 0.5},
         R"({"displayHeaderFooter":false,"generateTaggedPDF":false,"landscape":false,"marginBottom":0.0,)"
         R"("marginLeft":0.0,"marginRight":0.0,"marginTop":0.0,"paperHeight":0.5,"paperWidth":5.5,)"
         R"("printBackground":false,"scale":1.0})"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(engine::PrintParametersFor(c.page, c.job).ToJson().dump(), c.expected) << c.name;
}

}  // namespace
