#include <algorithm>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>

#include "browser/Browser.h"
#include "browser/BrowserManager.h"
#include "engine/ChapterPrinter.h"
#include "engine/PrintJob.h"
#include "epub/ChapterDocument.h"
#include "util/AtomicFile.h"
#include "util/Files.h"
#include "util/Format.h"
#include "util/Sync.h"
#include "util/Text.h"
#include "util/Urls.h"

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
  // A link within the page to a name the page writes in another Unicode form (the reference decomposed,
  // the id composed, or the other way round) is pointed at the name as the page writes it: the browser
  // draws no link to a name it does not find.
  const normal = new Map();
  for (const name of names) if (!normal.has(name.normalize('NFC'))) normal.set(name.normalize('NFC'), name);
  const here = document.URL.split('#')[0];
  const known = n => names.has(n);
  for (const a of document.querySelectorAll('a[href]')) {
    if (typeof a.href !== 'string') continue;  // an SVG link
    const hash = a.href.indexOf('#');
    if (hash < 0 || a.href.slice(0, hash) !== here) continue;
    const written = a.href.slice(hash + 1);
    let decoded = written;
    try { decoded = decodeURIComponent(written); } catch (e) {}
    if (known(written) || known(decoded)) continue;
    const name = normal.get(decoded.normalize('NFC'));
    if (name !== undefined) a.setAttribute('href', '#' + encodeURIComponent(name));
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

// Run in a fixed-layout page before it prints, with its viewport's width and height in CSS pixels: the
// viewport is the page, and what lies outside it is cut off rather than shrunk onto the page (a browser
// scales a document that is wider than its paper down to fit).
constexpr const char* kFixedLayoutPage = R"JS(((w, h) => {
  const root = document.documentElement;
  if (!root) return false;
  const style = document.createElementNS(root.namespaceURI || 'http://www.w3.org/1999/xhtml', 'style');
  style.textContent = `@page { size: ${w}px ${h}px; margin: 0 }
    :root { width: ${w}px !important; height: ${h}px !important; min-width: 0 !important;
            min-height: 0 !important; max-width: none !important; max-height: none !important;
            overflow: hidden !important; contain: paint !important; }`;
  (document.head || root).appendChild(style);
  return true;
})(%g, %g))JS";

// Run in a chapter of a scrolled book at the width its content is laid out at on the paper, in CSS
// pixels: the height of its content there.
constexpr const char* kContentHeight = R"JS(((w) => {
  const root = document.documentElement;
  if (!root) return 0;
  const saved = root.style.cssText;
  root.style.setProperty('width', w + 'px', 'important');
  const style = getComputedStyle(root);
  let height = root.getBoundingClientRect().height + parseFloat(style.marginTop) + parseFloat(style.marginBottom);
  if (document.body) {
    const body = document.body.getBoundingClientRect();
    height = Math.max(height, body.top + window.scrollY + document.body.scrollHeight);
  }
  root.style.cssText = saved;
  return Math.ceil(height);
})(%g))JS";

// Run in a chapter whose content is centred horizontally on its page: the body becomes as wide as its
// content and goes to the middle. Lines that run from top to bottom keep doing so in a block of their
// own that holds the body's content, laid in a page whose lines run across, so that its side margins
// can centre it (the body's writing mode is the page's).
constexpr const char* kCentrePage = R"JS((() => {
  const body = document.body;
  if (!body) return false;
  const mode = getComputedStyle(body).writingMode;
  const style = document.createElement('style');
  if (mode.startsWith('vertical') || mode.startsWith('sideways')) {
    const block = document.createElement('div');
    block.append(...body.childNodes);
    block.setAttribute('style', `writing-mode: ${mode}; margin: 0 auto; inline-size: auto;`);
    body.appendChild(block);
    style.textContent = 'html, body { writing-mode: horizontal-tb !important; }';
  } else {
    style.textContent = `body { width: fit-content !important; max-width: 100%% !important;
      margin-left: auto !important; margin-right: auto !important; }`;
  }
  (document.head || document.documentElement).appendChild(style);
  return true;
})())JS";

// A page that shows a picture of the spine, beside it: the page's inspection then fits the picture
// onto the page.
std::string WritePictureFrame(const std::string& path) {
    std::string frame = util::ReserveUniquePath(path + ".html");
    if (frame.empty())
        return {};
    const std::string html =
        "<!DOCTYPE html><html><head><meta charset=\"utf-8\"/><title></title></head><body>"
        "<img alt=\"\" src=\"" +
        util::MarkupEscaped(util::FileUrlFromPath(path)) + "\"/></body></html>";
    return util::WriteFileAtomically(frame, html) ? frame : std::string();
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

// One book's browser and its page: both go with the printer. A chapter whose page does not load and
// print within the bound is given up, and its browser with it (an endless script keeps the page busy
// for good): the next chapter gets a fresh one.
class BrowserPrinter : public ChapterPrinter {
  public:
    BrowserPrinter(EngineSettings settings, std::string bookFolder,
                   std::shared_ptr<browser::BrowserManager> browsers, const std::stop_token& stop)
        : settings_(std::move(settings)),
          bookFolder_(std::move(bookFolder)),
          browsers_(std::move(browsers)),
          byJob_(stop, [this] { Abort(); }) {}

    // Starts the browser and opens its page, or new ones after the last were given up.
    util::Status Start() {
        {
            std::lock_guard lock(lock_);
            if (page_ && !page_->Ended())
                return {};
            Retire();
        }
        const std::stop_token stop = abort_.get_token();
        if (stop.stop_requested())
            return util::Status::Failure("cancelled");
        std::shared_ptr<browser::Browser> browser;
        std::unique_ptr<browser::Page> page;
        util::Status started = browsers_->StartBrowser(settings_.browser, stop, browser);
        if (started) {
            // The pages may read their own book and nothing else (the network only when the user allows it).
            browser::PageOptions options;
            options.bookFolder = bookFolder_;
            options.allowNetwork = settings_.allowNetwork;
            started = browser->NewPage(options, page, stop);
        }
        if (!started) {
            if (stop.stop_requested())
                return util::Status::Failure("cancelled");
            return util::Status::Failure("the browser could not be started: " + started.Reason());
        }
        std::lock_guard lock(lock_);
        browser_ = std::move(browser);
        page_ = std::move(page);
        if (stop.stop_requested())
            browser_->Close("aborted");  // Abort came as the page opened
        return {};
    }

    util::Status Print(const epub::Chapter& chapter, std::string& pdf) override {
        return WithPage([&](browser::Page& page, const util::Deadline& deadline) {
            return PrintWith(page, chapter, deadline, pdf);
        });
    }
    util::Status PrintSheet(const std::string& htmlPath, double widthInches, double heightInches,
                            std::string& pdf) override {
        return WithPage([&](browser::Page& page, const util::Deadline& deadline) {
            if (util::Status loaded = page.Navigate(htmlPath, deadline.Left()); !loaded)
                return Failed(page, deadline, "the page did not load", loaded);
            const PrintJob sheet{PrintJob::Kind::Sheet, 0, widthInches, heightInches};
            if (util::Status printed =
                    page.PrintToPdf(PrintParametersFor(settings_.page, sheet), pdf, deadline.Left());
                !printed)
                return Failed(page, deadline, "the browser did not print the page", printed);
            return util::Status{};
        });
    }
    void Abort() override {
        abort_.request_stop();  // a start under way gives up at once
        std::lock_guard lock(lock_);
        if (browser_)
            browser_->Close("aborted");
    }
    int BlockedRequests() const override {
        std::lock_guard lock(lock_);
        return blocked_ + (page_ ? page_->BlockedRequests() : 0);
    }
    int BlockedNavigations() const override {
        std::lock_guard lock(lock_);
        return navigations_ + (page_ ? page_->BlockedNavigations() : 0);
    }

  private:
    // Runs one page's work (the browser started, or replaced, first) within the chapter bound; a page
    // that fails is given up with its browser, whatever it is doing.
    template <typename Work>
    util::Status WithPage(const Work& work) {
        if (util::Status started = Start(); !started)
            return started;
        browser::Page* page;
        {
            std::lock_guard lock(lock_);
            page = page_.get();
        }
        if (page == nullptr)
            return util::Status::Failure("cancelled");
        // The page stays while its work runs: only this thread retires it.
        util::Status done = work(*page, util::Deadline(settings_.chapterSeconds * 1000));
        if (!done) {
            std::lock_guard lock(lock_);
            Retire();
        }
        return done;
    }
    // Ends the current page and browser (under lock_).
    void Retire() {
        if (page_) {
            blocked_ += page_->BlockedRequests();
            navigations_ += page_->BlockedNavigations();
        }
        page_.reset();
        browser_.reset();
    }
    // Why a step of the page's work failed: the browser's end, the chapter's bound, or the reason.
    util::Status Failed(const browser::Page& page, const util::Deadline& deadline, const char* what,
                        const util::Status& why) const {
        if (page.Ended())
            return util::Status::Failure("the browser's session ended");
        if (deadline.Passed())
            return util::Status::Failure(
                util::FormatString("%s within %d s", what, settings_.chapterSeconds));
        return util::Status::Failure(std::string(what) + ": " + why.Reason());
    }

    util::Status PrintWith(browser::Page& page, const epub::Chapter& chapter, const util::Deadline& deadline,
                           std::string& pdf) {
        std::string shown = chapter.path;
        if (chapter.image) {
            shown = WritePictureFrame(chapter.path);
            if (shown.empty())
                return util::Status::Failure("its page cannot be written");
        }
        if (util::Status loaded = page.Navigate(shown, deadline.Left()); !loaded)
            return Failed(page, deadline, "the page did not load", loaded);
        json inspected;
        if (page.Evaluate(kInspectPage, inspected, deadline.Left()) && inspected.value("parseError", false)) {
            // What a browser shows for the same file as HTML: the whole text, without the banner.
            const std::string copy = WriteHtmlCopy(chapter.path);
            if (!copy.empty()) {
                if (util::Status loaded = page.Navigate(copy, deadline.Left()); !loaded)
                    return Failed(page, deadline, "the page did not load", loaded);
                page.Evaluate(kInspectPage, inspected, deadline.Left());
            }
        }
        PrintJob job{PrintJob::Kind::Chapter, settings_.chapterPages, 0, 0};
        const PageSetup& setup = settings_.page;
        // The width the content is laid out at on the paper.
        const double width = (setup.PaperWidth() - setup.marginLeft - setup.marginRight) * 96.0 / setup.scale;
        json done;
        if (chapter.fixedLayout && chapter.viewport.Valid()) {
            job = {PrintJob::Kind::FixedLayout, 0, chapter.viewport.width, chapter.viewport.height};
            page.Evaluate(util::FormatString(kFixedLayoutPage, job.width, job.height), done, deadline.Left());
        } else if (chapter.scrolled && !inspected.value("cover", false)) {
            json height;
            if (page.Evaluate(util::FormatString(kContentHeight, width), height, deadline.Left()) &&
                height.is_number() && height.get<double>() > 0)
                job = {PrintJob::Kind::Scrolled, settings_.chapterPages, 0, height.get<double>()};
        }
        if (chapter.centred)
            page.Evaluate(util::FormatString(kCentrePage), done, deadline.Left());
        if (job.kind == PrintJob::Kind::Chapter && inspected.value("cover", false))
            job.kind = PrintJob::Kind::Cover;
        if (util::Status printed =
                page.PrintToPdf(PrintParametersFor(settings_.page, job), pdf, deadline.Left());
            !printed)
            return Failed(page, deadline, "the browser did not print the page", printed);
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
    const std::shared_ptr<browser::BrowserManager> browsers_;
    std::stop_source abort_;  // Abort, or the job's stop
    mutable std::mutex lock_;
    std::shared_ptr<browser::Browser> browser_;
    std::unique_ptr<browser::Page> page_;
    int blocked_ = 0;      // of the pages given up
    int navigations_ = 0;  // likewise
    // Last: the job's stop reaches the printer only while all of it exists.
    const std::stop_callback<std::function<void()>> byJob_;
};

}  // namespace

PrinterFactory BrowserPrinters(const EngineSettings& settings,
                               const std::shared_ptr<browser::BrowserManager>& browsers) {
    return [settings, browsers](const std::string& bookFolder, const std::stop_token& stop,
                                std::string& reason) -> std::unique_ptr<ChapterPrinter> {
        auto printer = std::make_unique<BrowserPrinter>(settings, bookFolder, browsers, stop);
        if (util::Status started = printer->Start(); !started) {
            reason = started.Reason();
            return nullptr;
        }
        return printer;
    };
}

}  // namespace engine
