// Starts a browser the program can drive: reserves a free debugging port, launches the executable on
// it with a profile of that port, finds the page target over HTTP and connects a WebSocket to it.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "browser/Transport.h"

namespace browser {

class BrowserProcess;
class PortReservation;

// One running browser: its port stays reserved, its process runs and its temporary files stay for the
// object's life; the browser ends, and its files go, with it.
class LaunchedBrowser {
  public:
    ~LaunchedBrowser();
    LaunchedBrowser(const LaunchedBrowser&) = delete;
    LaunchedBrowser& operator=(const LaunchedBrowser&) = delete;

    int Port() const { return port_; }
    int ProcessId() const { return processId_; }
    // The channel to the browser's page; null after the first call.
    std::unique_ptr<Transport> TakeTransport() { return std::move(transport_); }

  private:
    friend std::unique_ptr<LaunchedBrowser> LaunchBrowser(const std::string&, const std::atomic<bool>&,
                                                          std::string&);
    LaunchedBrowser();

    std::unique_ptr<PortReservation> reservation_;
    std::string scratch_;
    std::unique_ptr<BrowserProcess> process_;
    std::unique_ptr<Transport> transport_;
    int port_ = 0;
    int processId_ = 0;
};

// Launches the browser at browserPath and connects to it; null with the reason when that fails, or as
// soon as cancelled turns true.
std::unique_ptr<LaunchedBrowser> LaunchBrowser(const std::string& browserPath,
                                               const std::atomic<bool>& cancelled, std::string& reason);

}  // namespace browser
