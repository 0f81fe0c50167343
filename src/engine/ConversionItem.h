// One book of the conversion list, shared by the worker (which writes it from pool threads) and the
// front ends (which read it after a notification).
#pragma once

#include <atomic>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

namespace engine {

// Where a book stands. The front ends give each state its text.
enum class ItemState {
    Ready,                  // added, not converted yet
    Converting,             // its conversion is under way
    Converted,              // its PDF is written
    ConvertedWithWarnings,  // written, with chapters left out or repairs made
    Failed,                 // the book could not be converted; the reason says why
    Error,                  // a library failed while converting it; the reason says how
    Cancelled,              // the user cancelled this book alone; it waits for the next start
    Stopped,                // the run was stopped while the book was queued or converting; it waits too
};

class ConversionItem {
  public:
    explicit ConversionItem(std::string epub, std::string pdf)
        : epubPath(std::move(epub)), pdfPath_(std::move(pdf)) {}

    const std::string epubPath;  // as added; the item's key
    std::atomic<int> progress{0};
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
    ItemState State() const { return state_; }
    // Set last: a reader that sees a final state sees the reason, warnings and PDF path that go with it.
    void SetState(ItemState state) { state_ = state; }
    // Converted successfully (with warnings or without).
    bool Done() const {
        const ItemState s = state_;
        return s == ItemState::Converted || s == ItemState::ConvertedWithWarnings;
    }
    // Failed, or an error.
    bool Failed() const {
        const ItemState s = state_;
        return s == ItemState::Failed || s == ItemState::Error;
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
    std::atomic<bool> queued{false};   // in the run under way, not begun yet

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
    std::string reason_;
    std::vector<std::string> warnings_;
    std::stop_source cancel_;
    std::atomic<ItemState> state_{ItemState::Ready};
};

}  // namespace engine
