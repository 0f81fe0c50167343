// Where the jobs of a run get their browsers. Made by whoever runs jobs (the worker, a job of its own)
// and handed down to the printers. Locating the executable, or downloading it, is one caller's at a
// time, and a path found once is reused while it is there; browsers themselves start side by side, as
// many at once as there are cores (at least two): a start keeps a core busy, and more at once would
// finish none sooner.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>

#include "browser/BrowserProvisioner.h"
#include "util/Status.h"

namespace browser {

class Browser;

class BrowserManager {
  public:
    // observer: the front end's view of a download, or none. starts: browsers that start at once; 0:
    // one per usable core, at least two.
    explicit BrowserManager(std::shared_ptr<DownloadObserver> observer = nullptr, int starts = 0);
    // Cancels a download under way.
    ~BrowserManager();
    BrowserManager(const BrowserManager&) = delete;
    BrowserManager& operator=(const BrowserManager&) = delete;

    // Starts a browser where settings lead (the executable they find, or the address of somebody
    // else's browser). Gives up with "cancelled" as soon as stop is requested, a start or a download
    // under way included.
    util::Status StartBrowser(const ProvisionerSettings& settings, const std::stop_token& stop,
                              std::shared_ptr<Browser>& browser);
    // The executable that settings lead to, downloaded when none is found; callers take turns, and a
    // path found before for the same settings is given again while it is usable.
    util::Status LocateBrowser(const ProvisionerSettings& settings, const std::stop_token& stop,
                               std::string& path);
    // Cancels a download in progress.
    void CancelProvisioning();
    // The front end's view of downloads from now on.
    void SetDownloadObserver(std::shared_ptr<DownloadObserver> observer);

  private:
    std::mutex lock_;
    std::condition_variable_any turn_;
    bool locating_ = false;  // a caller is locating or downloading
    const int startsAtOnce_;
    int starting_ = 0;                                 // browsers starting now
    std::shared_ptr<BrowserProvisioner> provisioner_;  // its provisioner
    std::shared_ptr<DownloadObserver> observer_;
    ProvisionerSettings locatedFor_;  // the settings of the path found last
    std::string located_;
};

}  // namespace browser
