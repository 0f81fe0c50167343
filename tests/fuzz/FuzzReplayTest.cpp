// Replays every stored fuzz input as an ordinary test, so that a crash or fault found once stays fixed.
#include <gtest/gtest.h>

#include <filesystem>

#include "CompactorFuzzTarget.h"
#include "ZipFuzzTarget.h"
#include "support/TestSupport.h"

namespace {

TEST(FuzzReplayTest, ZipCorpus) {
    const std::string folder = testing_support::SourceDir() + "/tests/fuzz/corpus/zip";
    int replayed = 0;
    for (auto& e : std::filesystem::directory_iterator(folder)) {
        const std::string bytes = testing_support::ReadFile(e.path().string());
        SCOPED_TRACE(e.path().filename().string());
        FuzzZipArchive(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}

// Recipes of chapters in long Chinese Type 3 fonts, and chapter PDFs, merged and compacted: each
// compacts into a document that checks clean and draws the same.
TEST(FuzzReplayTest, CompactorCorpus) {
    const std::string folder = testing_support::SourceDir() + "/tests/fuzz/corpus/compactor";
    int replayed = 0;
    for (auto& e : std::filesystem::directory_iterator(folder)) {
        const std::string bytes = testing_support::ReadFile(e.path().string());
        EXPECT_EQ(CompactorFault(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), "")
            << e.path().filename().string();
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}

}  // namespace
