// What both front ends do alike: taking books in, how many convert at once, where the PDFs go, and the
// names of the books' states.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "engine/ConversionWorker.h"
#include "frontend/BookIntake.h"
#include "frontend/BooksAtOnce.h"
#include "frontend/OutputPlan.h"
#include "frontend/States.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using frontend::Refusal;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

class IntakeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string zip = std::string("PK\x03\x04", 4) + "the rest of an archive";
        for (const char* book : {"shelf/a.epub", "shelf/B.EPUB", "shelf/sub/c.epub", "loose/book.epub",
                                 "loose/book.zip", "deep/sub/d.epub"})
            WriteFile(dir / book, zip);
        WriteFile(dir / "shelf/junk.epub", "x");  // in a folder: taken by its name, to fail alone
        WriteFile(dir / "shelf/notes.txt", "not a book");
        WriteFile(dir / "loose/fake.epub", "x");
        fs::create_directories(dir / "empty");
    }

    TempDir dir;
};

TEST_F(IntakeTest, BooksAndRefusalsByOneRule) {
    struct Case {
        const char* name;
        std::vector<std::string> given;
        bool recursive;
        std::vector<std::string> books;
        std::vector<frontend::Refused> refused;
    };
    const TempDir& d = dir;
    const Case cases[] = {
        {"a book", {d / "loose/book.epub"}, false, {d / "loose/book.epub"}, {}},
        {"a folder's books, sorted, its subfolders left alone",
         {d / "shelf"},
         false,
         {d / "shelf/B.EPUB", d / "shelf/a.epub", d / "shelf/junk.epub"},
         {}},
        {"recursive: the subfolders too",
         {d / "shelf"},
         true,
         {d / "shelf/B.EPUB", d / "shelf/a.epub", d / "shelf/junk.epub", d / "shelf/sub/c.epub"},
         {}},
        {"a folder without books", {d / "empty"}, true, {}, {{d / "empty", Refusal::NoBookInFolder}}},
        {"books below it only", {d / "deep"}, false, {}, {{d / "deep", Refusal::NoBookInFolder}}},
        {"nothing of that name", {d / "gone.epub"}, false, {}, {{d / "gone.epub", Refusal::NoSuchFile}}},
        {"a ZIP archive of another name",
         {d / "loose/book.zip"},
         false,
         {},
         {{d / "loose/book.zip", Refusal::NotAnEpubName}}},
        {"named .epub, but no ZIP archive",
         {d / "loose/fake.epub"},
         false,
         {},
         {{d / "loose/fake.epub", Refusal::NotAZipArchive}}},
        {"a batch: its books in their order, every refusal",
         {d / "shelf/notes.txt", d / "loose/book.epub", d / "empty", d / "shelf/a.epub",
          d / "loose/fake.epub"},
         false,
         {d / "loose/book.epub", d / "shelf/a.epub"},
         {{d / "shelf/notes.txt", Refusal::NotAnEpubName},
          {d / "empty", Refusal::NoBookInFolder},
          {d / "loose/fake.epub", Refusal::NotAZipArchive}}},
        {"paths are made full", {d / "shelf/sub/../a.epub"}, false, {d / "shelf/a.epub"}, {}},
        {"without standard input, - is a name", {"-"}, false, {}, {{"-", Refusal::NoSuchFile}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const frontend::Intake intake = frontend::CollectBooks(c.given, {.recursive = c.recursive});
        EXPECT_EQ(intake.books, c.books);
        ASSERT_EQ(intake.refused.size(), c.refused.size());
        for (size_t i = 0; i < c.refused.size(); ++i) {
            EXPECT_EQ(intake.refused[i].path, c.refused[i].path);
            EXPECT_EQ(intake.refused[i].why, c.refused[i].why) << c.refused[i].path;
        }
    }
}

TEST_F(IntakeTest, StandardInputGivesAPathALine) {
    std::istringstream lines(dir / "loose/book.epub" + "\r\n\n" + dir / "gone.epub" + "\n" + dir / "empty");
    const frontend::Intake intake =
        frontend::CollectBooks({dir / "shelf/a.epub", "-"}, {.standardInput = &lines});
    EXPECT_EQ(intake.books, (std::vector<std::string>{dir / "shelf/a.epub", dir / "loose/book.epub"}));
    ASSERT_EQ(intake.refused.size(), 2u);
    EXPECT_EQ(intake.refused[0].why, Refusal::NoSuchFile);
    EXPECT_EQ(intake.refused[1].why, Refusal::NoBookInFolder);
}

TEST(OutputPlanTest, NextToEachBookOrIntoOneFolderOrOnePdf) {
    TempDir dir;
    const frontend::OutputPlan beside = frontend::PlanOutput("", true, 3);
    EXPECT_EQ(beside.problem, frontend::OutputProblem::None);
    EXPECT_EQ(beside.FolderFor("/books/a/b.epub"), "/books/a/");

    const frontend::OutputPlan folder = frontend::PlanOutput(dir / "new/pdfs", true, 3);
    EXPECT_EQ(folder.problem, frontend::OutputProblem::None);
    EXPECT_TRUE(fs::is_directory(dir / "new/pdfs"));  // made when missing
    EXPECT_EQ(folder.FolderFor("/books/a/b.epub"), dir / "new/pdfs");
    EXPECT_EQ(folder.file, "");

    const frontend::OutputPlan one = frontend::PlanOutput(dir / "Book.PDF", true, 1);
    EXPECT_EQ(one.problem, frontend::OutputProblem::None);
    EXPECT_EQ(one.file, dir / "Book.PDF");
    EXPECT_EQ(one.FolderFor("/books/a/b.epub"), dir.Path() + "/");

    EXPECT_EQ(frontend::PlanOutput(dir / "two.pdf", true, 2).problem,
              frontend::OutputProblem::OneFileManyBooks);
    const frontend::OutputPlan nowhere = frontend::PlanOutput(dir / "gone/x.pdf", true, 1);
    EXPECT_EQ(nowhere.problem, frontend::OutputProblem::NoSuchFolder);
    EXPECT_EQ(nowhere.where, dir / "gone/");
    EXPECT_FALSE(fs::exists(dir / "gone"));

    // The window's setting is a folder whatever its name; a file in the way is no folder.
    EXPECT_EQ(frontend::PlanOutput(dir / "folder.pdf", false, 1).folder, dir / "folder.pdf");
    EXPECT_TRUE(fs::is_directory(dir / "folder.pdf"));
    WriteFile(dir / "a file", "x");
    const frontend::OutputPlan blocked = frontend::PlanOutput(dir / "a file", false, 1);
    EXPECT_EQ(blocked.problem, frontend::OutputProblem::CannotMakeFolder);
    EXPECT_EQ(blocked.where, dir / "a file");
}

TEST(BooksAtOnceTest, AskedThenTheSettingsThenTheMachine) {
    constexpr long long GiB = 1ll << 30;
    struct Case {
        const char* name;
        int cores;
        long long memory;
        int expected;
    };
    const Case cases[] = {
        {"two cores, plenty of memory", 2, 24 * GiB, 2},
        {"many cores, capped at twenty", 64, 256 * GiB, 20},
        {"memory is the limit", 16, 3 * GiB, 3},
        {"too little memory still converts one", 8, GiB / 4, 1},
        {"memory unknown: the cores", 4, 0, 4},
        {"no cores reported", 0, 8 * GiB, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(frontend::MachineBooks(c.cores, c.memory), c.expected) << c.name;

    const frontend::BooksAtOnce asked = frontend::ChooseBooksAtOnce(3, 7);
    EXPECT_EQ(asked.books, 3);
    EXPECT_EQ(asked.from, frontend::BooksFrom::Asked);
    const frontend::BooksAtOnce configured = frontend::ChooseBooksAtOnce(0, 99);
    EXPECT_EQ(configured.books, engine::ConversionWorker::kMaxThreads);
    EXPECT_EQ(configured.from, frontend::BooksFrom::Settings);
    const frontend::BooksAtOnce machine = frontend::ChooseBooksAtOnce(0, -1);
    EXPECT_EQ(machine.from, frontend::BooksFrom::Machine);
    EXPECT_GE(machine.cores, 1);
    EXPECT_EQ(machine.books, frontend::MachineBooks(machine.cores, machine.memory));
}

// The command line's catalogue gives each state's word back the program's own text of that state (the
// window's translations take that text for their source: tests/shell).
TEST(StatesTest, TheCommandLinesCatalogueFollowsTheTable) {
    const std::string po = testing_support::ReadFile(testing_support::SourceDir() + "/po/zh.po");
    for (const frontend::StateNames& names : frontend::kStateNames) {
        std::smatch match;
        const std::regex entry("\nmsgid \"" + std::string(names.word) + "\"\nmsgstr \"([^\"]*)\"");
        ASSERT_TRUE(std::regex_search(po, match, entry)) << names.word;
        EXPECT_EQ(match[1].str(), names.text) << names.word;
    }
}

}  // namespace
