#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RawPdf.h"
#include "pdf/Check.h"
#include "pdf/Compactor.h"
#include "pdf/DocumentFile.h"
#include "support/TestSupport.h"
#include "util/AtomicFile.h"

namespace {

using testing_support::RawPdf;
using testing_support::Ref;

std::string OnePage(const std::string& content) {
    RawPdf pdf;
    const int stream = pdf.AddStream("", content);
    const int pages = pdf.Add("");
    const int page = pdf.Add("<< /Type /Page /Parent " + Ref(pages) + " /MediaBox [0 0 300 300] /Contents " +
                             Ref(stream) + " >>");
    pdf.Set(pages, "<< /Type /Pages /Kids [" + Ref(page) + "] /Count 1 >>");
    return pdf.Bytes(pdf.Add("<< /Type /Catalog /Pages " + Ref(pages) + " >>"));
}

// The check finds what qpdf --check finds, and what it would find if it decoded every stream: a sound
// document passes; a damaged one, or one with a stream qpdf misreads, fails and says why.
TEST(CheckTest, FindsWhatQpdfFinds) {
    const std::string sound = OnePage("0 0 m 100 100 l S");
    std::string misread;
    ASSERT_FALSE(testing_support::FlateDataQpdfWarnsOf(misread).empty());
    std::string cut = sound;
    cut.resize(cut.size() / 2);
    std::string badLength = sound;
    badLength.replace(badLength.find("/Length 17"), 10, "/Length 99");
    RawPdf noRoot;
    const std::string dangling = noRoot.Bytes(5);
    struct Case {
        const char* what;
        std::string pdf;
        const char* said;  // empty: clean
    } cases[] = {
        {"sound", sound, ""},
        {"a Flate stream qpdf misreads", testing_support::PdfQpdfWarnsOf(),
         "input stream is complete but output may still be valid"},
        {"cut in half", cut, "qpdf finds"},
        {"a stream's length wrong", badLength, "qpdf finds"},
        {"no catalog", dangling, "qpdf finds"},
        {"not a PDF", "hello", "qpdf finds"},
    };
    testing_support::TempDir dir;
    for (const Case& c : cases) {
        const util::Status checked = pdf::CheckDocument(c.pdf);
        if (std::string(c.said).empty()) {
            EXPECT_TRUE(checked) << c.what << ": " << checked.Reason();
        } else {
            EXPECT_FALSE(checked) << c.what;
            EXPECT_NE(checked.Reason().find(c.said), std::string::npos) << c.what << ": " << checked.Reason();
        }
        // qpdf --check agrees, but for the misread image, whose data it does not decode.
        ASSERT_TRUE(util::WriteFileAtomically(dir / "case.pdf", c.pdf));
        if (std::string(c.what) != "a Flate stream qpdf misreads") {
            EXPECT_EQ(testing_support::PdfCheckProblems(dir / "case.pdf").empty(), static_cast<bool>(checked))
                << c.what;
        }
    }
}

// A document with a stream qpdf misreads compacts into one it reads: the stream is compressed again,
// and the page draws the same.
TEST(CheckTest, CompactionWritesAgainWhatQpdfWouldMisread) {
    const std::string before = testing_support::PdfQpdfWarnsOf();
    ASSERT_FALSE(pdf::CheckDocument(before));
    std::string after;
    const util::Status compacted = pdf::Compact(before, after);
    ASSERT_TRUE(compacted) << compacted.Reason();
    EXPECT_TRUE(pdf::CheckDocument(after));
    testing_support::TempDir dir;
    ASSERT_TRUE(util::WriteFileAtomically(dir / "before.pdf", before));
    ASSERT_TRUE(util::WriteFileAtomically(dir / "after.pdf", after));
    EXPECT_EQ(testing_support::PdfCheckProblems(dir / "after.pdf"), "");
    EXPECT_EQ(testing_support::RenderingDifference(dir / "before.pdf", dir / "after.pdf", 1, dir.Path()), "");
}

// What is stored checks clean: a document that does not is not stored as it is (the file keeps what it
// held), and compacted it is, without a warning.
TEST(CheckTest, WhatDoesNotCheckCleanIsNotStored) {
    testing_support::TempDir dir;
    const std::string path = dir / "out.pdf";
    testing_support::WriteFile(path, "before");
    const std::string misread = testing_support::PdfQpdfWarnsOf();
    std::vector<std::string> warnings;
    const util::Status refused = pdf::Store(misread, path, false, warnings);
    EXPECT_FALSE(refused);
    EXPECT_NE(refused.Reason().find("the PDF is not sound: qpdf finds 1 problem in it: "), std::string::npos)
        << refused.Reason();
    EXPECT_EQ(testing_support::ReadFile(path), "before");
    const util::Status stored = pdf::Store(misread, path, true, warnings);
    ASSERT_TRUE(stored) << stored.Reason();
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(testing_support::PdfCheckProblems(path), "");
}

}  // namespace
