// Holds the books of the conversion list and converts them in the background on a pool of threads, up
// to one book per thread at a time, each with its own job and browser. Progress, the books' states and
// the end of a run go to one notification callback, called on pool threads.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/ChapterPrinter.h"
#include "engine/ConversionItem.h"
#include "engine/EngineSettings.h"

namespace browser {
class BrowserManager;
}

namespace engine {

class ThreadPool;

class ConversionWorker {
  public:
    // Notification codes.
    static constexpr int kItemChanged = 0;  // progress or state of the item
    static constexpr int kRunOver = 1;      // the item pointer is null
    static constexpr int kMaxThreads = 20;  // the most books that convert at once
    static constexpr int kDefaultThreads = kMaxThreads;

    using Notify = std::function<void(const std::shared_ptr<ConversionItem>&, int code)>;

    // Creates folder (with its parents) when it does not exist; registered books go there. Every job
    // gets settings.
    explicit ConversionWorker(const std::string& folder, int threads = kDefaultThreads,
                              EngineSettings settings = {});
    // Stops a run.
    ~ConversionWorker();
    ConversionWorker(const ConversionWorker&) = delete;
    ConversionWorker& operator=(const ConversionWorker&) = delete;

    // Registers a book, named after the EPUB in outputFolder (default: the work folder); null when a
    // book with exactly that path is present already.
    std::shared_ptr<ConversionItem> AddItem(const std::string& epubPath,
                                            const std::string& outputFolder = {});
    // An existing PDF of a book's name is replaced (atomically, when the book converted) rather than
    // kept, with the book written under the next free name.
    void SetOverwrite(bool overwrite) { overwrite_ = overwrite; }
    // New settings and books at once for the next run (not during one).
    void Reconfigure(EngineSettings settings, int threads);
    // Stops one book's conversion under way; false when it is not converting.
    bool CancelItem(const std::string& epubPath);
    // Takes a book that is not converting off the list; false when it is converting or absent.
    bool RemoveItem(const std::string& epubPath);
    // True when a book with exactly that path is present.
    bool Contains(const std::string& epubPath) const;
    // The output PDF of a book, only once it was converted successfully.
    std::string OutputPathOf(const std::string& epubPath) const;
    // The registered books in the order they were added.
    std::vector<std::shared_ptr<ConversionItem>> Items() const;
    bool IsEmpty() const;
    // True while a run is under way.
    bool IsBusy() const { return running_; }

    // Which books a run takes, of those that are not done; empty: all of them.
    using Wanted = std::function<bool(const ConversionItem&)>;
    // Queues every book that is not done (and that wanted takes); true when the run began (its end comes
    // as kRunOver). False, and nothing happens, while a run is under way or when there is no book.
    bool Start(Notify notify, const Wanted& wanted = {});
    // Ends a run: running books are cancelled at once (their browsers end, their pages are abandoned),
    // queued ones are skipped, and no browser starts after it; both are then Stopped, and no kRunOver
    // follows. Returns when every job has ended.
    void Stop();

    const std::string& WorkFolder() const { return workFolder_; }
    int Threads() const { return threads_; }
    // Chapters are printed by printers from now on instead of browsers (set before Start).
    void SetPrinters(PrinterFactory printers) { printers_ = std::move(printers); }
    // Where the jobs get their browsers (and the front end sees downloads).
    browser::BrowserManager& Browsers() { return *browsers_; }

  private:
    void RunItem(const std::shared_ptr<ConversionItem>& item, const std::stop_token& stop);
    void ConvertItem(const std::shared_ptr<ConversionItem>& item, const std::stop_token& stop);
    // A book the stop of a run caught, queued or converting.
    static void MarkStopped(ConversionItem& item);

    std::unordered_map<std::string, std::shared_ptr<ConversionItem>> items_;
    std::vector<std::string> order_;
    mutable std::mutex itemsLock_;
    std::string workFolder_;
    int threads_;
    EngineSettings settings_;
    std::atomic<bool> overwrite_{false};
    PrinterFactory printers_;
    std::shared_ptr<browser::BrowserManager> browsers_;
    std::unique_ptr<ThreadPool> pool_;
    std::atomic<bool> stopping_{false};
    std::stop_source runStop_;  // one per run: Stop requests it, every job of the run sees it
    Notify notify_;
    std::atomic<int> pending_{0};
    std::atomic<bool> running_{false};
};

}  // namespace engine
