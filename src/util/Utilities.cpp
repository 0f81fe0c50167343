#include "util/Utilities.h"

#include <fcntl.h>
#include <pwd.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace util {
namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

std::string ReadLink(const std::string& link) {
    std::error_code ec;
    fs::path target = fs::read_symlink(link, ec);
    return ec ? std::string() : target.string();
}

std::string AbsoluteEnv(const char* name) {
    const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe): the program never sets it
    if (value == nullptr || value[0] != '/')
        return {};
    return ToFullPath(value);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

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

std::string ToFullPath(const std::string& path) {
    std::string p = path;
    for (char& c : p) {
        if (c == '\\')
            c = '/';
    }
    fs::path result(p);
    if (!result.is_absolute()) {
        std::error_code ec;
        fs::path cwd = fs::current_path(ec);
        result = (ec ? fs::path("/") : cwd) / result;
    }
    return result.lexically_normal().string();
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    std::string part = name;
    if (part.find(":\\") != std::string::npos || part.find(":/") != std::string::npos) {
        part = GetFileName(part, true);
    }
    std::string base = folder;
    if (base.empty() || !IsSeparator(base.back()))
        base += '/';
    return ToFullPath(base + part);
}

std::string GetFolderOf(const std::string& path) {
    std::string p = ToFullPath(path);
    size_t slash = p.rfind('/');
    if (slash == std::string::npos)
        return "/";
    return p.substr(0, slash + 1);
}

std::string GetFileName(const std::string& path, bool keepExtension) {
    size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (!keepExtension)
        name = RemoveExtension(name);
    return name;
}

std::string GetExtension(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    return path.substr(dot);
}

std::string RemoveExtension(const std::string& path) {
    return path.substr(0, path.size() - GetExtension(path).size());
}

bool IsInsideFolder(const std::string& path, const std::string& folder) {
    std::string p = ToFullPath(path);
    std::string f = ToFullPath(folder);
    while (f.size() > 1 && f.back() == '/') f.pop_back();
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (p == f)
        return true;
    if (f == "/")
        return true;
    return p.size() > f.size() && p.compare(0, f.size(), f) == 0 && p[f.size()] == '/';
}

std::string GetModulePath(bool fullPath) {
    return GetProcessImagePath(-1, fullPath);
}

std::string GetModuleFolder() {
    std::string folder = GetFolderOf(GetModulePath(true));
    if (folder.size() > 1)
        folder.pop_back();
    return folder;
}

std::string GetModuleBaseName() {
    return GetFileName(GetModulePath(true), false);
}

std::string GetProcessImagePath(int processId, bool fullPath) {
    std::string link =
        processId == -1 ? std::string("/proc/self/exe") : FormatString("/proc/%d/exe", processId);
    std::string image = ReadLink(link);
    if (image.empty() || fullPath)
        return image;
    return GetFileName(image, true);
}

std::string GetProcessImageFolder(int processId) {
    std::string image = GetProcessImagePath(processId, true);
    if (image.empty())
        return {};
    std::string folder = GetFolderOf(image);
    if (folder.size() > 1)
        folder.pop_back();
    return folder;
}

std::string GetHomeFolder() {
    const char* home = std::getenv("HOME");  // NOLINT(concurrency-mt-unsafe): the program never sets it
    if (home != nullptr && home[0] == '/')
        return ToFullPath(home);
    passwd entry{};
    passwd* pw = nullptr;
    std::array<char, 4096> buffer{};
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &pw) == 0 && pw != nullptr &&
        pw->pw_dir != nullptr)
        return ToFullPath(pw->pw_dir);
    return "/";
}

std::string GetAppDataFolder() {
    std::string data = AbsoluteEnv("XDG_DATA_HOME");
    return data.empty() ? JoinPath(GetHomeFolder(), ".local/share") : data;
}

std::string GetUserDataFolder() {
    return JoinPath(GetAppDataFolder(), "epub2pdf");
}

std::string GetSettingsPath() {
    std::string config = AbsoluteEnv("XDG_CONFIG_HOME");
    if (config.empty())
        config = JoinPath(GetHomeFolder(), ".config");
    return JoinPath(config, "epub2pdf/epub2pdf.ini");
}

std::string GetDocumentsFolder() {
    const std::string home = GetHomeFolder();
    std::string config = AbsoluteEnv("XDG_CONFIG_HOME");
    if (config.empty())
        config = JoinPath(home, ".config");
    std::ifstream dirs(JoinPath(config, "user-dirs.dirs"));
    std::string line;
    while (std::getline(dirs, line)) {
        const std::string key = "XDG_DOCUMENTS_DIR=";
        if (line.compare(0, key.size(), key) != 0)
            continue;
        std::string value = line.substr(key.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.compare(0, 5, "$HOME") == 0)
            value = std::string(home).append(value, 5);
        if (!value.empty() && value[0] == '/' && ToFullPath(value) != home)
            return ToFullPath(value);
    }
    return JoinPath(home, "Documents");
}

std::string GetRuntimeFolder() {
    // A folder of ours: a real directory (not a link), owned by this user, closed to everybody else.
    auto isPrivate = [](const std::string& folder) {
        struct stat st {};
        return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
               (st.st_mode & 077) == 0;
    };
    const std::string runtime = AbsoluteEnv("XDG_RUNTIME_DIR");
    const std::string folder = !runtime.empty()
                                   ? JoinPath(runtime, "epub2pdf")
                                   : FormatString("/tmp/epub2pdf-%d", static_cast<int>(::getuid()));
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    return isPrivate(folder) ? folder : std::string();
}

int UsableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
}

long long AvailableMemory() {
    std::ifstream meminfo("/proc/meminfo");
    for (std::string line; std::getline(meminfo, line);) {
        long long kib = 0;
        if (std::sscanf(line.c_str(), "MemAvailable: %lld kB", &kib) == 1)
            return kib * 1024;
    }
    return 0;
}

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

bool RemoveFolderTree(const std::string& path) {
    if (path.empty())
        return false;
    std::string p = path;
    while (!p.empty() && IsSeparator(p.back())) p.pop_back();
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

std::string_view CutQueryAndFragment(std::string_view url) {
    return url.substr(0, url.find_first_of("?#"));
}

std::string PercentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int hi = HexValue(text[i + 1]);
            int lo = HexValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string FileUrlFromPath(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '.' || c == '_' || c == '~' || c == '/') {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

std::string PathFromFileUrl(std::string_view url) {
    constexpr std::string_view scheme = "file:";
    if (url.substr(0, scheme.size()) != scheme)
        return {};
    std::string_view rest = url.substr(scheme.size());
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        size_t slash = rest.find('/');
        if (slash == std::string_view::npos)
            return {};
        std::string_view host = rest.substr(0, slash);
        if (!host.empty() && host != "localhost")
            return {};
        rest.remove_prefix(slash);
    }
    if (rest.empty() || rest[0] != '/')
        return {};
    return PercentDecode(rest);
}

bool DecodeBase64(std::string_view text, std::string& out) {
    static const std::array<int, 256> table = [] {
        std::array<int, 256> t{};
        t.fill(-1);
        const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(alphabet[i])] = i;
        return t;
    }();
    while (!text.empty() && text.back() == '=') text.remove_suffix(1);
    if (text.size() % 4 == 1)
        return false;
    out.clear();
    out.reserve(text.size() * 3 / 4);
    unsigned buffer = 0;
    int bits = 0;
    for (unsigned char c : text) {
        const int v = table[c];
        if (v < 0)
            return false;
        buffer = (buffer << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    return true;
}

bool IsValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t extra;
        unsigned minimum;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            minimum = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            minimum = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (i + extra >= text.size())
            return false;
        unsigned code = c & (0x3F >> extra);
        for (size_t k = 1; k <= extra; ++k) {
            unsigned char d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (d & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

std::string MarkupEscaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n')
                    out += c;
        }
    }
    return out;
}

std::string MessagesLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe): the program never sets these
        if (value != nullptr && *value != '\0')
            return value;
    }
    return {};
}

std::string ToLowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace util
