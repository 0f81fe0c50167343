// Finds the browser executable the program drives: the path set in the settings file, the per-user
// snapshot, a Chromium or Chrome on PATH, and when none is there downloads the fixed snapshot archive
// from the snapshot store, unpacks it below the per-user data folder and looks again. The download runs
// on a thread of its own while the caller waits; a DownloadObserver supplied by the front end shows the
// progress and may cancel.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace browser {

class TaskThread;

// The front end's view of a download: a modal dialog in the desktop program, a progress bar in the
// terminal. Progress is called on the download thread.
class DownloadObserver {
  public:
    virtual ~DownloadObserver() = default;
    // The download starts; message tells the user what is fetched.
    virtual void Begin(const std::string& message) = 0;
    // Percent done (0..100); false cancels the download.
    virtual bool Progress(int percent) = 0;
    // The download ended (successfully or not).
    virtual void End() = 0;
};

// Where the browser comes from; the front end reads it from the settings file (section "browser").
struct ProvisionerSettings {
    std::string browserPath;  // "path": an explicit browser executable
    std::string storeUrl;     // "store": scheme and host of the snapshot store; empty: the public one
    int revision = 0;         // "revision": the snapshot revision; 0: the fixed one
    bool searchPath = true;   // "search_path": look for a system Chromium on PATH
    std::string address;      // "address": the DevTools address (ws://) of a browser somebody else runs;
                              // when set, no browser is started
};

class BrowserProvisioner {
  public:
    static constexpr int kDefaultRevision = 1069273;

    explicit BrowserProvisioner(ProvisionerSettings settings,
                                std::shared_ptr<DownloadObserver> observer = nullptr);
    // Sets the cancelled flag, which stops a running download, and waits for the download thread.
    virtual ~BrowserProvisioner();
    BrowserProvisioner(const BrowserProvisioner&) = delete;
    BrowserProvisioner& operator=(const BrowserProvisioner&) = delete;

    // The executable, downloading the snapshot when nothing else is found; empty when there is none.
    std::string LocateOrDownload();
    // The snapshot executable below folder when it exists and is not empty, else an empty string.
    static std::string Locate(const std::string& folder);
    // Whether path is a regular file with something in it.
    static bool IsUsable(const std::string& path);
    // Downloads and unpacks the snapshot of revision into folder; the executable found afterwards, or
    // an empty string. The archive stays in place.
    std::string Download(const std::string& folder, int revision);
    // Stops a running download.
    void Cancel() { cancelled_ = true; }

    // The download URL of a revision.
    std::string DownloadUrl(int revision) const;
    // The archive file below folder.
    static std::string ArchivePath(const std::string& folder);

  private:
    std::mutex mutex_;
    std::atomic<bool> cancelled_{false};
    std::unique_ptr<TaskThread> worker_;
    std::string result_;
    ProvisionerSettings settings_;
    std::shared_ptr<DownloadObserver> observer_;
};

// A Chromium or Chrome executable on PATH, or an empty string.
std::string FindBrowserOnPath();

}  // namespace browser
