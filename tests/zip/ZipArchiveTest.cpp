#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <set>

#include "support/TestSupport.h"
#include "zip/ZipArchive.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::TempDir;

namespace {

class ZipArchiveTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        fixtures_ = new TempDir();
        auto made =
            RunCommand("python3 " + ShellQuote(testing_support::SourceDir() + "/tests/zip/make_fixtures.py") +
                       " " + ShellQuote(fixtures_->Path()));
        ASSERT_EQ(made.exitCode, 0) << made.output;
    }
    static void TearDownTestSuite() {
        delete fixtures_;
        fixtures_ = nullptr;
    }
    static std::string Fixture(const std::string& name) { return *fixtures_ / name; }

    // Every regular file below folder, relative to it.
    static std::set<std::string> Files(const std::string& folder) {
        std::set<std::string> files;
        for (auto& e : fs::recursive_directory_iterator(folder)) {
            if (!e.is_directory())
                files.insert(fs::relative(e.path(), folder).string());
        }
        return files;
    }

    TempDir dir;
    std::string Dest() const { return dir / "dest"; }

  private:
    static TempDir* fixtures_;
};
TempDir* ZipArchiveTest::fixtures_ = nullptr;

TEST_F(ZipArchiveTest, CommentAndStubOpenButAnEndRecordOutOfReachDoesNot) {
    for (const char* name : {"comment.zip", "stub.zip"}) {
        TempDir out;
        EXPECT_TRUE(zip::ZipArchive::ExtractAll(out / "d", Fixture(name), "")) << name;
        EXPECT_EQ(ReadFile(out / "d/c.txt"), "commented") << name;
    }
    EXPECT_FALSE(zip::ZipArchive::ExtractAll(Dest(), Fixture("far-end.zip"), ""));
}

TEST_F(ZipArchiveTest, Zip64SizesOffsetsAndEntryCounts) {
    ASSERT_TRUE(zip::ZipArchive::ExtractAll(Dest(), Fixture("zip64-forced.zip"), ""));
    for (const char* name : {"a.txt", "b.txt"})
        EXPECT_EQ(ReadFile(Dest() + "/" + name), ReadFile(Fixture("zip64-src") + "/" + name)) << name;

    TempDir many;
    std::vector<std::string> damaged;
    ASSERT_TRUE(zip::ZipArchive::Extract(many / "d", Fixture("zip64-many.zip"), &damaged));
    EXPECT_TRUE(damaged.empty());
    EXPECT_EQ(Files(many / "d").size(), 70000u);
    EXPECT_EQ(ReadFile(many / "d/m/69999.txt"), "69999");
}

TEST_F(ZipArchiveTest, NamesNeverLeaveTheDestination) {
    ASSERT_TRUE(zip::ZipArchive::ExtractAll(Dest(), Fixture("names.zip"), ""));
    const std::set<std::string> expected = {"windows/x.txt", "root.txt",           "folded.txt", "b.txt",
                                            "abs/f.txt",     "中文/章节 一.xhtml", "ok.txt"};
    EXPECT_EQ(Files(Dest()), expected);
    EXPECT_EQ(ReadFile(Dest() + "/folded.txt"), "content of a\\..\\..\\folded.txt");
    // Nothing beside the destination folder either.
    std::set<std::string> beside;
    for (auto& e : fs::directory_iterator(dir.Path())) beside.insert(e.path().filename().string());
    EXPECT_EQ(beside, std::set<std::string>{"dest"});
}

TEST_F(ZipArchiveTest, FoldersPermissionsLinksAndTimes) {
    ASSERT_TRUE(zip::ZipArchive::ExtractAll(Dest(), Fixture("kinds.zip"), ""));
    EXPECT_TRUE(fs::is_directory(Dest() + "/dir"));
    EXPECT_EQ(ReadFile(Dest() + "/a/b/c.txt"), "nested");
    auto perms = [&](const char* name) { return fs::status(Dest() + "/" + name).permissions(); };
    EXPECT_NE(perms("unix.txt") & fs::perms::owner_write, fs::perms::none);
    EXPECT_EQ(
        perms("dosro.txt") & (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write),
        fs::perms::none);
    // Execute bits stay; set-id bits and write access for others do not.
    EXPECT_EQ(perms("tool.sh"), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    EXPECT_FALSE(fs::exists(fs::symlink_status(Dest() + "/link")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(Dest() + "/dirlink")));

    struct stat st {};
    ASSERT_EQ(stat((Dest() + "/ut.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1600000000);
    std::tm dos{};
    dos.tm_year = 101, dos.tm_mon = 1, dos.tm_mday = 3, dos.tm_hour = 4, dos.tm_min = 5, dos.tm_sec = 6;
    dos.tm_isdst = -1;
    EXPECT_EQ(st.st_atime, std::mktime(&dos));
}

TEST_F(ZipArchiveTest, StoredAndDeflatedEntriesAreByteIdentical) {
    ASSERT_TRUE(zip::ZipArchive::ExtractAll(Dest(), Fixture("big.zip"), ""));
    EXPECT_EQ(ReadFile(Dest() + "/stored.bin"), ReadFile(Fixture("stored.bin")));
    EXPECT_EQ(ReadFile(Dest() + "/deflated.txt"), ReadFile(Fixture("deflated.txt")));
}

TEST_F(ZipArchiveTest, BadEntriesAreSkippedAndTheRestExtracted) {
    struct Case {
        const char* archive;
        std::set<std::string> files;
    };
    const Case cases[] = {
        {"method12.zip", {"1.txt", "3.txt"}},
        {"mismatch.zip", {"good.txt"}},
        {"encrypted.zip", {}},               // wrong password: nothing of it stays
        {"understated.zip", {"after.txt"}},  // its data goes on past its size: not its checksum
        {"damaged.zip", {"fine.txt"}},
    };
    for (const Case& c : cases) {
        TempDir out;
        EXPECT_TRUE(zip::ZipArchive::ExtractAll(out / "d", Fixture(c.archive), "")) << c.archive;
        EXPECT_EQ(Files(out / "d"), c.files) << c.archive;
    }
    // The entries whose data is damaged are named.
    TempDir out;
    std::vector<std::string> damaged;
    ASSERT_TRUE(zip::ZipArchive::Extract(out / "d", Fixture("damaged.zip"), &damaged));
    EXPECT_EQ(damaged, (std::vector<std::string>{"crc.txt", "other.txt"}));
    ASSERT_TRUE(zip::ZipArchive::Extract(out / "u", Fixture("understated.zip"), &damaged));
    EXPECT_EQ(damaged, std::vector<std::string>{"small.txt"});
}

TEST_F(ZipArchiveTest, ArchivesThatAreRefusedWhole) {
    for (const char* name : {"not-a-zip.epub", "empty.epub", "missing.epub", "bomb.zip"}) {
        TempDir out;
        EXPECT_FALSE(zip::ZipArchive::ExtractAll(out / "d", Fixture(name), "")) << name;
        EXPECT_FALSE(fs::exists(out / "d")) << name;
    }
}

TEST_F(ZipArchiveTest, LowLevelResultCodes) {
    zip::ZipArchive archive;
    zip::ZipEntry entry;
    EXPECT_EQ(archive.GetItem(0, entry), zip::kBadArguments);
    EXPECT_EQ(archive.ExtractItem(0, "x"), zip::kBadArguments);
    EXPECT_EQ(archive.Open(Fixture("missing.zip")), zip::kNoFile);
    EXPECT_EQ(archive.Open(Fixture("not-a-zip.epub")), zip::kCorrupt);
    ASSERT_EQ(archive.Open(Fixture("kinds.zip")), zip::kOk);
    EXPECT_EQ(archive.Open(Fixture("kinds.zip")), zip::kAlreadyOpen);
    ASSERT_EQ(archive.GetItem(-1, entry), zip::kOk);
    EXPECT_EQ(entry.index, 8);
    EXPECT_EQ(archive.GetItem(8, entry), zip::kBadArguments);
    EXPECT_EQ(archive.GetItem(-2, entry), zip::kBadArguments);
    ASSERT_EQ(archive.GetItem(0, entry), zip::kOk);
    EXPECT_EQ(entry.name, "dir/");
    EXPECT_TRUE(entry.attributes & zip::kAttrDirectory);
    ASSERT_EQ(archive.GetItem(3, entry), zip::kOk);
    EXPECT_EQ(entry.attributes, zip::kAttrReadOnly | zip::kAttrArchive);
    ASSERT_EQ(archive.GetItem(5, entry), zip::kOk);
    EXPECT_TRUE(entry.symbolicLink);
    archive.SetBaseFolder(dir.Path());
    EXPECT_EQ(archive.ExtractItem(5, entry.name), zip::kNoFile);
    EXPECT_EQ(archive.ExtractItem(1, "../escape.txt"), zip::kNoFile);
    EXPECT_EQ(archive.ExtractItem(1, "renamed.txt"), zip::kOk);
    EXPECT_EQ(ReadFile(dir / "renamed.txt"), "nested");
}

// Real books and the sample book unpack exactly as Info-ZIP's unzip unpacks them.
TEST_F(ZipArchiveTest, BooksExtractLikeUnzip) {
    std::vector<std::string> books = {EPUB2PDF_SAMPLE_BOOK};
    if (fs::is_directory(testing_support::CorpusDir())) {
        for (auto& e : fs::directory_iterator(testing_support::CorpusDir())) {
            if (e.path().extension() == ".epub")
                books.push_back(e.path().string());
        }
    }
    for (const std::string& book : books) {
        TempDir out;
        ASSERT_TRUE(zip::ZipArchive::ExtractAll(out / "ours", book, "")) << book;
        auto unzip = RunCommand("unzip -q " + ShellQuote(book) + " -d " + ShellQuote(out / "theirs"));
        ASSERT_EQ(unzip.exitCode, 0) << unzip.output;
        auto diff = RunCommand("diff -r " + ShellQuote(out / "ours") + " " + ShellQuote(out / "theirs"));
        EXPECT_EQ(diff.exitCode, 0) << book << "\n" << diff.output;
    }
}

}  // namespace
