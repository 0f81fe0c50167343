#include "util/Files.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "util/Folders.h"
#include "util/Format.h"
#include "util/Paths.h"

namespace fs = std::filesystem;

namespace util {
namespace {

// Folders whose removal would damage the system or the user's home.
bool IsProtectedFolder(const std::string& path) {
    if (path == "/")
        return true;
    static const std::array<const char*, 9> systemTrees = {"/bin",  "/boot", "/dev", "/etc", "/proc",
                                                           "/sbin", "/sys",  "/usr", "/lib"};
    for (const char* tree : systemTrees) {
        std::string t = tree;
        if (t == "/lib") {
            // /lib, /lib32, /lib64, /libx32 and everything below them.
            if (path.compare(0, 4, "/lib") == 0)
                return true;
            continue;
        }
        if (path == t || path.compare(0, t.size() + 1, t + "/") == 0)
            return true;
    }
    const std::string home = GetHomeFolder();
    if (!home.empty() && home != "/") {
        // The home folder itself and every folder that contains it.
        if (path == home)
            return true;
        if (home.compare(0, path.size() + 1, path + "/") == 0)
            return true;
    }
    return false;
}

}  // namespace

bool FileExists(const std::string& path) {
    if (path.empty())
        return false;
    return fs::exists(fs::path(path));
}

std::string MakeUniquePath(const std::string& path) {
    if (!FileExists(path))
        return path;
    const std::string folder = GetFolderOf(path);
    const std::string base = GetFileName(path, false);
    const std::string extension = GetExtension(path);
    for (int n = 1;; ++n) {
        std::string candidate = FormatString("%s%s(%d)%s", folder, base, n, extension);
        if (!FileExists(candidate))
            return candidate;
    }
}

std::string ReserveUniquePath(const std::string& path) {
    const std::string folder = GetFolderOf(path);
    const std::string base = GetFileName(path, false);
    const std::string extension = GetExtension(path);
    for (int n = 0; n < 1000000; ++n) {
        std::string candidate =
            n == 0 ? ToFullPath(path) : FormatString("%s%s(%d)%s", folder, base, n, extension);
        int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            return candidate;
        }
        if (errno != EEXIST)
            return {};
    }
    return {};
}

bool ReadFileBytes(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool RemoveFolderTree(const std::string& path) {
    if (path.empty())
        return false;
    std::string p = path;
    while (!p.empty() && (p.back() == '/' || p.back() == '\\')) p.pop_back();
    if (p.empty())
        return false;
    p = ToFullPath(p);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (IsProtectedFolder(p))
        return false;
    std::error_code ec;
    fs::remove_all(p, ec);
    return !ec;
}

}  // namespace util
