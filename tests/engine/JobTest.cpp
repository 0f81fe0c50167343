// The conversion job and the worker over a fake printer: every failure path, cancellation and a stop
// in the middle of a run, in seconds and without a browser.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "FakePrinter.h"
#include "engine/ConversionJob.h"
#include "engine/ConversionWorker.h"
#include "support/TestSupport.h"
#include "util/Format.h"

namespace fs = std::filesystem;
using nlohmann::json;
using testing_support::Act;
using testing_support::FakePrinters;
using testing_support::PrinterScript;
using testing_support::TempDir;

namespace {

using Clock = std::chrono::steady_clock;
double SecondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

class JobTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        books_ = new TempDir();
        auto made = testing_support::MakeTestBooks(books_->Path());
        ASSERT_EQ(made.exitCode, 0) << made.output;
    }
    static void TearDownTestSuite() { delete books_; }
    static std::string Book(const std::string& name) { return *books_ / ("books/" + name); }
    void TearDown() override { EXPECT_EQ(testing_support::UncleanPdfs(out.Path()), ""); }

    std::set<std::string> OutputFiles() const {
        std::set<std::string> names;
        for (auto& e : fs::directory_iterator(out.Path())) names.insert(e.path().filename().string());
        return names;
    }
    std::unique_ptr<engine::ConversionJob> Job(const std::string& book,
                                               engine::EngineSettings settings = {}) {
        return std::make_unique<engine::ConversionJob>(Book(book), std::move(settings), std::stop_token{},
                                                       FakePrinters(script));
    }
    static int Pages(const std::string& pdf) { return testing_support::PdfSummary(pdf)["pages"]; }

    TempDir out;
    std::shared_ptr<PrinterScript> script = std::make_shared<PrinterScript>();

  private:
    static TempDir* books_;
};
TempDir* JobTest::books_ = nullptr;

TEST_F(JobTest, PrintsEveryChapterAndMergesThem) {
    auto job = Job("four.epub");
    std::vector<int> progress;
    ASSERT_TRUE(job->Run(out / "four.pdf", [&](int p) {
        progress.push_back(p);
        return true;
    })) << job->FailureReason();
    EXPECT_EQ(progress, (std::vector<int>{0, 0, 25, 50, 75, 100}));
    EXPECT_EQ(OutputFiles(), std::set<std::string>{"four.pdf"});  // no temporary folder
    EXPECT_TRUE(job->Warnings().empty());
    EXPECT_EQ(script->made, 1);
    EXPECT_EQ(script->printed, 4);
    const int chapterPages = Pages(testing_support::TestDataDir() + "/chromium/ch1.pdf");
    const json summary = testing_support::PdfSummary(out / "four.pdf");
    EXPECT_EQ(summary["pages"], 4 * chapterPages);
    EXPECT_EQ(testing_support::OutlineTitles(summary["outline"]).size(), 4u);
    EXPECT_EQ(
        testing_support::RunCommand("qpdf --check " + testing_support::ShellQuote(out / "four.pdf")).exitCode,
        0);
}

// Page numbers that cannot be printed cost the numbers, not the book.
TEST_F(JobTest, PageNumbersThatCannotBePrintedAreAWarning) {
    engine::EngineSettings settings;
    settings.page.pageNumbers = true;
    engine::ConversionJob job(Book("four.epub"), settings, std::stop_token{}, FakePrinters(script));
    ASSERT_TRUE(job.Run(out / "four.pdf", nullptr)) << job.FailureReason();
    EXPECT_EQ(job.Warnings(), std::vector<std::string>{"the page numbers could not be printed: this printer "
                                                       "prints chapters only; they were left out"});
    EXPECT_EQ(OutputFiles(), std::set<std::string>{"four.pdf"});
}

TEST_F(JobTest, FailuresSayWhyAndLeaveNothingBehind) {
    struct Case {
        const char* name;
        const char* book;
        std::map<std::string, Act> acts;
        bool refuse;
        bool converted;
        const char* said;  // in the failure reason, or in the one warning of a converted book
    };
    const Case cases[] = {
        {"a chapter fails midway: it alone is left out",
         "four.epub",
         {{"c3.xhtml", Act::kFail}},
         false,
         true,
         "chapter 3 (OEBPS/c3.xhtml) could not be printed: the page did not load; it was left out"},
        {"the first chapter fails",
         "four.epub",
         {{"c1.xhtml", Act::kFail}},
         false,
         true,
         "chapter 1 (OEBPS/c1.xhtml) could not be printed: the page did not load; it was left out"},
        {"every chapter fails",
         "four.epub",
         {{"c1.xhtml", Act::kFail},
          {"c2.xhtml", Act::kFail},
          {"c3.xhtml", Act::kFail},
          {"c4.xhtml", Act::kFail}},
         false,
         false,
         "no chapter could be printed"},
        {"the only chapter fails",
         "leaky.epub",
         {{"leaky.xhtml", Act::kFail}},
         false,
         false,
         "chapter 1 (OEBPS/leaky.xhtml) could not be printed: the page did not load"},
        {"no printer", "four.epub", {}, true, false, "no printer today"},
        {"a missing spine file",
         "missing-chapter.epub",
         {},
         false,
         true,
         "the chapter file ch2.xhtml is not in the book; it was left out"},
        {"not a ZIP archive", "broken-notzip.epub", {}, false, false, "not a readable ZIP archive"},
        {"no such file", "no-such-book.epub", {}, false, false, "the file does not exist"},
        {"a package document that is not XML",
         "broken-opf.epub",
         {},
         false,
         false,
         "the package document OEBPS/content.opf is not well-formed: "},
        {"no chapters",
         "broken-nochapters.epub",
         {},
         false,
         false,
         "the book has no chapter files in its spine"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        script = std::make_shared<PrinterScript>();
        script->acts = c.acts;
        script->refuse = c.refuse;
        auto job = Job(c.book);
        const bool converted = job->Run(out / "x.pdf", nullptr);
        EXPECT_EQ(converted, c.converted) << job->FailureReason();
        if (converted) {
            ASSERT_EQ(job->Warnings().size(), 1u);
            EXPECT_NE(job->Warnings()[0].find(c.said), std::string::npos) << job->Warnings()[0];
            EXPECT_EQ(OutputFiles(), std::set<std::string>{"x.pdf"});
            fs::remove(out / "x.pdf");
        } else {
            EXPECT_NE(job->FailureReason().find(c.said), std::string::npos) << job->FailureReason();
            EXPECT_TRUE(OutputFiles().empty());
        }
    }
}

// A book that cannot be read never gets a printer (and so never starts a browser).
TEST_F(JobTest, BrokenBooksStartNoPrinter) {
    for (const char* book :
         {"broken-notzip.epub", "broken-nocontainer.epub", "broken-opf.epub", "broken-nochapters.epub"}) {
        EXPECT_FALSE(Job(book)->Run(out / "x.pdf", nullptr)) << book;
    }
    EXPECT_EQ(script->made, 0);
}

TEST_F(JobTest, WhatThePrinterGivesThatIsNoPdfOrThrowsLeavesNothing) {
    script->acts = {{"c2.xhtml", Act::kGarbage}};
    EXPECT_THROW(Job("four.epub")->Run(out / "four.pdf", nullptr), engine::PdfError);
    EXPECT_TRUE(OutputFiles().empty());
    script->acts = {{"c2.xhtml", Act::kThrow}};
    EXPECT_THROW(Job("four.epub")->Run(out / "four.pdf", nullptr), std::runtime_error);
    EXPECT_TRUE(OutputFiles().empty());
}

TEST_F(JobTest, CancelEndsAHungChapterAtOnce) {
    script->acts = {{"c2.xhtml", Act::kHang}};
    auto job = Job("four.epub");
    Clock::time_point cancelledAt;
    std::thread canceller([&] {
        while (script->hanging == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        cancelledAt = Clock::now();
        job->Cancel();
    });
    EXPECT_FALSE(job->Run(out / "four.pdf", nullptr));
    canceller.join();
    EXPECT_LT(SecondsSince(cancelledAt), 1.0);
    EXPECT_EQ(job->FailureReason(), "cancelled");
    EXPECT_TRUE(OutputFiles().empty());
}

// The final write fails (the file size limit stands in for a full disk): the book fails with the
// library's reason and no file stays under its name, nor a temporary one beside it.
TEST_F(JobTest, AWriteThatFailsLeavesNothing) {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 24 * 1024;  // a chapter PDF fits, the merged book does not
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    // Compacted, four copies of one chapter take less room than one; as merged they do not.
    engine::EngineSettings asMerged;
    asMerged.compact = false;
    auto job = Job("four.epub", asMerged);
    const bool converted = job->Run(out / "four.pdf", nullptr);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(converted);
    EXPECT_NE(job->FailureReason().find("could not be written"), std::string::npos) << job->FailureReason();
    EXPECT_TRUE(OutputFiles().empty());
}

class WorkerFakeTest : public JobTest {
  protected:
    // Starts a run and waits for its end.
    void RunToEnd(engine::ConversionWorker& worker) {
        std::mutex mutex;
        std::condition_variable cv;
        bool over = false;
        ASSERT_TRUE(worker.Start([&](const std::shared_ptr<engine::ConversionItem>&, int code) {
            if (code != engine::ConversionWorker::kRunOver)
                return;
            std::lock_guard lock(mutex);
            over = true;
            cv.notify_all();
        }));
        std::unique_lock lock(mutex);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::minutes(2), [&] { return over; }));
    }
};

TEST_F(WorkerFakeTest, ALibraryErrorShowsAsErrorAndTheOthersGoOn) {
    engine::ConversionWorker worker(out.Path(), 2);
    worker.SetPrinters(FakePrinters(script));
    script->acts = {{"c2.xhtml", Act::kGarbage}};
    auto broken = worker.AddItem(Book("four.epub"));
    auto good = worker.AddItem(Book("small-01.epub"));
    RunToEnd(worker);
    EXPECT_TRUE(broken->Failed());
    EXPECT_EQ(broken->State(), engine::ItemState::Error);
    EXPECT_FALSE(broken->FailureReason().empty());
    EXPECT_TRUE(good->Done()) << good->FailureReason();
    EXPECT_EQ(OutputFiles(), std::set<std::string>{"small-01.pdf"});
}

TEST_F(WorkerFakeTest, ABookThatLostAChapterSaysSo) {
    engine::ConversionWorker worker(out.Path(), 1);
    worker.SetPrinters(FakePrinters(script));
    script->acts = {{"c3.xhtml", Act::kFail}};
    auto four = worker.AddItem(Book("four.epub"));
    RunToEnd(worker);
    EXPECT_TRUE(four->Done()) << four->FailureReason();
    EXPECT_EQ(four->State(), engine::ItemState::ConvertedWithWarnings);
    ASSERT_EQ(four->Warnings().size(), 1u);
    EXPECT_NE(four->Warnings()[0].find("c3.xhtml"), std::string::npos) << four->Warnings()[0];
}

TEST_F(WorkerFakeTest, FailedBooksAreRetriedAndDoneOnesAreNot) {
    engine::ConversionWorker worker(out.Path(), 2);
    worker.SetPrinters(FakePrinters(script));
    script->acts = {{"a.xhtml", Act::kFail}, {"b.xhtml", Act::kFail}};  // both chapters of the small book
    auto small = worker.AddItem(Book("small-01.epub"));
    auto four = worker.AddItem(Book("four.epub"));
    RunToEnd(worker);
    EXPECT_TRUE(small->Failed());
    EXPECT_EQ(small->State(), engine::ItemState::Failed);
    EXPECT_TRUE(four->Done());
    EXPECT_EQ(script->made, 2);

    script->acts.clear();
    RunToEnd(worker);
    EXPECT_TRUE(small->Done()) << small->FailureReason();
    EXPECT_FALSE(small->Failed());
    EXPECT_EQ(script->made, 3);  // only the failed book ran again
    EXPECT_EQ(OutputFiles(), (std::set<std::string>{"small-01.pdf", "four.pdf"}));
}

// Start says whether a run began: not with no book, nor while one is under way.
TEST_F(WorkerFakeTest, StartSaysWhetherARunBegan) {
    engine::ConversionWorker worker(out.Path(), 1);
    worker.SetPrinters(FakePrinters(script));
    EXPECT_FALSE(worker.Start(nullptr));
    EXPECT_FALSE(worker.IsBusy());
    script->acts = {{"b.xhtml", Act::kHang}};
    worker.AddItem(Book("small-01.epub"));
    EXPECT_TRUE(worker.Start(nullptr));
    EXPECT_TRUE(worker.IsBusy());
    EXPECT_FALSE(worker.Start(nullptr));
    worker.Stop();
}

// A job that a stop or a cancel ends is stopped or cancelled, even when the printer throws as it goes.
TEST_F(WorkerFakeTest, AStopOrACancelIsNoErrorEvenWhenThePrinterThrows) {
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel ? "cancel" : "stop");
        engine::ConversionWorker worker(out.Path(), 1);
        worker.SetPrinters(FakePrinters(script));
        script->acts = {{"b.xhtml", Act::kHangThenThrow}};
        auto small = worker.AddItem(Book(cancel ? "small-01.epub" : "small-02.epub"));
        ASSERT_TRUE(worker.Start(nullptr));
        for (int i = 0; i < 1000 && script->hanging < 1; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(script->hanging, 1);
        if (cancel) {
            ASSERT_TRUE(worker.CancelItem(small->epubPath));
            for (int i = 0; i < 1000 && worker.IsBusy(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } else {
            worker.Stop();
        }
        EXPECT_EQ(small->State(), cancel ? engine::ItemState::Cancelled : engine::ItemState::Stopped);
        EXPECT_EQ(small->FailureReason(), "");
        EXPECT_TRUE(OutputFiles().empty());
    }
}

TEST_F(WorkerFakeTest, StopMidRunEndsEveryJobAtOnceAndStartsNoOther) {
    engine::ConversionWorker worker(out.Path(), 3);
    worker.SetPrinters(FakePrinters(script));
    script->acts = {{"b.xhtml", Act::kHang}};  // every small book hangs in its second chapter
    for (int i = 1; i <= 8; ++i) worker.AddItem(Book(util::FormatString("small-%02d.epub", i)));
    worker.Start([](const std::shared_ptr<engine::ConversionItem>&, int) {});
    for (int i = 0; i < 1000 && script->hanging < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(script->hanging, 3);
    const auto start = Clock::now();
    worker.Stop();
    EXPECT_LT(SecondsSince(start), 1.0);
    EXPECT_FALSE(worker.IsBusy());
    EXPECT_EQ(script->made, 3);  // the five queued books never started
    // Not the books' failure: the converting ones and the queued ones alike are stopped, and wait.
    for (const auto& item : worker.Items()) {
        EXPECT_FALSE(item->Done());
        EXPECT_EQ(item->State(), engine::ItemState::Stopped) << item->epubPath;
        EXPECT_EQ(item->FailureReason(), "");
    }
    EXPECT_TRUE(OutputFiles().empty());
}

}  // namespace
