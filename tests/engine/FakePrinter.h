// A chapter printer without a browser, for the job and worker tests: every chapter gets one of the PDFs
// that Chromium printed once (tests/data/chromium), except the chapters a script names, which fail,
// get bytes that are no PDF, throw, or hang until the job aborts them (and then fail, or throw as a
// browser torn down under a request may).
#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "engine/ChapterPrinter.h"
#include "support/TestSupport.h"
#include "util/Paths.h"

namespace testing_support {

enum class Act { kPrint, kFail, kGarbage, kThrow, kHang, kHangThenThrow };

// What the printers of a test do, and what they saw. Shared by every printer it makes.
struct PrinterScript {
    std::map<std::string, Act> acts;  // chapter file name -> what happens to it; others print
    bool refuse = false;              // no printer can be made
    std::atomic<int> made{0};         // printers made
    std::atomic<int> printed{0};      // chapters printed
    std::atomic<int> hanging{0};      // chapters hanging right now

    Act ActFor(const std::string& chapterPath) const {
        auto it = acts.find(util::GetFileName(chapterPath, true));
        return it == acts.end() ? Act::kPrint : it->second;
    }
};

class FakePrinter : public engine::ChapterPrinter {
  public:
    explicit FakePrinter(std::shared_ptr<PrinterScript> script) : script_(std::move(script)) {
        pdf_ = ReadFile(TestDataDir() + "/chromium/ch1.pdf");
    }
    util::Status Print(const epub::Chapter& chapter, std::string& pdf) override {
        const std::string& chapterPath = chapter.path;
        switch (script_->ActFor(chapterPath)) {
            case Act::kPrint:
                pdf = pdf_;
                ++script_->printed;
                return {};
            case Act::kFail:
                return util::Status::Failure("the page did not load");
            case Act::kGarbage:
                pdf = "this is not a PDF document";
                return {};
            case Act::kThrow:
                throw std::runtime_error("the printer broke");
            case Act::kHang:
            case Act::kHangThenThrow: {
                ++script_->hanging;
                std::unique_lock lock(mutex_);
                aborted_.wait(lock, [this] { return abort_; });
                --script_->hanging;
                if (script_->ActFor(chapterPath) == Act::kHangThenThrow)
                    throw std::runtime_error("the connection went away");
                return util::Status::Failure("aborted");
            }
        }
        return {};
    }
    void Abort() override {
        std::lock_guard lock(mutex_);
        abort_ = true;
        aborted_.notify_all();
    }

  private:
    std::shared_ptr<PrinterScript> script_;
    std::string pdf_;
    std::mutex mutex_;
    std::condition_variable aborted_;
    bool abort_ = false;
};

inline engine::PrinterFactory FakePrinters(std::shared_ptr<PrinterScript> script) {
    return [script](const std::string&, const std::stop_token&,
                    std::string& reason) -> std::unique_ptr<engine::ChapterPrinter> {
        if (script->refuse) {
            reason = "no printer today";
            return nullptr;
        }
        ++script->made;
        return std::make_unique<FakePrinter>(script);
    };
}

}  // namespace testing_support
