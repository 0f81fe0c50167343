#include "engine/ConversionJob.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <mutex>
#include <thread>
#include <utility>

#include "browser/BrowserManager.h"
#include "engine/BookOutline.h"
#include "engine/PageStamps.h"
#include "epub/ChapterDocument.h"
#include "epub/EpubBook.h"
#include "epub/EpubFolder.h"
#include "epub/TableOfContents.h"
#include "util/AtomicFile.h"
#include "util/Files.h"
#include "util/Format.h"
#include "util/Paths.h"
#include "util/Scrambled.h"
#include "zip/ZipArchive.h"

namespace engine {
namespace {

using Clock = std::chrono::steady_clock;

pdf::Side SideOf(epub::PageSide side) {
    switch (side) {
        case epub::PageSide::Left:
            return pdf::Side::Left;
        case epub::PageSide::Right:
            return pdf::Side::Right;
        case epub::PageSide::Center:
            return pdf::Side::Alone;
        case epub::PageSide::Any:
            break;
    }
    return pdf::Side::Any;
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Removes the temporary folder, with everything in it, when Run is left by any path. Only a folder
// that this job created is ever removed.
class TempFolderGuard {
  public:
    // Creates path, or, when something of that name exists already, a fresh folder beside it.
    explicit TempFolderGuard(const std::string& path) {
        if (::mkdir(path.c_str(), 0700) == 0) {
            path_ = path;
            return;
        }
        if (errno != EEXIST)
            return;
        std::string pattern = path + ".epub2pdf-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
    }
    ~TempFolderGuard() {
        if (!path_.empty())
            util::RemoveFolderTree(path_);
    }
    TempFolderGuard(const TempFolderGuard&) = delete;
    TempFolderGuard& operator=(const TempFolderGuard&) = delete;
    // The folder, or an empty string when none could be made.
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// Removes the output file unless the job succeeded, so that no empty or partial PDF stays under its name.
class OutputGuard {
  public:
    explicit OutputGuard(std::string path) : path_(std::move(path)) {}
    ~OutputGuard() {
        if (!kept_)
            std::remove(path_.c_str());
    }
    void Keep() { kept_ = true; }

  private:
    std::string path_;
    bool kept_ = false;
};

}  // namespace

// The unpacked book: where it lies and what its package document says.
struct ConversionJob::Book {
    std::string folder;   // the unpacked archive
    std::string opfPath;  // its package document
    std::shared_ptr<epub::EpubBook> package;
    std::shared_ptr<epub::TableOfContents> toc;  // null when the book has none
    std::vector<epub::Chapter> chapters;         // the package's, each pre-paginated one with its size

    // A path inside the book as its author wrote it: "OEBPS/content.opf".
    std::string Name(const std::string& path) const {
        return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0
                   ? path.substr(folder.size() + 1)
                   : path;
    }
};

// Appends printed chapters to the assembler on a thread of its own, in order, while the browser prints
// the next ones. The first chapter that cannot be added stops it; Finish says why.
class ConversionJob::Merge {
  public:
    explicit Merge(pdf::Assembler& assembler) : assembler_(assembler), thread_([this] { Loop(); }) {}
    // Left without Finish (the job failed or was cancelled): what is still queued is dropped.
    ~Merge() {
        {
            std::lock_guard lock(mutex_);
            queue_.clear();
        }
        Stop();
    }
    Merge(const Merge&) = delete;
    Merge& operator=(const Merge&) = delete;

    // own: the paper a fixed-layout chapter was printed on, else none.
    void Add(std::string pdfPath, pdf::Side side, pdf::Paper own) {
        std::lock_guard lock(mutex_);
        queue_.push_back({std::move(pdfPath), side, own});
        cv_.notify_one();
    }
    // True once a chapter could not be added.
    bool Failed() const { return failed_; }
    // Waits until every queued chapter was added; the failure of the one that could not be.
    util::Status Finish() {
        Stop();
        return failed_ ? util::Status::Failure(error_) : util::Status{};
    }

  private:
    void Stop() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
            cv_.notify_one();
        }
        if (thread_.joinable())
            thread_.join();
    }
    void Loop() {
        for (;;) {
            Queued chapter;
            {
                std::unique_lock lock(mutex_);
                cv_.wait(lock, [this] { return !queue_.empty() || closed_; });
                if (queue_.empty())
                    return;
                chapter = std::move(queue_.front());
                queue_.pop_front();
            }
            if (failed_)
                continue;
            if (util::Status added = assembler_.AddChapter(chapter.pdf, "", chapter.side, chapter.own);
                !added) {
                error_ = added.Reason();
                failed_ = true;
            }
        }
    }

    pdf::Assembler& assembler_;
    std::mutex mutex_;
    std::condition_variable cv_;
    struct Queued {
        std::string pdf;
        pdf::Side side = pdf::Side::Any;
        pdf::Paper own;
    };
    std::deque<Queued> queue_;
    bool closed_ = false;
    std::atomic<bool> failed_{false};
    std::string error_;  // written before failed_ is set, read after the thread is joined
    std::thread thread_;
};

const std::string& ConversionJob::CreatorText() {
    return SCRAMBLED("epub2pdf 0.1", 0x3c5a9e07f1d2b846ull);
}

ConversionJob::ConversionJob(const std::string& epubPath, EngineSettings settings, std::stop_token stop,
                             PrinterFactory printers)
    : settings_(std::move(settings)), printers_(std::move(printers)), epubPath_(util::ToFullPath(epubPath)) {
    if (!printers_)  // a job on its own: browsers of its own
        printers_ = BrowserPrinters(settings_, std::make_shared<browser::BrowserManager>());
    if (stop.stop_possible()) {
        outerStop_ = std::make_unique<std::stop_callback<std::function<void()>>>(std::move(stop),
                                                                                 [this] { Cancel(); });
    }
}

void ConversionJob::Cancel() {
    cancelled_ = true;
    stop_.request_stop();  // abandons the printer's start or the page under way
}

ConversionJob::~ConversionJob() {
    outerStop_.reset();
    cancelled_.exchange(true);
    assembler_.reset();
}

std::string ConversionJob::TimingSummary() const {
    return util::FormatString(
        "unpack %.2fs, browser start %.2fs, printing %.2fs, merging %.2fs, browser stop %.2fs, "
        "writing %.2fs",
        timings_.unpack, timings_.browserStart, timings_.printing, timings_.merging, timings_.browserStop,
        timings_.writing);
}

bool ConversionJob::Fail(std::string reason) {
    reason_ = std::move(reason);
    return false;
}

bool ConversionJob::Run(const std::string& outputPdfPath, const ProgressCallback& callback) {
    reason_.clear();
    warnings_.clear();
    chapterMap_.clear();
    const std::string fullOutput = util::ToFullPath(outputPdfPath);

    // The output file: the worker reserved it (created empty) already; a direct caller gets it made
    // here. A file with something in it is somebody else's and is neither used nor removed.
    if (!util::FileExists(fullOutput)) {
        int fd = ::open(fullOutput.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0)
            return Fail("cannot create the output file " + fullOutput);
        ::close(fd);
    } else {
        struct stat st {};
        if (::stat(fullOutput.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != 0) {
            return Fail("the output file " + fullOutput + " exists already");
        }
    }
    OutputGuard output(fullOutput);

    progress_.exchange(0);
    if (callback && !callback(progress_))
        return Fail("cancelled");

    // Everything but the PDF is made in a temporary folder beside the output, removed on every path.
    TempFolderGuard temp(util::RemoveExtension(fullOutput));
    if (temp.Path().empty())
        return Fail("cannot create a temporary folder beside " + fullOutput);

    assembler_ = std::make_shared<pdf::Assembler>(fullOutput);
    assembler_->SetCompaction(settings_.compact);
    assembler_->SetPaper({settings_.page.PaperWidth() * 72, settings_.page.PaperHeight() * 72});
    Book book;
    util::Status step = Unpack(temp.Path(), book);
    if (step)
        step = ReadBook(book);
    if (step) {
        const epub::Rendition& rendition = book.package->GetRendition();
        assembler_->SetSpreads({rendition.spreads, rendition.rightToLeft});
        step = PrintChapters(book, temp.Path(), callback);
    }
    if (step)
        step = Assemble(book, fullOutput);
    if (!step)
        return Fail(step.Reason());

    progress_.exchange(100);
    if (callback && !callback(100))
        return Fail("cancelled");
    output.Keep();
    return true;
}

util::Status ConversionJob::Unpack(const std::string& tempFolder, Book& book) {
    const auto start = Clock::now();
    book.folder = tempFolder + "/epub";
    std::vector<std::string> damaged;
    util::Status unpacked = zip::ZipArchive::Extract(book.folder, epubPath_, &damaged);
    for (const std::string& entry : damaged)
        warnings_.push_back("the archive entry " + entry + " is damaged; it was not extracted");
    timings_.unpack = SecondsSince(start);
    return unpacked;
}

util::Status ConversionJob::ReadBook(Book& book) {
    const auto start = Clock::now();
    epub::EpubFolder folder(book.folder);
    std::string problem;
    book.opfPath = folder.GetPackagePath(&problem);
    if (book.opfPath.empty())
        return util::Status::Failure("no package document: " + problem);
    book.package = epub::EpubBook::Load(book.opfPath, book.folder);
    if (!book.package)
        return util::Status::Failure("the package document cannot be read");
    if (!book.package->GetProblem().empty()) {
        const std::string what =
            "the package document " + book.Name(book.opfPath) + " " + book.package->GetProblem();
        if (book.package->GetChapterFiles().empty())
            return util::Status::Failure(what);
        warnings_.push_back(what + "; what follows that point was not read");
    }
    if (book.package->GetChapterFiles().empty()) {
        return util::Status::Failure("the book has no chapter files in its spine");
    }
    for (const std::string& missing : book.package->GetMissingFiles()) {
        warnings_.push_back("the chapter file " + missing + " is not in the book; it was left out");
    }
    for (const std::string& item : book.package->GetUnprintableItems()) {
        warnings_.push_back("the spine item " + item + " cannot be printed as a page; it was left out");
    }
    for (const std::string& warning : book.package->GetLayoutWarnings()) warnings_.push_back(warning);
    // A pre-paginated document without a size of its own takes the book's, else the paper's.
    const epub::Viewport bookViewport = book.package->GetRendition().viewport;
    const epub::Viewport standard =
        bookViewport.Valid()
            ? bookViewport
            : epub::Viewport{settings_.page.PaperWidth() * 96.0, settings_.page.PaperHeight() * 96.0};
    // The unpacked copy is the job's own: a chapter whose bytes are not the UTF-8 it claims is rewritten
    // so that the browser shows its text rather than an encoding error.
    book.chapters = book.package->GetChapters();
    for (epub::Chapter& chapter : book.chapters) {
        if (!chapter.image && epub::RepairFileEncoding(chapter.path)) {
            warnings_.push_back("the chapter file " + book.Name(chapter.path) +
                                " is not valid UTF-8; it was read as Windows-1252");
        }
        if (!chapter.fixedLayout)
            continue;
        bool unreadable = false;
        chapter.viewport = chapter.image ? epub::Viewport{} : epub::ReadViewport(chapter.path, &unreadable);
        if (chapter.viewport.Valid())
            continue;
        chapter.viewport = standard;
        if (unreadable) {
            warnings_.push_back(
                util::FormatString("the viewport of %s cannot be read; it was printed at %g by %g pixels",
                                   book.Name(chapter.path), standard.width, standard.height));
        }
    }
    book.toc = epub::TableOfContents::ForBook(*book.package);
    timings_.unpack += SecondsSince(start);
    return {};
}

util::Status ConversionJob::PrintChapters(const Book& book, const std::string& tempFolder,
                                          const ProgressCallback& callback) {
    const std::vector<epub::Chapter>& chapters = book.chapters;
    const unsigned count = static_cast<unsigned>(chapters.size());
    if (cancelled_)
        return Cancelled();

    auto mark = Clock::now();
    std::string reason;
    std::unique_ptr<ChapterPrinter> printer = printers_(book.folder, stop_.get_token(), reason);
    timings_.browserStart = SecondsSince(mark);
    if (cancelled_)
        return Cancelled();
    if (!printer)
        return util::Status::Failure(reason.empty() ? "the browser could not be started" : reason);

    std::vector<std::string> leftOut;
    std::string firstFailure;  // why the first chapter left out was, for a book with no chapter at all
    unsigned printedCount = 0;
    {
        Merge merge(*assembler_);
        // A stop abandons the page at once, whatever it is doing (a dialog, an endless script).
        const std::stop_callback abort(stop_.get_token(), [&printer] { printer->Abort(); });
        unsigned sum = 0;
        for (unsigned i = 0; i < count; ++i) {
            if (cancelled_)
                return Cancelled();
            if (merge.Failed())
                break;  // Finish below says why
            mark = Clock::now();
            std::string pdf;
            const int navigations = printer->BlockedNavigations();
            const util::Status printed = printer->Print(chapters[i], pdf);
            timings_.printing += SecondsSince(mark);
            if (cancelled_)
                return Cancelled();  // the print failed because the job was stopped
            if (!printed) {
                // One bad chapter costs that chapter, not the rest of the book.
                const std::string why = "chapter " + std::to_string(i + 1) + " (" +
                                        book.Name(chapters[i].path) +
                                        ") could not be printed: " + printed.Reason();
                if (firstFailure.empty())
                    firstFailure = why;
                leftOut.push_back(why + "; it was left out");
                sum += 100;
                continue;
            }
            if (printer->BlockedNavigations() > navigations)
                warnings_.push_back("chapter " + std::to_string(i + 1) + " (" + book.Name(chapters[i].path) +
                                    ") tried to go to a page outside the book; it was printed as it was");
            const std::string pdfPath = util::FormatString("%s/%d.pd_", tempFolder, static_cast<int>(i + 1));
            std::ofstream file(pdfPath, std::ios::binary | std::ios::trunc);
            if (!file.write(pdf.data(), static_cast<std::streamsize>(pdf.size())) || !file.flush()) {
                return util::Status::Failure("cannot write the chapter PDF " + pdfPath);
            }
            file.close();
            chapterMap_[chapters[i].path] = pdfPath;
            const epub::Viewport& size = chapters[i].viewport;  // CSS pixels: 0.75 pt each
            merge.Add(
                pdfPath, SideOf(chapters[i].side),
                chapters[i].fixedLayout ? pdf::Paper{size.width * 0.75, size.height * 0.75} : pdf::Paper{});
            ++printedCount;
            progress_.exchange(static_cast<int>(sum / count));
            sum += 100;
            if (callback && !callback(progress_))
                return Cancelled();
        }
        mark = Clock::now();
        const util::Status merged = merge.Finish();
        timings_.merging = SecondsSince(mark);
        if (!merged)
            throw PdfError(merged.Reason());
        // Page numbers and the header, once the whole book's pages are counted, with the same browser.
        if (settings_.page.Stamped() && printedCount > 0) {
            if (cancelled_)
                return Cancelled();
            mark = Clock::now();
            PrintStamps(*printer, book, tempFolder);
            timings_.printing += SecondsSince(mark);
        }
        blocked_ = printer->BlockedRequests();
    }

    // The browser goes before the PDF is assembled.
    mark = Clock::now();
    printer.reset();
    timings_.browserStop = SecondsSince(mark);
    if (cancelled_)
        return Cancelled();
    if (printedCount == 0) {
        return util::Status::Failure(leftOut.size() == 1 ? firstFailure : "no chapter could be printed");
    }
    warnings_.insert(warnings_.end(), leftOut.begin(), leftOut.end());  // converted, but not every chapter
    return {};
}

void ConversionJob::PrintStamps(ChapterPrinter& printer, const Book& book, const std::string& tempFolder) {
    const PageSetup& page = settings_.page;
    const int pages = assembler_->PageCount();
    std::string sheets[2];
    for (int which = 0; which < 2; ++which) {
        const bool header = which == 1;
        if (!(header ? page.header : page.pageNumbers))
            continue;
        const double band = BandHeight(header ? page.marginTop : page.marginBottom);
        // The sheet lies in the book's folder, which is all the browser's page may read.
        const std::string html =
            util::ReserveUniquePath(book.folder + (header ? "/header.html" : "/footer.html"));
        const std::string sheet =
            StampSheet(page, pages, page.PaperWidth(), band, header ? book.package->GetTitle() : "",
                       book.package->GetLanguage());
        std::string pdf;
        util::Status printed = util::Status::Failure("cannot write its page");
        if (!html.empty() && util::WriteFileAtomically(html, sheet))
            printed = printer.PrintSheet(html, page.PaperWidth(), band, pdf);
        const std::string path = tempFolder + (header ? "/header.pd_" : "/footer.pd_");
        if (printed && !util::WriteFileAtomically(path, pdf))
            printed = util::Status::Failure("cannot write " + path);
        if (!printed) {
            warnings_.push_back(std::string(header ? "the header" : "the page numbers") +
                                " could not be printed: " + printed.Reason() + "; they were left out");
            continue;
        }
        sheets[which] = path;
    }
    if (util::Status laid = assembler_->Stamp(sheets[0], sheets[1]); !laid)
        warnings_.push_back(laid.Reason());
}

util::Status ConversionJob::Assemble(const Book& book, const std::string& outputPath) {
    const auto start = Clock::now();
    auto outline = BuildOutline(*assembler_, *book.package, book.toc.get(), chapterMap_, cancelled_);
    if (book.toc && !book.toc->GetProblem().empty()) {
        warnings_.push_back("the table of contents " + book.Name(book.toc->GetPath()) + " " +
                            book.toc->GetProblem() + "; bookmarks after that point are missing");
    }
    pdf::Metadata metadata;
    metadata.title = book.package->GetTitle();
    metadata.author = book.package->GetCreator();
    metadata.creator = metadata.producer = CreatorText();
    metadata.language = book.package->GetLanguage();
    metadata.creators = book.package->GetCreators();
    metadata.identifier = book.package->GetIdentifier();
    metadata.date = book.package->GetDate();
    // A book in spreads opens two pages at a time; a scrolled one as one column that scrolls on.
    const epub::Rendition& rendition = book.package->GetRendition();
    metadata.layout = rendition.spreads    ? pdf::PageLayout::TwoPages
                      : rendition.scrolled ? pdf::PageLayout::OneColumn
                                           : pdf::PageLayout::ViewersOwn;
    metadata.rightToLeft = rendition.rightToLeft;
    assembler_->SetMetadata(std::move(metadata));
    // A chapter that had to move to the side it asks for is named; where each chapter's PDF came from.
    for (const std::string& moved : assembler_->MovedChapters()) {
        for (const auto& [chapter, pdf] : chapterMap_) {
            if (pdf == moved) {
                warnings_.push_back(
                    util::FormatString("a blank page was put before %s so that it falls on the side of the "
                                       "spread the book asks for",
                                       book.Name(chapter)));
            }
        }
    }
    // Links first, in the merged document, so that it is written once. A pass that failed would leave
    // links to the temporary chapter files, and the scripts and launches the pass takes out, in the book:
    // the book fails instead.
    if (util::Status linked = assembler_->RewriteLinks(chapterMap_, cancelled_, outputPath); !linked)
        return cancelled_ ? Cancelled() : linked;
    if (cancelled_)
        return Cancelled();
    if (util::Status marked = assembler_->SetOutline(outline); !marked)
        warnings_.push_back(marked.Reason() + "; the PDF has no bookmarks");
    util::Status written = assembler_->Write();
    warnings_.insert(warnings_.end(), assembler_->Warnings().begin(), assembler_->Warnings().end());
    if (!written)
        return written;
    pages_ = assembler_->PageCount();
    timings_.writing = SecondsSince(start);
    return {};
}

}  // namespace engine
