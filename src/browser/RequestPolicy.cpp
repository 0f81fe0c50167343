#include "browser/RequestPolicy.h"

#include <filesystem>

#include "util/Paths.h"
#include "util/Urls.h"

namespace browser {
namespace {

// The canonical form of a path: symbolic links and ".." resolved as far as the path exists.
std::string Canonical(const std::string& path) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::weakly_canonical(path, ec);
    return ec ? util::ToFullPath(path) : p.lexically_normal().string();
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

}  // namespace

void RequestPolicy::Allow(const std::string& bookFolder, bool allowNetwork) {
    std::string folder = bookFolder.empty() ? std::string() : Canonical(bookFolder);
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    std::lock_guard lock(lock_);
    folder_ = folder;
    allowNetwork_ = allowNetwork;
}

bool RequestPolicy::IsAllowed(const std::string& url) const {
    if (url == "about:blank" || url == "about:srcdoc" || StartsWith(url, "data:"))
        return true;
    std::lock_guard lock(lock_);
    if (StartsWith(url, "file:")) {
        if (folder_.empty())
            return false;
        const std::string path = util::PathFromFileUrl(util::CutQueryAndFragment(url));
        return !path.empty() && util::IsInsideFolder(Canonical(path), folder_);
    }
    return allowNetwork_ && (StartsWith(url, "http://") || StartsWith(url, "https://"));
}

}  // namespace browser
