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
// the book gave it. Every element a link could point at gets a hidden link to it: the browser then
// writes a named destination with its page and height into the PDF, which the merge turns into the
// destinations of bookmarks and links.
constexpr const char* kInspectPage = R"JS((async () => {
  const parseError = document.getElementsByTagName('parsererror').length > 0;
  const body = document.body;
  if (parseError || !body) return {parseError, cover: false};
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
  return {parseError, cover};
})())JS";

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

// One book's browser: its session is released, and the browser ended, with the printer.
class BrowserPrinter : public ChapterPrinter {
  public:
    BrowserPrinter(std::unique_ptr<browser::BrowserSession> session,
                   std::shared_ptr<browser::DevToolsClient> client)
        : session_(std::move(session)), client_(std::move(client)) {}

    util::Status Print(const epub::Chapter& chapter, std::string& pdf) override {
        if (util::Status loaded = Load(chapter.path); !loaded)
            return loaded;
        json page;
        if (client_->Evaluate(kInspectPage, page) && page.value("parseError", false)) {
            // What a browser shows for the same file as HTML: the whole text, without the banner.
            const std::string copy = WriteHtmlCopy(chapter.path);
            if (!copy.empty()) {
                if (util::Status loaded = Load(copy); !loaded)
                    return loaded;
                client_->Evaluate(kInspectPage, page);
            }
        }
        json params = browser::DevToolsClient::PrintParameters();
        if (chapter.fixedLayout) {
            // One page of the document's own size, at its own scale.
            const epub::Viewport viewport = epub::ReadViewport(chapter.path);
            if (viewport.Valid()) {
                params["paperWidth"] = viewport.width / 96.0;
                params["paperHeight"] = viewport.height / 96.0;
                params["marginTop"] = params["marginBottom"] = params["marginLeft"] = params["marginRight"] =
                    0.0;
                params["scale"] = 1.0;
                params["pageRanges"] = "1";
            }
        } else if (page.value("cover", false)) {
            params["pageRanges"] = "1";  // the fitted picture; never a blank page after it
        }
        if (!client_->PrintPdfBytes(params, pdf)) {
            return util::Status::Failure(client_->Ended() ? "the browser's session ended"
                                                          : "the browser did not print the page");
        }
        return {};
    }
    void Abort() override { client_->Abort(); }
    int BlockedRequests() const override { return client_->BlockedRequests(); }

  private:
    util::Status Load(const std::string& path) {
        if (!client_->Navigate(path)) {
            return util::Status::Failure(client_->Ended() ? "the browser's session ended"
                                                          : "the page did not load");
        }
        return {};
    }

    std::unique_ptr<browser::BrowserSession> session_;
    std::shared_ptr<browser::DevToolsClient> client_;
};

}  // namespace

PrinterFactory BrowserPrinters(const EngineSettings& settings) {
    return [settings](const std::string& bookFolder, const std::stop_token& stop,
                      std::string& reason) -> std::unique_ptr<ChapterPrinter> {
        auto session = std::make_unique<browser::BrowserSession>(settings.browser, stop);
        std::shared_ptr<browser::DevToolsClient> client = session->GetClient();
        if (!client) {
            reason = "the browser could not be started";
            return nullptr;
        }
        // The pages may read their own book and nothing else (the network only when the user allows it).
        client->SetRequestPolicy(bookFolder, settings.allowNetwork);
        return std::make_unique<BrowserPrinter>(std::move(session), std::move(client));
    };
}

}  // namespace engine
