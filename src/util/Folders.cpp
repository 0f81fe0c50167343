#include "util/Folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "util/Format.h"
#include "util/Paths.h"

namespace fs = std::filesystem;

namespace util {
namespace {

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

}  // namespace

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

}  // namespace util
