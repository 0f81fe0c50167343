#include "browser/BrowserManager.h"
#include "browser/DevToolsClient.h"
#include "engine/ChapterPrinter.h"

namespace engine {
namespace {

// One book's browser: its session is released, and the browser ended, with the printer.
class BrowserPrinter : public ChapterPrinter {
  public:
    BrowserPrinter(std::unique_ptr<browser::BrowserSession> session,
                   std::shared_ptr<browser::DevToolsClient> client)
        : session_(std::move(session)), client_(std::move(client)) {}

    util::Status Print(const std::string& chapterPath, std::string& pdf) override {
        if (!client_->Navigate(chapterPath)) {
            return util::Status::Failure(client_->Ended() ? "the browser's session ended"
                                                          : "the page did not load");
        }
        if (!client_->PrintPdfBytes(pdf)) {
            return util::Status::Failure(client_->Ended() ? "the browser's session ended"
                                                          : "the browser did not print the page");
        }
        return {};
    }
    void Abort() override { client_->Abort(); }
    int BlockedRequests() const override { return client_->BlockedRequests(); }

  private:
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
