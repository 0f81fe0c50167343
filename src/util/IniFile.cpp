#include "util/IniFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "util/AtomicFile.h"

namespace util {
namespace {

std::string Trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    const size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool IsSection(const std::string& line, std::string* name) {
    const std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']')
        return false;
    if (name != nullptr)
        *name = Trim(t.substr(1, t.size() - 2));
    return true;
}

// Splits "key = value"; false for comments and other lines.
bool IsEntry(const std::string& line, std::string* key, std::string* value) {
    const std::string t = Trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '#')
        return false;
    const size_t eq = t.find('=');
    if (eq == std::string::npos)
        return false;
    *key = Trim(t.substr(0, eq));
    *value = Trim(t.substr(eq + 1));
    return true;
}

bool SameKey(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// Sets key in the first section of that name in lines, adding the key, or the section, when missing.
void SetIn(std::vector<std::string>& lines, const std::string& section, const std::string& key,
           const std::string& value) {
    bool inSection = false, sectionSeen = false;
    size_t insertAt = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string name, k, v;
        if (IsSection(lines[i], &name)) {
            if (inSection) {
                insertAt = i;
                break;
            }
            inSection = SameKey(name, section);
            sectionSeen = sectionSeen || inSection;
            if (inSection)
                insertAt = i + 1;
        } else if (inSection && IsEntry(lines[i], &k, &v) && SameKey(k, key)) {
            lines[i] = std::string(key).append("=").append(value);
            return;
        } else if (inSection && !Trim(lines[i]).empty()) {
            insertAt = i + 1;
        }
    }
    if (!sectionSeen) {
        if (!lines.empty() && !Trim(lines.back()).empty())
            lines.push_back("");
        lines.push_back("[" + section + "]");
        insertAt = lines.size();
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), key + "=" + value);
}

// An exclusive advisory lock on a file beside the settings, held for the object's life. Without a lock
// file (a read-only folder) the write goes ahead unlocked and fails on its own terms.
class FileLock {
  public:
    explicit FileLock(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (fd_ < 0)
            return;
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FileLock() {
        if (fd_ >= 0)
            ::close(fd_);  // closing releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

  private:
    int fd_;
};

}  // namespace

IniFile::IniFile(std::string path, std::string section)
    : path_(std::move(path)), section_(std::move(section)) {}

std::string IniFile::GetString(const std::string& key, const std::string& fallback) const {
    bool inSection = false;
    for (const std::string& line : ReadLines(path_)) {
        std::string name, k, v;
        if (IsSection(line, &name)) {
            inSection = SameKey(name, section_);
        } else if (inSection && IsEntry(line, &k, &v) && SameKey(k, key)) {
            return v;
        }
    }
    return fallback;
}

int IniFile::GetInt(const std::string& key, int fallback) const {
    const std::string text = GetString(key);
    if (text.empty())
        return fallback;
    // The whole value must be a number; "yes" or "12abc" keep the fallback instead of reading as 0 or 12.
    errno = 0;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (end == text.c_str() || *end != '\0' || errno == ERANGE)
        return fallback;
    return static_cast<int>(value);
}

bool IniFile::SetString(const std::string& key, const std::string& value) const {
    return SetStrings({{key, value}});
}

bool IniFile::SetStrings(const std::vector<std::pair<std::string, std::string>>& values) const {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ec);
    // Writers take turns (the window and the command line share the file): each one reads the file
    // under the lock, so that no writer's keys are lost to another's older copy.
    const FileLock lock(path_ + ".lock");
    std::vector<std::string> lines = ReadLines(path_);
    for (const auto& [key, value] : values) SetIn(lines, section_, key, value);
    std::string text;
    for (const std::string& line : lines) text += line + '\n';
    return WriteFileAtomically(path_, text, 0600);
}

bool IniFile::SetInt(const std::string& key, int value) const {
    return SetString(key, std::to_string(value));
}

}  // namespace util
