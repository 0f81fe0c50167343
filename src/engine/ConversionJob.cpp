#include "engine/ConversionJob.h"

#include "browser/BrowserManager.h"
#include "browser/DevToolsClient.h"
#include "epub/EpubBook.h"
#include "epub/EpubFolder.h"
#include "util/IniFile.h"
#include "util/Scrambled.h"
#include "util/Utilities.h"
#include "zip/ZipArchive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

namespace engine {
namespace {

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
        if (errno != EEXIST) return;
        std::string pattern = path + ".epub2pdf-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempFolderGuard() {
        if (!path_.empty()) util::RemoveFolderTree(path_);
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
        if (!kept_) {
            std::remove(path_.c_str());
            std::remove((path_ + ".part").c_str());
        }
    }
    void Keep() { kept_ = true; }

private:
    std::string path_;
    bool kept_ = false;
};

// Appends printed chapters to the assembler on a thread of its own, in order, while the browser prints
// the next ones. A library error is kept and raised again by Finish.
class BackgroundMerge {
public:
    explicit BackgroundMerge(PdfAssembler& assembler) : assembler_(assembler), thread_([this] { Loop(); }) {}
    // Left without Finish (the job failed or was cancelled): what is still queued is dropped.
    ~BackgroundMerge() {
        {
            std::lock_guard lock(mutex_);
            queue_.clear();
        }
        Stop();
    }
    BackgroundMerge(const BackgroundMerge&) = delete;
    BackgroundMerge& operator=(const BackgroundMerge&) = delete;

    void Add(std::string pdfPath) {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(pdfPath));
        cv_.notify_one();
    }
    // True once a chapter could not be added.
    bool Failed() const { return failed_; }
    // Waits until every queued chapter was added; throws what adding one threw.
    void Finish() {
        Stop();
        if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
    }

private:
    void Stop() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
            cv_.notify_one();
        }
        if (thread_.joinable()) thread_.join();
    }
    void Loop() {
        for (;;) {
            std::string pdf;
            {
                std::unique_lock lock(mutex_);
                cv_.wait(lock, [this] { return !queue_.empty() || closed_; });
                if (queue_.empty()) return;
                pdf = std::move(queue_.front());
                queue_.pop_front();
            }
            if (failed_) continue;
            try {
                assembler_.AddChapter(pdf, "");
            } catch (...) {
                error_ = std::current_exception();
                failed_ = true;
            }
        }
    }

    PdfAssembler& assembler_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::string> queue_;
    bool closed_ = false;
    std::atomic<bool> failed_{false};
    std::exception_ptr error_;
    std::thread thread_;
};

// The settings file's [browser] allow_network=1 lets pages load remote fonts and images.
bool AllowNetwork() { return util::IniFile(util::GetSettingsPath(), "browser").GetInt("allow_network", 0) != 0; }

}  // namespace

const std::string& ConversionJob::CreatorText() { return SCRAMBLED("epub2pdf 0.1", 0x3c5a9e07f1d2b846ull); }

ConversionJob::ConversionJob(const std::string& epubPath, std::stop_token stop)
    : epubPath_(util::ToFullPath(epubPath)) {
    if (stop.stop_possible()) {
        outerStop_ = std::make_unique<std::stop_callback<std::function<void()>>>(std::move(stop), [this] { Cancel(); });
    }
}

void ConversionJob::Cancel() {
    cancelled_ = true;
    stop_.request_stop();  // aborts the browser start or the page under way
}

ConversionJob::~ConversionJob() {
    outerStop_.reset();
    cancelled_.exchange(true);
    printer_.reset();
    assembler_.reset();
}

std::string ConversionJob::TimingSummary() const {
    return util::FormatString("unpack %.2fs, browser start %.2fs, printing %.2fs, merging %.2fs, browser stop %.2fs, "
                              "writing %.2fs",
                              timings_.unpack, timings_.browserStart, timings_.printing, timings_.merging,
                              timings_.browserStop, timings_.writing);
}

bool ConversionJob::Fail(std::string reason) {
    reason_ = std::move(reason);
    return false;
}

bool ConversionJob::Run(const std::string& outputPdfPath, const ProgressCallback& callback) {
    reason_.clear();
    warnings_.clear();
    const std::string fullOutput = util::ToFullPath(outputPdfPath);

    // 1. The output file: the worker reserved it (created empty) already; a direct caller gets it made
    // here. A file with something in it is somebody else's and is neither used nor removed.
    if (!util::FileExists(fullOutput)) {
        int fd = ::open(fullOutput.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) return Fail("cannot create the output file " + fullOutput);
        ::close(fd);
    } else {
        struct stat st {};
        if (::stat(fullOutput.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != 0) {
            return Fail("the output file " + fullOutput + " exists already");
        }
    }
    OutputGuard output(fullOutput);

    // 2. Start.
    progress_.exchange(0);
    if (callback && !callback(progress_)) return Fail("cancelled");

    // 3-4. The temporary folder beside the output.
    TempFolderGuard temp(util::RemoveExtension(fullOutput));
    if (temp.Path().empty()) return Fail("cannot create a temporary folder beside " + fullOutput);
    const std::string tempFolder = temp.Path();

    using Clock = std::chrono::steady_clock;
    auto since = [](Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); };
    auto mark = Clock::now();

    // 5. Unpack.
    const std::string extractFolder = tempFolder + "/epub";
    if (!zip::ZipArchive::ExtractAll(extractFolder, epubPath_, "")) {
        if (!util::FileExists(epubPath_)) return Fail("the file does not exist");
        return Fail("not a readable ZIP archive (or it declares more than 2 GiB)");
    }

    // 6-7. The package document and the NCX beside it.
    epub::EpubFolder folder(extractFolder);
    std::string packageProblem;
    const std::string opfPath = folder.GetPackagePath(&packageProblem);
    if (opfPath.empty()) return Fail("no package document: " + packageProblem);
    const std::string ncxPath = folder.GetNcxPath();
    if (ncxPath.empty()) return Fail("no toc.ncx beside the package document");
    auto book = epub::EpubBook::Load(opfPath, extractFolder);
    if (!book) return Fail("the package document cannot be read");
    // Names inside the book, as its author wrote them: "OEBPS/content.opf".
    auto inBook = [&extractFolder](const std::string& path) {
        return path.size() > extractFolder.size() ? path.substr(extractFolder.size() + 1) : path;
    };
    if (!book->GetProblem().empty()) {
        const std::string what = "the package document " + inBook(opfPath) + " " + book->GetProblem();
        if (book->GetChapterFiles().empty()) return Fail(what);
        warnings_.push_back(what + "; what follows that point was not read");
    }
    for (const std::string& missing : book->GetMissingFiles()) {
        warnings_.push_back("the chapter file " + missing + " is not in the book; it was left out");
    }

    timings_.unpack = since(mark);

    // 11. The chapters in reading order (a book without any starts no browser).
    const std::vector<std::string> chapters = book->GetChapterFiles();
    const unsigned count = static_cast<unsigned>(chapters.size());
    if (count == 0) return Fail("the book has no chapter files in its spine");

    // 9-10. Assembler and browser.
    assembler_ = std::make_shared<PdfAssembler>(fullOutput);
    mark = Clock::now();
    if (cancelled_) return Fail("cancelled");
    printer_ = std::make_shared<browser::BrowserSession>(stop_.get_token());
    timings_.browserStart = since(mark);
    if (cancelled_) return Fail("cancelled");

    // 12. Print every chapter in reading order.
    unsigned printedCount = 0;
    std::string stopReason;
    BackgroundMerge merge(*assembler_);
    {
        const std::shared_ptr<browser::DevToolsClient> client = printer_->GetClient();
        if (!client) return Fail("the browser could not be started");
        // A stop abandons the page at once, whatever it is doing (a dialog, an endless script).
        const std::stop_callback abortPage(stop_.get_token(), [client] { client->Abort(); });
        // The pages may read their own book and nothing else (the network only when the user allows it).
        client->SetRequestPolicy(extractFolder, AllowNetwork());
        unsigned sum = 0;
        for (unsigned i = 0; i < count; ++i) {
            if (cancelled_) return Fail("cancelled");
            if (merge.Failed()) break;  // Finish below raises the library's error
            const std::string pdfPath = util::FormatString("%s/%d.pd_", tempFolder, static_cast<int>(i + 1));
            mark = Clock::now();
            const bool printed = client->Navigate(chapters[i]) && client->PrintToPdf(pdfPath);
            timings_.printing += since(mark);
            if (cancelled_) return Fail("cancelled");  // the print failed because the job was stopped
            if (!printed) {
                // The book is made from the chapters printed so far.
                stopReason = "chapter " + std::to_string(i + 1) + " (" + inBook(chapters[i]) +
                             ") could not be printed; the book ends before it";
                break;
            }
            chapterMap_[chapters[i]] = pdfPath;
            merge.Add(pdfPath);
            ++printedCount;
            progress_.exchange(static_cast<int>(sum / count));
            sum += 100;
            if (callback && !callback(progress_)) return Fail("cancelled");
        }
        blocked_ = client->BlockedRequests();
    }

    mark = Clock::now();
    merge.Finish();
    timings_.merging = since(mark);

    // 13. The browser goes before the PDF is assembled.
    mark = Clock::now();
    printer_.reset();
    timings_.browserStop = since(mark);
    if (cancelled_) return Fail("cancelled");
    if (printedCount == 0) return Fail(stopReason.empty() ? "no chapter could be printed" : stopReason);

    // 14-17. Outline, information, write, links.
    mark = Clock::now();
    const ChapterMapView view{chapterMap_, cancelled_};
    std::string tocProblem;
    auto outline = BuildOutline(*assembler_, opfPath, ncxPath, view, extractFolder, &tocProblem);
    if (!tocProblem.empty()) {
        warnings_.push_back("the table of contents " + inBook(ncxPath) + " " + tocProblem +
                            "; bookmarks after that point are missing");
    }
    assembler_->SetInfo(book->GetTitle(), book->GetCreator(), CreatorText());
    // Links first, in the merged document, so that it is written once.
    if (!assembler_->RewriteLinks(view, fullOutput) && cancelled_) return Fail("cancelled");
    if (!assembler_->Write(outline)) {
        return Fail("the PDF could not be written: " +
                    (assembler_->LastError().empty() ? std::string("unknown error") : assembler_->LastError()));
    }
    timings_.writing = since(mark);

    // 18-19. Done.
    progress_.exchange(100);
    const bool result = callback ? callback(100) : true;
    if (!result) return Fail("cancelled");
    output.Keep();
    if (!stopReason.empty()) warnings_.push_back(stopReason);  // converted, but not every chapter
    return true;
}

}  // namespace engine
