// Font subsets as the browser embeds them, made from the DejaVu faces of fonts-dejavu-core.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "pdf/TrueTypeUnion.h"
#include "util/Files.h"

namespace testing_support {

inline pdf::TrueTypeProgram DejaVuFace(const std::string& file) {
    std::string bytes;
    EXPECT_TRUE(util::ReadFileBytes("/usr/share/fonts/truetype/dejavu/" + file, bytes)) << file;
    std::optional<pdf::TrueTypeProgram> face = pdf::TrueTypeProgram::Read(bytes);
    EXPECT_TRUE(face.has_value()) << file;
    return face.value_or(pdf::TrueTypeProgram{});
}

// A subset with the face's glyph ids: a glyph left out has no outline and no advance.
inline std::string BrowserSubset(pdf::TrueTypeProgram face, const std::set<uint16_t>& kept) {
    for (uint16_t g = 0; g < face.glyphCount; ++g) {
        if (kept.count(g) == 0) {
            face.glyphSpans[g] = {0, 0};
            face.horizontal[g] = {};
        }
    }
    pdf::TrueTypeUnion one;
    one.Add(face);
    return one.Program();
}

}  // namespace testing_support
