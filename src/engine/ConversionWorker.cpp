#include "engine/ConversionWorker.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>

#include "browser/BrowserManager.h"
#include "engine/ConversionJob.h"
#include "engine/ThreadPool.h"
#include "util/Files.h"
#include "util/Format.h"
#include "util/Paths.h"

namespace engine {

ConversionWorker::ConversionWorker(const std::string& folder, int threads, EngineSettings settings)
    : workFolder_(util::ToFullPath(folder)),
      threads_(threads < 1 ? 1 : threads),
      settings_(std::move(settings)),
      browsers_(std::make_shared<browser::BrowserManager>()) {
    std::error_code ec;
    if (!workFolder_.empty())
        std::filesystem::create_directories(workFolder_, ec);
}

ConversionWorker::~ConversionWorker() {
    Stop();
}

std::shared_ptr<ConversionItem> ConversionWorker::AddItem(const std::string& epubPath,
                                                          const std::string& outputFolder) {
    const std::string& key = epubPath;  // exactly: on Linux a.epub and A.epub are two files
    const std::string folder = outputFolder.empty() ? workFolder_ : outputFolder;
    auto item = std::make_shared<ConversionItem>(
        epubPath, util::JoinPath(folder, util::GetFileName(epubPath, false) + ".pdf"));
    std::lock_guard lock(itemsLock_);
    if (!items_.emplace(key, item).second)
        return nullptr;
    order_.push_back(key);
    return item;
}

void ConversionWorker::Reconfigure(EngineSettings settings, int threads) {
    if (running_)
        return;
    settings_ = std::move(settings);
    threads_ = threads < 1 ? 1 : threads;
}

bool ConversionWorker::CancelItem(const std::string& epubPath) {
    std::lock_guard lock(itemsLock_);
    auto it = items_.find(epubPath);
    if (it == items_.end() || it->second->State() != ItemState::Converting)
        return false;
    it->second->Cancel();
    return true;
}

bool ConversionWorker::RemoveItem(const std::string& epubPath) {
    std::lock_guard lock(itemsLock_);
    auto it = items_.find(epubPath);
    if (it == items_.end() || it->second->State() == ItemState::Converting)
        return false;
    it->second->removed = true;
    items_.erase(it);
    order_.erase(std::find(order_.begin(), order_.end(), epubPath));
    return true;
}

bool ConversionWorker::Contains(const std::string& epubPath) const {
    std::lock_guard lock(itemsLock_);
    return items_.count(epubPath) != 0;
}

std::string ConversionWorker::OutputPathOf(const std::string& epubPath) const {
    std::lock_guard lock(itemsLock_);
    auto it = items_.find(epubPath);
    if (it == items_.end() || !it->second->Done())
        return {};
    return it->second->PdfPath();
}

std::vector<std::shared_ptr<ConversionItem>> ConversionWorker::Items() const {
    std::lock_guard lock(itemsLock_);
    std::vector<std::shared_ptr<ConversionItem>> list;
    for (const std::string& key : order_) list.push_back(items_.at(key));
    return list;
}

bool ConversionWorker::IsEmpty() const {
    std::lock_guard lock(itemsLock_);
    return items_.empty();
}

bool ConversionWorker::Start(Notify notify, const Wanted& wanted) {
    if (running_ || IsEmpty())
        return false;
    Stop();
    running_ = true;
    std::lock_guard lock(itemsLock_);
    notify_ = std::move(notify);
    stopping_ = false;
    runStop_ = std::stop_source();
    pool_ = std::make_unique<ThreadPool>(threads_, "epub");
    // Every book counts before the first starts: a book that is passed by at once (converted in an
    // earlier run) must not end the run while the others are still being queued.
    pending_ = static_cast<int>(order_.size());
    for (const std::string& key : order_) {
        const std::shared_ptr<ConversionItem>& item = items_.at(key);
        item->queued = !item->Done() && (!wanted || wanted(*item));
        pool_->Push([this, item, stop = runStop_.get_token()] { RunItem(item, stop); });
    }
    return true;
}

void ConversionWorker::Stop() {
    browsers_->CancelProvisioning();
    stopping_ = true;
    runStop_.request_stop();  // every job of the run cancels now, not at its next progress report
    pool_.reset();
    // The books the run had not begun wait for the next start, as the ones it stopped do.
    {
        std::lock_guard lock(itemsLock_);
        for (const auto& [key, item] : items_) {
            if (item->queued.exchange(false))
                MarkStopped(*item);
        }
    }
    pending_ = 0;
    running_ = false;
}

void ConversionWorker::MarkStopped(ConversionItem& item) {
    item.progress = 0;
    item.SetFailureReason("");
    item.SetWarnings({});
    item.SetState(ItemState::Stopped);
}

void ConversionWorker::RunItem(const std::shared_ptr<ConversionItem>& item, const std::stop_token& stop) {
    ConvertItem(item, stop);
    // A stopped run ends with the stop, which its caller sees: no end is told after it.
    if (--pending_ > 0 || stopping_)
        return;
    running_ = false;
    if (notify_)
        notify_(nullptr, kRunOver);
}

void ConversionWorker::ConvertItem(const std::shared_ptr<ConversionItem>& item, const std::stop_token& stop) {
    if (stopping_ || stop.stop_requested())
        return;  // Stop marks it stopped
    if (!item->queued.exchange(false) || item->Done() || item->removed)
        return;  // not in this run, converted in an earlier one, or taken off the list
    const std::string epub = item->epubPath;
    auto finish = [&](ItemState state, const std::string& reason) {
        item->SetFailureReason(reason);
        item->SetState(state);
        if (notify_)
            notify_(item, kItemChanged);
    };
    item->SetFailureReason("");
    item->SetWarnings({});
    item->SetState(ItemState::Converting);
    // The output name is taken by creating the file, so two books of one name never share it. To
    // replace a PDF, the book is written beside it and renamed over it once whole.
    const std::string wanted = item->PdfPath();
    const bool replace = overwrite_;
    if (util::GetFileName(wanted, true).size() > NAME_MAX) {
        finish(
            ItemState::Failed,
            util::FormatString("the name of the PDF is longer than a file name may be (%d bytes)", NAME_MAX));
        return;
    }
    const std::string out = util::ReserveUniquePath(replace ? wanted + ".tmp" : wanted);
    if (out.empty()) {
        finish(ItemState::Failed, "cannot create the output file " + wanted);
        return;
    }
    item->SetPdfPath(out);

    // The job stops with the run, or with this book alone.
    std::stop_source jobStop;
    const std::stop_token cancelled = item->BeginConversion();
    const std::stop_callback byRun(stop, [&jobStop] { jobStop.request_stop(); });
    const std::stop_callback byBook(cancelled, [&jobStop] { jobStop.request_stop(); });
    auto job = std::make_unique<ConversionJob>(epub, settings_, jobStop.get_token(),
                                               printers_ ? printers_ : BrowserPrinters(settings_, browsers_));
    auto progress = [this, item](int percent) {
        if (stopping_)
            return false;
        item->progress = percent;
        // The end is told with the book's final state.
        if (percent < 100 && notify_)
            notify_(item, kItemChanged);
        return true;
    };
    // A job that a stop or a cancel ended, however it ended (a torn-down browser may throw): not the
    // book's fault, and it waits for the next start.
    auto interrupted = [&] {
        if (stopping_ || stop.stop_requested()) {
            MarkStopped(*item);
            if (notify_)
                notify_(item, kItemChanged);
        } else if (cancelled.stop_requested()) {
            item->progress = 0;
            finish(ItemState::Cancelled, "");
        } else {
            return false;
        }
        return true;
    };
    const auto start = std::chrono::steady_clock::now();
    try {
        const bool converted = job->Run(out, progress);
        if (converted && replace && std::rename(out.c_str(), wanted.c_str()) != 0) {
            std::remove(out.c_str());
            finish(ItemState::Failed, "cannot replace " + wanted);
            return;
        }
        if (converted && replace)
            item->SetPdfPath(wanted);
        item->pages = job->Pages();
        item->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        item->blockedRequests = job->BlockedRequests();
        item->SetTimings(job->TimingSummary());
        item->SetWarnings(job->Warnings());
        if (converted)
            finish(job->Warnings().empty() ? ItemState::Converted : ItemState::ConvertedWithWarnings, "");
        else if (!interrupted())
            finish(ItemState::Failed, job->FailureReason());
    } catch (const std::exception& e) {  // PdfError, and whatever another library throws
        if (!interrupted())
            finish(ItemState::Error, e.what());
    }
}

}  // namespace engine
