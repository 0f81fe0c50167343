#include <algorithm>
#include <chrono>
#include <mutex>
#include <nlohmann/json.hpp>

#include "browser/BrowserManager.h"
#include "browser/DevToolsClient.h"
#include "engine/ChapterPrinter.h"
#include "epub/ChapterDocument.h"
#include "util/AtomicFile.h"
#include "util/Utilities.h"

namespace engine {
namespace {

using nlohmann::json;

// Run in every loaded chapter. Reports whether the browser's XML parser gave up on it (it then shows
// an error banner and the text before the error only). A page that holds one picture and no text (a
// cover) gets that picture alone, fitted whole onto the page, instead of whatever size and margins
// the book gave it. The page's background covers the whole sheet, margins too. Every element a link
// could point at gets a hidden link to it: the browser then
// writes a named destination with its page and height into the PDF, which the merge turns into the
// destinations of bookmarks and links.
constexpr const char* kInspectPage = R"JS((async () => {
  const parseError = document.getElementsByTagName('parsererror').length > 0;
  const body = document.body;
  if (parseError || !body) return {parseError, cover: false};
  // The page's own background (the root's, else the body's, which the page takes over) fills the whole
  // sheet, as a reading system shows it: the browser paints it inside the page margins only, and an
  // @page background is what covers them. Ahead of the book's styles, so that its own @page wins.
  let background = '';
  const canvas = [document.documentElement, body].find(e => {
    const s = getComputedStyle(e);
    return s.backgroundImage !== 'none' || s.backgroundColor !== 'rgba(0, 0, 0, 0)';
  });
  if (canvas) {
    const s = getComputedStyle(canvas);
    const rule = ['background-color', 'background-image', 'background-repeat', 'background-position',
                  'background-size'].map(p => p + ': ' + s.getPropertyValue(p)).join('; ');
    background = s.backgroundColor;
    const sheet = document.createElement('style');
    sheet.textContent = '@page { ' + rule + ' }';
    (document.head || document.documentElement).prepend(sheet);
    canvas.style.setProperty('background', 'transparent', 'important');  // a picture is drawn once
  }
  let cover = false;
  const pictures = [...body.querySelectorAll('img, svg')].filter(e => !e.parentElement.closest('svg'));
  if (pictures.length === 1 && body.innerText.trim() === '') {
    const picture = pictures[0];
    for (const e of [document.documentElement, body]) {
      e.style.setProperty('margin', '0', 'important');
      e.style.setProperty('padding', '0', 'important');
    }
    body.replaceChildren(picture);
    const fit = {display: 'block', margin: '0 auto', width: '100%', height: '99vh', 'max-width': 'none',
                 'max-height': 'none', 'object-fit': 'contain', 'break-inside': 'avoid'};
    for (const [k, v] of Object.entries(fit)) picture.style.setProperty(k, v, 'important');
    if (picture.tagName.toLowerCase() === 'svg' && !picture.hasAttribute('preserveAspectRatio'))
      picture.setAttribute('preserveAspectRatio', 'xMidYMid meet');
    await Promise.all([...document.images].map(i => i.decode().catch(() => {})));
    cover = true;
  }
  const names = new Set();
  for (const e of document.querySelectorAll('[id]')) names.add(e.id);
  for (const e of document.querySelectorAll('a[name]')) names.add(e.getAttribute('name'));
  // An empty anchor (a page marker, say) just before a forced page break marks what follows the break:
  // it moves to the start of the element that breaks, so that its destination is on the same page.
  const forced = new Set(['page', 'left', 'right', 'recto', 'verso']);
  for (const name of names) {
    const anchor = document.getElementById(name) || document.getElementsByName(name)[0];
    if (!anchor || anchor.textContent.trim() !== '' || anchor.querySelector('img, svg, video, object'))
      continue;
    const walker = document.createTreeWalker(body, NodeFilter.SHOW_ELEMENT | NodeFilter.SHOW_TEXT);
    walker.currentNode = anchor;
    let next = walker.nextNode();
    while (next && (anchor.contains(next) || (next.nodeType === Node.TEXT_NODE && next.data.trim() === '') ||
                    (next.nodeType === Node.ELEMENT_NODE && next.textContent.trim() === '' &&
                     !next.matches('img, svg, video, object'))))
      next = walker.nextNode();
    if (!next) continue;
    let breaking = null;
    for (let e = next.nodeType === Node.ELEMENT_NODE ? next : next.parentElement; e && e !== body &&
         !e.contains(anchor); e = e.parentElement) {
      if (forced.has(getComputedStyle(e).breakBefore)) breaking = e;
    }
    if (breaking) breaking.prepend(anchor);
  }
  if (names.size > 0) {
    const hidden = document.createElement('div');
    hidden.style.display = 'none';
    for (const name of names) {
      const a = document.createElement('a');
      a.setAttribute('href', '#' + encodeURIComponent(name));
      hidden.appendChild(a);
    }
    body.appendChild(hidden);
  }
  return {parseError, cover, background};
})())JS";

// The print parameters of a page setup: the browser's defaults, with what the setup changes.
json PrintParameters(const PageSetup& page) {
    json params = browser::DevToolsClient::PrintParameters();
    const PageSetup standard;
    auto set = [&params](const char* key, double value, double standardValue) {
        if (value != standardValue)
            params[key] = value;
    };
    set("paperWidth", page.width, standard.width);
    set("paperHeight", page.height, standard.height);
    set("marginTop", page.marginTop, standard.marginTop);
    set("marginRight", page.marginRight, standard.marginRight);
    set("marginBottom", page.marginBottom, standard.marginBottom);
    set("marginLeft", page.marginLeft, standard.marginLeft);
    set("scale", page.scale, standard.scale);
    params["landscape"] = page.landscape;  // the browser swaps the paper's sides
    return params;
}

// A copy of an XML chapter under a name that the browser reads as HTML, beside the original so that
// its relative references still resolve; empty when it cannot be written.
std::string WriteHtmlCopy(const std::string& path) {
    std::string copy = util::ReserveUniquePath(path + ".html");
    if (copy.empty())
        return {};
    std::string bytes;
    if (!util::ReadFileBytes(path, bytes) || !util::WriteFileAtomically(copy, bytes))
        return {};
    return copy;
}

// One book's browser: its session is released, and the browser ended, with the printer. A chapter
// whose page does not load and print within the bound is given up, and its browser with it (an endless
// script keeps the page busy for good): the next chapter gets a fresh one.
class BrowserPrinter : public ChapterPrinter {
  public:
    BrowserPrinter(EngineSettings settings, std::string bookFolder, std::stop_token stop)
        : settings_(std::move(settings)), bookFolder_(std::move(bookFolder)), stop_(std::move(stop)) {}

    // Starts the browser, or a new one after the last was given up; empty when none could be started.
    std::string Start() {
        std::lock_guard lock(lock_);
        if (client_ && !client_->Ended())
            return {};
        Retire();
        if (aborted_ || stop_.stop_requested())
            return "cancelled";
        session_ = std::make_unique<browser::BrowserSession>(settings_.browser, stop_);
        client_ = session_->GetClient();
        if (!client_) {
            session_.reset();
            return "the browser could not be started";
        }
        // The pages may read their own book and nothing else (the network only when the user allows it).
        client_->SetRequestPolicy(bookFolder_, settings_.allowNetwork);
        return {};
    }

    util::Status Print(const epub::Chapter& chapter, std::string& pdf) override {
        return WithBrowser([&](browser::DevToolsClient& client, Clock::time_point deadline) {
            return PrintWith(client, chapter, deadline, pdf);
        });
    }
    util::Status PrintSheet(const std::string& htmlPath, double widthInches, double heightInches,
                            std::string& pdf) override {
        return WithBrowser([&](browser::DevToolsClient& client, Clock::time_point deadline) {
            if (!client.Navigate(htmlPath, Left(deadline)))
                return Failed(client, deadline, "the page did not load");
            json params = browser::DevToolsClient::PrintParameters();
            params["paperWidth"] = widthInches;
            params["paperHeight"] = heightInches;
            params["marginTop"] = params["marginBottom"] = params["marginLeft"] = params["marginRight"] = 0.0;
            params["scale"] = 1.0;
            params["printBackground"] = false;
            params["generateTaggedPDF"] = false;  // drawn as pagination, outside the text
            if (!client.PrintPdfBytes(params, pdf, Left(deadline)))
                return Failed(client, deadline, "the browser did not print the page");
            return util::Status{};
        });
    }
    void Abort() override {
        std::lock_guard lock(lock_);
        aborted_ = true;
        if (client_)
            client_->Abort();
    }
    int BlockedRequests() const override {
        std::lock_guard lock(lock_);
        return blocked_ + (client_ ? client_->BlockedRequests() : 0);
    }

  private:
    using Clock = std::chrono::steady_clock;

    std::shared_ptr<browser::DevToolsClient> Client() {
        std::lock_guard lock(lock_);
        return client_;
    }
    // Runs one page's work in the browser (started, or replaced, first) within the chapter bound; a
    // page that fails is given up with its browser, whatever it is doing.
    template <typename Work>
    util::Status WithBrowser(const Work& work) {
        if (std::string failed = Start(); !failed.empty())
            return util::Status::Failure(failed);
        std::shared_ptr<browser::DevToolsClient> client = Client();
        if (!client)
            return util::Status::Failure("cancelled");
        util::Status done = work(*client, Clock::now() + std::chrono::seconds(settings_.chapterSeconds));
        if (!done) {
            std::lock_guard lock(lock_);
            Retire();
        }
        return done;
    }
    // Ends the current browser (under lock_).
    void Retire() {
        if (client_)
            blocked_ += client_->BlockedRequests();
        client_.reset();
        session_.reset();
    }
    static int Left(Clock::time_point deadline) {
        return static_cast<int>(std::max<long long>(
            1, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count()));
    }
    util::Status Failed(const browser::DevToolsClient& client, Clock::time_point deadline,
                        const char* what) const {
        if (client.Ended())
            return util::Status::Failure("the browser's session ended");
        if (Clock::now() >= deadline)
            return util::Status::Failure(
                util::FormatString("%s within %d s", what, settings_.chapterSeconds));
        return util::Status::Failure(what);
    }

    util::Status PrintWith(browser::DevToolsClient& client, const epub::Chapter& chapter,
                           Clock::time_point deadline, std::string& pdf) {
        if (!client.Navigate(chapter.path, Left(deadline)))
            return Failed(client, deadline, "the page did not load");
        json page;
        if (client.Evaluate(kInspectPage, page, Left(deadline)) && page.value("parseError", false)) {
            // What a browser shows for the same file as HTML: the whole text, without the banner.
            const std::string copy = WriteHtmlCopy(chapter.path);
            if (!copy.empty()) {
                if (!client.Navigate(copy, Left(deadline)))
                    return Failed(client, deadline, "the page did not load");
                client.Evaluate(kInspectPage, page, Left(deadline));
            }
        }
        json params = PrintParameters(settings_.page);
        if (chapter.fixedLayout) {
            // One page of the document's own size, at its own scale.
            const epub::Viewport viewport = epub::ReadViewport(chapter.path);
            if (viewport.Valid()) {
                params["paperWidth"] = viewport.width / 96.0;
                params["paperHeight"] = viewport.height / 96.0;
                params["marginTop"] = params["marginBottom"] = params["marginLeft"] = params["marginRight"] =
                    0.0;
                params["scale"] = 1.0;
                params["landscape"] = false;
                params["pageRanges"] = "1";
            }
        } else if (page.value("cover", false)) {
            params["pageRanges"] = "1";  // the fitted picture; never a blank page after it
        }
        // A chapter that runs to tens of thousands of pages (a runaway layout) would fill the memory of
        // the browser and the merge: the browser prints one page past the bound at most (it stops a range
        // at the document's end), and a chapter that reaches it goes, with its pages.
        if (!params.contains("pageRanges"))
            params["pageRanges"] = util::FormatString("1-%d", settings_.chapterPages + 1);
        if (!client.PrintPdfBytes(params, pdf, Left(deadline)))
            return Failed(client, deadline, "the browser did not print the page");
        if (PageCount(pdf) > settings_.chapterPages) {
            pdf.clear();
            return util::Status::Failure(
                util::FormatString("it runs to more than the %d pages allowed", settings_.chapterPages));
        }
        return {};
    }
    // The page count a printed chapter's page tree declares: the largest /Count (the root's).
    static int PageCount(const std::string& pdf) {
        int most = 0;
        for (size_t at = pdf.find("/Count"); at != std::string::npos; at = pdf.find("/Count", at + 6)) {
            size_t i = at + 6;
            while (i < pdf.size() && (pdf[i] == ' ' || pdf[i] == '\n' || pdf[i] == '\r')) ++i;
            int n = 0;
            while (i < pdf.size() && pdf[i] >= '0' && pdf[i] <= '9' && n < 100'000'000)
                n = n * 10 + (pdf[i++] - '0');
            most = std::max(most, n);
        }
        return most;
    }

    const EngineSettings settings_;
    const std::string bookFolder_;
    const std::stop_token stop_;
    mutable std::mutex lock_;
    std::unique_ptr<browser::BrowserSession> session_;
    std::shared_ptr<browser::DevToolsClient> client_;
    int blocked_ = 0;  // of the browsers given up
    bool aborted_ = false;
};

}  // namespace

PrinterFactory BrowserPrinters(const EngineSettings& settings) {
    return [settings](const std::string& bookFolder, const std::stop_token& stop,
                      std::string& reason) -> std::unique_ptr<ChapterPrinter> {
        auto printer = std::make_unique<BrowserPrinter>(settings, bookFolder, stop);
        reason = printer->Start();
        if (!reason.empty())
            return nullptr;
        return printer;
    };
}

}  // namespace engine
