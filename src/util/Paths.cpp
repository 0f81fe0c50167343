#include "util/Paths.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace util {
namespace {

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
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

}  // namespace util
