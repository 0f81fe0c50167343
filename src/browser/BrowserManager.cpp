#include "browser/BrowserManager.h"

#include <algorithm>

#include "browser/Browser.h"
#include "browser/BrowserLauncher.h"
#include "util/Machine.h"

namespace browser {
namespace {

bool SameSource(const ProvisionerSettings& a, const ProvisionerSettings& b) {
    return a.browserPath == b.browserPath && a.storeUrl == b.storeUrl && a.revision == b.revision &&
           a.searchPath == b.searchPath;
}

}  // namespace

BrowserManager::BrowserManager(std::shared_ptr<DownloadObserver> observer, int starts)
    : startsAtOnce_(starts > 0 ? starts : std::max(2, util::UsableCores())), observer_(std::move(observer)) {}

BrowserManager::~BrowserManager() {
    CancelProvisioning();
}

void BrowserManager::SetDownloadObserver(std::shared_ptr<DownloadObserver> observer) {
    std::lock_guard lock(lock_);
    observer_ = std::move(observer);
}

void BrowserManager::CancelProvisioning() {
    std::shared_ptr<BrowserProvisioner> current;
    {
        std::lock_guard lock(lock_);
        current = provisioner_;
    }
    if (current)
        current->Cancel();
}

util::Status BrowserManager::LocateBrowser(const ProvisionerSettings& settings, const std::stop_token& stop,
                                           std::string& path) {
    std::shared_ptr<BrowserProvisioner> provisioner;
    {
        std::unique_lock lock(lock_);
        // One caller locates or downloads at a time; the others wait for its result, or leave on a stop.
        if (!turn_.wait(lock, stop, [this] { return !locating_; }))
            return util::Status::Failure("cancelled");
        if (!located_.empty() && SameSource(settings, locatedFor_) &&
            BrowserProvisioner::IsUsable(located_)) {
            path = located_;
            return {};
        }
        locating_ = true;
        provisioner = std::make_shared<BrowserProvisioner>(settings, observer_);
        provisioner_ = provisioner;
    }
    std::string found;
    {
        // A stop cancels the download, however close it came to the cancel of the run.
        const std::stop_callback cancel(stop, [&provisioner] { provisioner->Cancel(); });
        found = provisioner->LocateOrDownload();
    }
    {
        std::lock_guard lock(lock_);
        locating_ = false;
        provisioner_.reset();
        if (!found.empty()) {
            located_ = found;
            locatedFor_ = settings;
        }
    }
    turn_.notify_all();
    provisioner.reset();  // waits for its download thread
    if (stop.stop_requested())
        return util::Status::Failure("cancelled");
    if (found.empty())
        return util::Status::Failure("no browser was found, and none could be downloaded");
    path = found;
    return {};
}

util::Status BrowserManager::StartBrowser(const ProvisionerSettings& settings, const std::stop_token& stop,
                                          std::shared_ptr<Browser>& browser) {
    std::string where = settings.address;  // a browser somebody else runs: none is started or looked for
    if (!where.empty() && !IsBrowserAddress(where))
        return util::Status::Failure("the browser address " + where + " is not a ws:// address");
    if (where.empty()) {
        if (util::Status located = LocateBrowser(settings, stop, where); !located)
            return located;
    }
    {
        std::unique_lock lock(lock_);
        if (!turn_.wait(lock, stop, [this] { return starting_ < startsAtOnce_; }))
            return util::Status::Failure("cancelled");
        ++starting_;
    }
    util::Status started = Browser::Start(where, stop, browser);
    {
        std::lock_guard lock(lock_);
        --starting_;
    }
    turn_.notify_all();
    return started;
}

}  // namespace browser
