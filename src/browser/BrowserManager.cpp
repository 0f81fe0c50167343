#include "browser/BrowserManager.h"

#include "browser/BrowserLauncher.h"
#include "browser/BrowserProvisioner.h"
#include "browser/DevToolsClient.h"

namespace browser {

BrowserManager& BrowserManager::Instance() {
    static BrowserManager manager;
    return manager;
}

void BrowserManager::SetDownloadObserver(std::shared_ptr<DownloadObserver> observer) {
    std::lock_guard lock(lock_);
    observer_ = std::move(observer);
}

std::shared_ptr<DevToolsClient> BrowserManager::CreateClient(const ProvisionerSettings& settings,
                                                             const std::stop_token& stop) {
    std::lock_guard lock(lock_);
    // A job stopped while it waited for its turn starts nothing.
    if (stop.stop_requested())
        return nullptr;
    std::string path = settings.address;  // a browser somebody else runs: none is started or looked for
    if (path.empty()) {
        // The local reference keeps the provisioner alive while it works, whoever releases the stored one.
        auto provisioner = std::make_shared<BrowserProvisioner>(settings, observer_);
        provisioner_.store(provisioner);
        path = provisioner->LocateOrDownload();
    } else if (!IsBrowserAddress(path)) {
        return nullptr;
    }
    if (path.empty() || stop.stop_requested())
        return nullptr;
    auto client = std::make_shared<DevToolsClient>(path);
    {
        const std::stop_callback abort(stop, [&client] { client->Abort(); });
        if (!client->EnableSession())
            return nullptr;  // dropping the client ends its browser
    }
    if (stop.stop_requested())
        return nullptr;
    return client;
}

void BrowserManager::ReleaseProvisioner() {
    provisioner_.store(nullptr);
}

void BrowserManager::CancelProvisioning() {
    if (auto current = provisioner_.exchange(nullptr))
        current->Cancel();
}

BrowserSession::BrowserSession(const ProvisionerSettings& settings, const std::stop_token& stop)
    : client_(BrowserManager::Instance().CreateClient(settings, stop)) {}

BrowserSession::~BrowserSession() {
    closed_ = true;
    client_.reset();
    BrowserManager::Instance().ReleaseProvisioner();
}

}  // namespace browser
