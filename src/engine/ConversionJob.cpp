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
    ~BackgroundMerge() { Stop(); }
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

ConversionJob::ConversionJob(const std::string& epubPath) : epubPath_(util::ToFullPath(epubPath)) {}

ConversionJob::~ConversionJob() {
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
    const std::string opfPath = folder.GetPackagePath();
    if (opfPath.empty()) return Fail("no package document: META-INF/container.xml is missing or names no file");
    const std::string ncxPath = folder.GetNcxPath();
    if (ncxPath.empty()) return Fail("no toc.ncx beside the package document");
    auto book = epub::EpubBook::Load(opfPath, extractFolder);
    if (!book) return Fail("the package document cannot be read");

    timings_.unpack = since(mark);

    // 9-10. Assembler and browser.
    assembler_ = std::make_shared<PdfAssembler>(fullOutput);
    mark = Clock::now();
    printer_ = std::make_shared<browser::BrowserSession>();
    timings_.browserStart = since(mark);
    // The pages may read their own book and nothing else (the network only when the user allows it).
    if (auto client = printer_->GetClient()) client->SetRequestPolicy(extractFolder, AllowNetwork());

    // 11-12. Print every chapter in reading order.
    const std::vector<std::string> chapters = book->GetChapterFiles();
    const unsigned count = static_cast<unsigned>(chapters.size());
    if (count == 0) return Fail("the book has no chapter files in its spine");
    unsigned sum = 0;
    unsigned printedCount = 0;
    std::string stopReason;
    BackgroundMerge merge(*assembler_);
    for (unsigned i = 0; i < count; ++i) {
        if (cancelled_) return Fail("cancelled");
        if (merge.Failed()) break;  // Finish below raises the library's error
        auto client = printer_ ? printer_->GetClient() : nullptr;
        if (!client) return Fail("the browser could not be started");
        const std::string pdfPath = util::FormatString("%s/%d.pd_", tempFolder, static_cast<int>(i + 1));
        mark = Clock::now();
        const bool printed = client->Navigate(chapters[i]) && client->PrintToPdf(pdfPath);
        timings_.printing += since(mark);
        if (!printed) {
            // The book is made from the chapters printed so far.
            stopReason = "chapter " + std::to_string(i + 1) + " (" + util::GetFileName(chapters[i], true) +
                         ") could not be printed";
            break;
        }
        chapterMap_[chapters[i]] = pdfPath;
        merge.Add(pdfPath);
        ++printedCount;
        progress_.exchange(static_cast<int>(sum / count));
        sum += 100;
        if (callback && !callback(progress_)) return Fail("cancelled");
    }

    mark = Clock::now();
    merge.Finish();
    timings_.merging = since(mark);

    // 13. The browser goes before the PDF is assembled.
    if (printer_) {
        if (auto client = printer_->GetClient()) blocked_ = client->BlockedRequests();
    }
    mark = Clock::now();
    printer_.reset();
    timings_.browserStop = since(mark);
    if (printedCount == 0) return Fail(stopReason.empty() ? "no chapter could be printed" : stopReason);

    // 14-17. Outline, information, write, links.
    mark = Clock::now();
    const ChapterMapView view{chapterMap_, cancelled_};
    auto outline = BuildOutline(*assembler_, opfPath, ncxPath, view, extractFolder);
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
    if (!stopReason.empty()) reason_ = stopReason;  // converted, but not every chapter
    return true;
}

}  // namespace engine
