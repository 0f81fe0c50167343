#include <gtest/gtest.h>

#include <set>
#include <string>

#include "FontSubsets.h"
#include "pdf/TrueTypeUnion.h"

namespace {

using pdf::TrueTypeProgram;
using pdf::TrueTypeUnion;
using testing_support::BrowserSubset;
using testing_support::DejaVuFace;

TrueTypeProgram Read(const std::string& bytes) {
    std::optional<TrueTypeProgram> program = TrueTypeProgram::Read(bytes);
    EXPECT_TRUE(program.has_value());
    return program.value_or(TrueTypeProgram{});
}

TEST(TrueTypeUnionTest, SubsetsOfOneFaceUniteGlyphByGlyph) {
    const TrueTypeProgram face = DejaVuFace("DejaVuSans.ttf");
    ASSERT_GT(face.glyphCount, 100);
    // 'A' and 'B' in one chapter, 'B' and 'w' in the other; a glyph in both must agree.
    const TrueTypeProgram first = Read(BrowserSubset(face, {36, 37})),
                          second = Read(BrowserSubset(face, {37, 90}));
    TrueTypeUnion both;
    ASSERT_TRUE(both.Accepts(first));
    both.Add(first);
    ASSERT_TRUE(both.Accepts(second));
    both.Add(second);
    const TrueTypeProgram united = Read(both.Program());
    EXPECT_EQ(united.glyphCount, face.glyphCount);
    for (uint16_t g : {36, 37, 90}) {
        EXPECT_EQ(united.Glyph(g), face.Glyph(g)) << g;
        EXPECT_EQ(united.horizontal[g].advance, face.horizontal[g].advance) << g;
        EXPECT_EQ(united.horizontal[g].bearing, face.horizontal[g].bearing) << g;
    }
    EXPECT_TRUE(united.Glyph(38).empty());
    // The tables per glyph that a union cannot keep true are gone, the face's hinting stays.
    EXPECT_EQ(united.tables.count("kern") + united.tables.count("GSUB") + united.tables.count("hdmx"), 0u);
    EXPECT_EQ(united.tables.at("fpgm"), face.tables.at("fpgm"));
}

TEST(TrueTypeUnionTest, OtherFacesAndOtherOutlinesStayApart) {
    const TrueTypeProgram sans = DejaVuFace("DejaVuSans.ttf");
    TrueTypeUnion union_;
    union_.Add(Read(BrowserSubset(sans, {36, 37})));
    EXPECT_FALSE(union_.Accepts(Read(BrowserSubset(DejaVuFace("DejaVuSerif.ttf"), {36, 90}))));
    EXPECT_FALSE(union_.Accepts(Read(BrowserSubset(DejaVuFace("DejaVuSans-Bold.ttf"), {90}))));
    // One face by its tables, but 'B' drawn otherwise: a different font under the same name.
    TrueTypeProgram altered = Read(BrowserSubset(sans, {37, 90}));
    std::string& glyf = altered.tables.at("glyf");
    glyf[altered.glyphSpans[37].first + 12] ^= 1;
    EXPECT_FALSE(union_.Accepts(altered));
    EXPECT_TRUE(union_.Accepts(Read(BrowserSubset(sans, {37, 90}))));

    // What is not a TrueType program, or not a whole one, is not read.
    std::string bytes = BrowserSubset(sans, {36});
    EXPECT_FALSE(TrueTypeProgram::Read(bytes.substr(0, bytes.size() / 2)).has_value());
    EXPECT_FALSE(TrueTypeProgram::Read("OTTO" + bytes.substr(4)).has_value());
    EXPECT_FALSE(TrueTypeProgram::Read("").has_value());
}

}  // namespace
