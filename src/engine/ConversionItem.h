// One book of the conversion list, shared by the worker (which writes it from pool threads) and the
// front ends (which read it after a notification).
#pragma once

#include <atomic>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

namespace engine {

// Status texts shown for a book.
inline constexpr const char* kStatusReady = "准备转换";
inline constexpr const char* kStatusConverting = "转换中";
inline constexpr const char* kStatusDone = "转换完成";
inline constexpr const char* kStatusDoneWithWarnings =
    "转换完成（有警告）";  // chapters left out, repairs made
inline constexpr const char* kStatusFailed = "转换失败";
inline constexpr const char* kStatusError = "转换出错";
inline constexpr const char* kStatusCancelled =
    "已取消";  // stopped by the user alone; it waits for the next start

class ConversionItem {
  public:
    explicit ConversionItem(std::string epub, std::string pdf)
        : epubPath(std::move(epub)), pdfPath_(std::move(pdf)), status_(kStatusReady) {}

    const std::string epubPath;  // as added; the item's key
    std::atomic<int> progress{0};
    std::atomic<bool> done{false};  // converted successfully
    std::atomic<bool> failed{false};
    std::atomic<int> blockedRequests{0};  // requests of the book's pages that were refused
    std::atomic<int> pages{0};            // of the PDF, once converted
    std::atomic<double> seconds{0};       // the last conversion took

    // The output PDF chosen by the worker (the name actually used once a conversion started).
    std::string PdfPath() const {
        std::lock_guard lock(mutex_);
        return pdfPath_;
    }
    void SetPdfPath(std::string path) {
        std::lock_guard lock(mutex_);
        pdfPath_ = std::move(path);
    }
    std::string StatusText() const {
        std::lock_guard lock(mutex_);
        return status_;
    }
    void SetStatusText(std::string status) {
        std::lock_guard lock(mutex_);
        status_ = std::move(status);
    }
    // Why the last conversion failed; empty after a success.
    std::string FailureReason() const {
        std::lock_guard lock(mutex_);
        return reason_;
    }
    void SetFailureReason(std::string reason) {
        std::lock_guard lock(mutex_);
        reason_ = std::move(reason);
    }

    // What the last conversion left out or could not read (chapters, a broken NCX); empty when nothing.
    std::vector<std::string> Warnings() const {
        std::lock_guard lock(mutex_);
        return warnings_;
    }
    void SetWarnings(std::vector<std::string> warnings) {
        std::lock_guard lock(mutex_);
        warnings_ = std::move(warnings);
    }

    // Stops this book's conversion under way (from any thread); the book waits for the next start.
    void Cancel() {
        std::lock_guard lock(mutex_);
        cancel_.request_stop();
    }
    // A fresh cancellation for the conversion that begins.
    std::stop_token BeginConversion() {
        std::lock_guard lock(mutex_);
        cancel_ = std::stop_source();
        return cancel_.get_token();
    }
    std::atomic<bool> removed{false};  // taken off the list: a run that reaches it passes it by

    // Where the time of the last conversion went.
    std::string Timings() const {
        std::lock_guard lock(mutex_);
        return timings_;
    }
    void SetTimings(std::string timings) {
        std::lock_guard lock(mutex_);
        timings_ = std::move(timings);
    }

  private:
    mutable std::mutex mutex_;
    std::string timings_;
    std::string pdfPath_;
    std::string status_;
    std::string reason_;
    std::vector<std::string> warnings_;
    std::stop_source cancel_;
};

}  // namespace engine
