#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "FontSubsets.h"
#include "RawPdf.h"
#include "pdf/Compactor.h"
#include "support/TestSupport.h"
#include "util/AtomicFile.h"

namespace {

using pdf::TrueTypeProgram;
using testing_support::BrowserSubset;
using testing_support::DejaVuFace;
using testing_support::RawPdf;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::TempDir;

std::string ToUnicode(const std::string& entries) {
    return "/CIDInit /ProcSet findresource begin 12 dict begin begincmap /CMapName /T def /CMapType 2 def\n"
           "1 begincodespacerange <0000> <FFFF> endcodespacerange\n" +
           entries + "\nendcmap CMapName currentdict /CMap defineresource pop end end";
}

// A Type 0 font over a TrueType program as the browser writes one; returns the font's object number.
int AddFont(RawPdf& pdf, const std::string& name, const std::string& program, const std::string& widths,
            const std::string& defaultWidth, const std::string& toUnicode) {
    const int file = pdf.AddStream("/Length1 " + std::to_string(program.size()), program);
    const int descriptor = pdf.Add("<< /Type /FontDescriptor /FontName /" + name +
                                   " /Flags 4 /FontBBox [0 -200 1000 900] /ItalicAngle 0 /Ascent 900 "
                                   "/Descent -200 /CapHeight 700 /StemV 80"
                                   " /FontFile2 " +
                                   std::to_string(file) + " 0 R >>");
    const int cid = pdf.Add(
        "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + name +
        " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /FontDescriptor " +
        std::to_string(descriptor) + " 0 R /CIDToGIDMap /Identity /DW " + defaultWidth + " /W " + widths +
        " >>");
    const int unicode = pdf.AddStream("", ToUnicode(toUnicode));
    return pdf.Add("<< /Type /Font /Subtype /Type0 /BaseFont /" + name +
                   " /Encoding /Identity-H /DescendantFonts [" + std::to_string(cid) + " 0 R] /ToUnicode " +
                   std::to_string(unicode) + " 0 R >>");
}

// Two chapters' subsets of DejaVu Sans as the browser writes them: widths only for the glyphs each keeps
// (with zeros between, and none for a width equal to the default), text ranges that count across a
// byte. A serif face, and a serif program under the sans name, beside them.
TEST(PdfCompactorTest, SubsetsOfOneFaceBecomeOneFontThatDrawsAndReadsTheSame) {
    const TrueTypeProgram sans = DejaVuFace("DejaVuSans.ttf"), serif = DejaVuFace("DejaVuSerif.ttf");
    ASSERT_GT(sans.glyphCount, 100);
    ASSERT_GT(serif.glyphCount, 100);
    const double em = (static_cast<unsigned char>(sans.tables.at("head")[18]) << 8 |
                       static_cast<unsigned char>(sans.tables.at("head")[19]));
    const auto width = [&](uint16_t g) { return std::to_string(sans.horizontal[g].advance * 1000 / em); };
    // Glyphs: 3 space, 35 '@', 36 'A', 37 'B', 90 'w'. '@' takes the default width.
    const std::string at = width(35);
    RawPdf pdf;
    const int first = AddFont(pdf, "AAAAAA+DejaVuSans", BrowserSubset(sans, {3, 35, 36, 37}),
                              "[3 [" + width(3) + "] 36 [" + width(36) + " " + width(37) + "]]", at,
                              "2 beginbfchar <0003> <0020> <0023> <0040> endbfchar\n"
                              "1 beginbfrange <0024> <0025> <00FF> endbfrange");
    const int second = AddFont(pdf, "BAAAAA+DejaVuSans", BrowserSubset(sans, {37, 90}),
                               "[3 [0] 35 [0 0 " + width(37) + "] 90 [" + width(90) + "]]", at,
                               "2 beginbfchar <0025> <0100> <005A> <0077> endbfchar");
    const std::string serifA = std::to_string(serif.horizontal[36].advance * 1000 / em);
    const int third = AddFont(pdf, "CAAAAA+DejaVuSerif", BrowserSubset(serif, {36}), "[36 [" + serifA + "]]",
                              at, "1 beginbfchar <0024> <0041> endbfchar");
    const int impostor = AddFont(pdf, "DAAAAA+DejaVuSans", BrowserSubset(serif, {36}),
                                 "[36 [" + serifA + "]]", at, "1 beginbfchar <0024> <0041> endbfchar");
    const auto ref = [](int object) { return std::to_string(object) + " 0 R"; };
    const int one = pdf.AddStream("", "BT /F1 30 Tf 72 700 Td <00240025000300230025> Tj ET");
    const int two =
        pdf.AddStream("",
                      "BT /F2 30 Tf 72 700 Td <0025005A0025> Tj ET BT /F3 30 Tf 72 600 Td <0024> Tj ET"
                      " BT /F4 30 Tf 72 500 Td <0024> Tj ET");
    const int pages = pdf.Add("");  // set once the pages have numbers
    const int page1 = pdf.Add("<< /Type /Page /Parent " + ref(pages) + " /MediaBox [0 0 300 800] /Contents " +
                              ref(one) + " /Resources << /Font << /F1 " + ref(first) + " >> >> >>");
    const int page2 = pdf.Add("<< /Type /Page /Parent " + ref(pages) + " /MediaBox [0 0 300 800] /Contents " +
                              ref(two) + " /Resources << /Font << /F2 " + ref(second) + " /F3 " + ref(third) +
                              " /F4 " + ref(impostor) + " >> >> >>");
    pdf.Set(pages, "<< /Type /Pages /Kids [" + ref(page1) + " " + ref(page2) + "] /Count 2 >>");
    const std::string before = pdf.Bytes(pdf.Add("<< /Type /Catalog /Pages " + ref(pages) + " >>"));

    TempDir dir;
    std::string after;
    const util::Status compacted = pdf::Compact(before, after);
    ASSERT_TRUE(compacted) << compacted.Reason();
    ASSERT_TRUE(util::WriteFileAtomically(dir / "before.pdf", before));
    ASSERT_TRUE(util::WriteFileAtomically(dir / "after.pdf", after));
    ASSERT_EQ(RunCommand("qpdf --check " + ShellQuote(dir / "after.pdf")).exitCode, 0);

    // The two sans subsets are one font; the serif face, and the serif program named as sans, stay apart.
    const auto fontsBefore = testing_support::FontsByFace(dir / "before.pdf");
    const auto fontsAfter = testing_support::FontsByFace(dir / "after.pdf");
    EXPECT_EQ(fontsBefore.at("DejaVuSans").size(), 3u);
    EXPECT_EQ(fontsAfter.at("DejaVuSans").size(), 2u);
    EXPECT_EQ(fontsAfter.at("DejaVuSerif").size(), 1u);

    // The same text, the ranges counted across the byte (U+00FF, U+0100), and the same pixels.
    const std::string text = testing_support::PdfText(dir / "after.pdf");
    EXPECT_EQ(text, testing_support::PdfText(dir / "before.pdf"));
    EXPECT_NE(text.find("\u00FF\u0100 @\u0100"), std::string::npos) << text;
    EXPECT_NE(text.find("\u0100w\u0100"), std::string::npos) << text;
    EXPECT_EQ(testing_support::RenderingDifference(dir / "before.pdf", dir / "after.pdf", 2, dir.Path()), "");
}

TEST(PdfCompactorTest, WhatIsNotAPdfIsRefused) {
    for (const char* bytes : {"not a PDF at all", ""}) {
        std::string compacted;
        const util::Status refused = pdf::Compact(bytes, compacted);
        EXPECT_FALSE(refused) << bytes;
        EXPECT_EQ(refused.Reason().rfind("the PDF could not be compacted: ", 0), 0u) << refused.Reason();
        EXPECT_TRUE(compacted.empty());
    }
}

}  // namespace
