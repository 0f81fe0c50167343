// What the pages of a book may request: file:// URLs inside the book's folder (after resolving "..",
// percent-escapes and symbolic links), about:blank, about:srcdoc and data: URLs, and http(s) only when
// the network is allowed. Everything else is refused. Safe from any thread.
#pragma once

#include <mutex>
#include <string>

namespace browser {

class RequestPolicy {
  public:
    // Until Allow is called, no file is allowed.
    RequestPolicy() = default;
    // The book's folder, and whether http(s) requests go through.
    void Allow(const std::string& bookFolder, bool allowNetwork);
    // Whether a page may request url.
    bool IsAllowed(const std::string& url) const;

  private:
    mutable std::mutex lock_;
    std::string folder_;  // canonical, ending in '/'; empty: no file allowed
    bool allowNetwork_ = false;
};

}  // namespace browser
