// Starts a browser the program can drive: launches the executable with --remote-debugging-pipe on a
// socket pair only this process holds (no debugging port, so no other process can drive it), with a
// profile in a temporary folder of its own, and attaches to its page. A browser somebody else runs is
// reached only when the settings give its address.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "browser/Transport.h"

namespace browser {

class BrowserProcess;

// One running browser: its process runs and its temporary files (profile included) stay for the
// object's life; the browser ends, and its files go, with it.
class LaunchedBrowser {
  public:
    ~LaunchedBrowser();
    LaunchedBrowser(const LaunchedBrowser&) = delete;
    LaunchedBrowser& operator=(const LaunchedBrowser&) = delete;

    int ProcessId() const { return processId_; }
    // The channel to the browser's page; null after the first call.
    std::unique_ptr<Transport> TakeTransport() { return std::move(transport_); }

  private:
    friend std::unique_ptr<LaunchedBrowser> LaunchBrowser(const std::string&, const std::atomic<bool>&,
                                                          std::string&);
    LaunchedBrowser();

    std::string scratch_;
    std::unique_ptr<BrowserProcess> process_;
    std::unique_ptr<Transport> transport_;
    int processId_ = 0;
};

// True when where is the DevTools address of a running browser (ws://host:port/devtools/browser/...)
// rather than an executable.
bool IsBrowserAddress(const std::string& where);

// Launches the browser at browserPath and connects to it, or, for a browser address, connects to that
// browser and opens a page of its own there; null with the reason when that fails, or as soon as
// cancelled turns true.
std::unique_ptr<LaunchedBrowser> LaunchBrowser(const std::string& browserPath,
                                               const std::atomic<bool>& cancelled, std::string& reason);

}  // namespace browser
