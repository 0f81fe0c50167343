// Starts a browser the program can drive: launches the executable with --remote-debugging-pipe on a
// socket pair only this process holds (no debugging port, so no other process can drive it), with its
// profile and its own temporary files in a private folder of its own. A browser somebody else runs is
// reached only at the address the settings give.
#pragma once

#include <memory>
#include <string>

#include "browser/Transport.h"
#include "util/Status.h"

namespace browser {

class BrowserProcess;

// One launched browser's process and private folder: the process runs, and the folder stays, for the
// object's life; the browser ends, its whole process group with it, and the folder goes with it.
class LaunchedBrowser {
  public:
    LaunchedBrowser();
    ~LaunchedBrowser();
    LaunchedBrowser(const LaunchedBrowser&) = delete;
    LaunchedBrowser& operator=(const LaunchedBrowser&) = delete;

    int ProcessId() const { return processId_; }

  private:
    friend util::Status LaunchBrowser(const std::string&, std::unique_ptr<LaunchedBrowser>&,
                                      std::unique_ptr<Transport>&);
    std::string scratch_;
    std::string temporary_;  // the browser's TMPDIR
    std::unique_ptr<BrowserProcess> process_;
    int processId_ = 0;
};

// True when where is the DevTools address of a running browser (ws://host:port/devtools/browser/...)
// rather than an executable.
bool IsBrowserAddress(const std::string& where);

// Launches the browser executable; on success gives its process and the (not yet started) channel to it.
util::Status LaunchBrowser(const std::string& browserPath, std::unique_ptr<LaunchedBrowser>& browser,
                           std::unique_ptr<Transport>& transport);
// Opens the channel to a running browser at its DevTools address.
util::Status ConnectBrowser(const std::string& address, std::unique_ptr<Transport>& transport);

}  // namespace browser
