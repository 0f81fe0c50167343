// How a conversion job prints its chapters: one printer per book, asked for one chapter file after
// another on the job's thread. The default prints with a browser of the book's own; tests give the job
// printers that fail, throw or hang on purpose.
#pragma once

#include <functional>
#include <memory>
#include <stop_token>
#include <string>

#include "engine/EngineSettings.h"
#include "epub/EpubBook.h"
#include "util/Status.h"

namespace browser {
class BrowserManager;
}

namespace engine {

class ChapterPrinter {
  public:
    virtual ~ChapterPrinter() = default;
    // Prints one chapter into pdf (the bytes of a PDF document); a failure says why.
    virtual util::Status Print(const epub::Chapter& chapter, std::string& pdf) = 0;
    // Prints a page of the program's own (what is drawn over the merged pages) on paper of the given
    // size in inches, without margins, at its own scale; the file lies in the book's folder.
    virtual util::Status PrintSheet(const std::string& htmlPath, double widthInches, double heightInches,
                                    std::string& pdf) {
        (void)htmlPath, (void)widthInches, (void)heightInches, (void)pdf;
        return util::Status::Failure("this printer prints chapters only");
    }
    // Abandons the chapter under way, and every later one, at once; safe from any thread.
    virtual void Abort() = 0;
    // How many requests of the pages were refused (they reached outside the book).
    virtual int BlockedRequests() const { return 0; }
    // How many of them were navigations away from the chapter (which stayed as it was).
    virtual int BlockedNavigations() const { return 0; }
};

// Makes the printer of one book, whose pages may read bookFolder and nothing else. Runs on the job's
// thread and may take a while (a browser starts); gives up at once when stop is requested. A failure
// gives null and its reason.
using PrinterFactory = std::function<std::unique_ptr<ChapterPrinter>(
    const std::string& bookFolder, const std::stop_token& stop, std::string& reason)>;

// Printers backed by a browser each, started by browsers with these settings.
PrinterFactory BrowserPrinters(const EngineSettings& settings,
                               const std::shared_ptr<browser::BrowserManager>& browsers);

}  // namespace engine
