// Turns one EPUB file into one PDF file: unpacks it into a temporary folder beside the output, reads
// its package and NCX, prints every chapter with one printer (a browser of its own by default), merges
// the chapter PDFs with outline and internal links, and removes everything it made but the finished
// PDF. Runs synchronously on the calling thread; reports progress through a callback that can also
// cancel it. Cancel (or the stop token it was made with) stops it from any other thread at once, even
// inside a chapter that hangs.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <vector>

#include "engine/ChapterPrinter.h"
#include "engine/EngineSettings.h"
#include "pdf/Assembler.h"
#include "util/Status.h"

namespace engine {

// A chapter PDF that the PDF library cannot merge, with the library's reason: Run throws it, and the
// worker shows the book as an error of the program rather than a book that failed.
class PdfError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class ConversionJob {
  public:
    // Percentage 0..100 -> false stops the job.
    using ProgressCallback = std::function<bool(int)>;

    // stop: the run this job belongs to; a stop request there cancels the job. printers: how chapters
    // are printed; by default with a browser found through settings, by a browser manager of the job's
    // own.
    explicit ConversionJob(const std::string& epubPath, EngineSettings settings = {},
                           std::stop_token stop = {}, PrinterFactory printers = {});
    // Cancels, then releases the printer and the assembler.
    virtual ~ConversionJob();
    ConversionJob(const ConversionJob&) = delete;
    ConversionJob& operator=(const ConversionJob&) = delete;

    // Converts the book to outputPdfPath. True when the PDF was written; on false nothing is left under
    // the output name and FailureReason says why. Throws PdfError when a chapter PDF cannot be read.
    bool Run(const std::string& outputPdfPath, const ProgressCallback& callback);

    // Stops a Run on another thread: no printer is made and no chapter printed after it, the one
    // printing is abandoned, and Run returns false with nothing left behind. Safe from any thread.
    void Cancel();

    // Why the last Run failed.
    const std::string& FailureReason() const { return reason_; }
    // What the last Run that succeeded left out or could not read, one sentence each (chapters that
    // are missing or did not print, a package document or NCX that is not well-formed).
    const std::vector<std::string>& Warnings() const { return warnings_; }
    // How many requests of the book's pages were refused.
    int BlockedRequests() const { return blocked_; }
    // The pages of the PDF the last Run wrote.
    int Pages() const { return pages_; }
    // Where the time of the last Run went, e.g. "unpack 0.01s, browser start 0.40s, ...".
    std::string TimingSummary() const;
    // The application text written as the PDF's Creator and Producer.
    static const std::string& CreatorText();

  private:
    struct Book;
    class Merge;

    // The steps of Run, in order; each failure says why.
    util::Status Unpack(const std::string& tempFolder, Book& book);
    util::Status ReadBook(Book& book);
    util::Status PrintChapters(const Book& book, const std::string& tempFolder,
                               const ProgressCallback& callback);
    util::Status Assemble(const Book& book, const std::string& outputPath);
    // Prints the page numbers and the header for the merged pages, when the page setup asks for them,
    // and lays them over the pages; what cannot be printed or laid is a warning.
    void PrintStamps(ChapterPrinter& printer, const Book& book, const std::string& tempFolder);

    bool Fail(std::string reason);
    util::Status Cancelled() const { return util::Status::Failure("cancelled"); }

    EngineSettings settings_;
    PrinterFactory printers_;
    std::shared_ptr<pdf::Assembler> assembler_;
    std::atomic<bool> cancelled_{false};
    std::stop_source stop_;
    std::atomic<int> progress_{0};
    std::map<std::string, std::string> chapterMap_;
    std::string epubPath_;
    std::string reason_;
    std::vector<std::string> warnings_;
    int blocked_ = 0;
    int pages_ = 0;
    struct Timings {
        double unpack = 0, browserStart = 0, printing = 0, merging = 0, browserStop = 0, writing = 0;
    } timings_;
    // Last, so that it goes first: the outer stop reaches this job only while the job exists.
    std::unique_ptr<std::stop_callback<std::function<void()>>> outerStop_;
};

}  // namespace engine
