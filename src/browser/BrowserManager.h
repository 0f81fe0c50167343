// The one place where a conversion job obtains a ready browser client: under one lock it makes sure a
// browser executable exists (locating or downloading it) and starts a DevToolsClient on it. Jobs hold
// their client through a BrowserSession, whose lifetime is the lifetime of that job's browser.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>

namespace browser {

class BrowserProvisioner;
class DevToolsClient;
class DownloadObserver;
struct ProvisionerSettings;

class BrowserManager {
  public:
    // The process-wide manager.
    static BrowserManager& Instance();

    // A connected client whose session is enabled, on the browser that settings lead to, or null.
    // Callers take turns. Once stop is requested no browser is started, and a start under way is
    // abandoned at once.
    std::shared_ptr<DevToolsClient> CreateClient(const ProvisionerSettings& settings,
                                                 const std::stop_token& stop = {});
    // Drops the manager's reference to the latest provisioner (without the lock).
    void ReleaseProvisioner();
    // Cancels a download in progress and drops the provisioner (without the lock).
    void CancelProvisioning();
    // The front end's view of downloads.
    void SetDownloadObserver(std::shared_ptr<DownloadObserver> observer);

  private:
    BrowserManager() = default;
    std::mutex lock_;
    std::atomic<std::shared_ptr<BrowserProvisioner>> provisioner_;
    std::shared_ptr<DownloadObserver> observer_;
};

// One job's browser: a client from the manager, released (with its browser) on destruction.
class BrowserSession {
  public:
    // Obtains a client from the manager; null when none could be made or stop was requested first.
    explicit BrowserSession(const ProvisionerSettings& settings, const std::stop_token& stop = {});
    ~BrowserSession();
    BrowserSession(const BrowserSession&) = delete;
    BrowserSession& operator=(const BrowserSession&) = delete;

    // The client, or null when none could be made.
    std::shared_ptr<DevToolsClient> GetClient() const { return client_; }

  private:
    std::shared_ptr<DevToolsClient> client_;
    std::atomic<bool> closed_{false};
};

}  // namespace browser
