// Turns one EPUB file into one PDF file: unpacks it into a temporary folder beside the output, reads
// its package and NCX, prints every chapter with one browser, merges the chapter PDFs with outline and
// internal links, and removes everything it made but the finished PDF. Runs synchronously on the
// calling thread; reports progress through a callback that can also cancel it.
#pragma once

#include "engine/PdfAssembler.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace browser {
class BrowserSession;
}

namespace engine {

class ConversionJob {
public:
    // Percentage 0..100 -> false stops the job.
    using ProgressCallback = std::function<bool(int)>;

    explicit ConversionJob(const std::string& epubPath);
    // Sets the cancel flag, then releases the browser and the assembler.
    virtual ~ConversionJob();
    ConversionJob(const ConversionJob&) = delete;
    ConversionJob& operator=(const ConversionJob&) = delete;

    // Converts the book to outputPdfPath. True when the PDF was written; on false nothing is left under
    // the output name and FailureReason says why. Throws PdfError when a chapter PDF cannot be read.
    bool Run(const std::string& outputPdfPath, const ProgressCallback& callback);

    // Why the last Run failed.
    const std::string& FailureReason() const { return reason_; }
    // How many requests of the book's pages were refused.
    int BlockedRequests() const { return blocked_; }
    // Where the time of the last Run went, e.g. "unpack 0.01s, browser 0.40s, ...".
    std::string TimingSummary() const;
    // The application text written as the PDF's Creator and Producer.
    static const std::string& CreatorText();

private:
    bool Fail(std::string reason);

    std::shared_ptr<PdfAssembler> assembler_;
    std::shared_ptr<browser::BrowserSession> printer_;
    std::atomic<bool> cancelled_{false};
    std::atomic<int> progress_{0};
    std::map<std::string, std::string> chapterMap_;
    std::string epubPath_;
    std::string reason_;
    int blocked_ = 0;
    struct Timings {
        double unpack = 0, browserStart = 0, printing = 0, merging = 0, browserStop = 0, writing = 0;
    } timings_;
};

}  // namespace engine
