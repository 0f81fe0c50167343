#include "util/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "util/Files.h"
#include "util/Paths.h"

namespace util {

AtomicFile::AtomicFile(const std::string& path, unsigned mode) : path_(ToFullPath(path)) {
    // A hidden name beside the target, so that the rename stays on one file system; the target's name
    // is cut (on a character's boundary) where the whole would pass the longest name a folder holds.
    std::string name = GetFileName(path_, true);
    constexpr size_t kLongestName = NAME_MAX - 8;  // the dot before and ".XXXXXX" after
    if (name.size() > kLongestName) {
        size_t cut = kLongestName;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    temp_ = GetFolderOf(path_) + "." + name + ".XXXXXX";
    fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        temp_.clear();
        return;
    }
    if (::fchmod(fd_, static_cast<mode_t>(mode)) != 0)
        failed_ = true;
}

AtomicFile::~AtomicFile() {
    if (fd_ >= 0)
        ::close(fd_);
    if (!temp_.empty())
        ::unlink(temp_.c_str());
}

bool AtomicFile::Write(std::string_view bytes) {
    if (fd_ < 0 || failed_)
        return false;
    if (!WriteAll(fd_, bytes)) {
        failed_ = true;
        return false;
    }
    return true;
}

bool AtomicFile::Commit() {
    if (fd_ < 0 || failed_)
        return false;
    const bool synced = ::fsync(fd_) == 0;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!synced || !closed || ::rename(temp_.c_str(), path_.c_str()) != 0)
        return false;
    temp_.clear();
    return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view content, unsigned mode) {
    AtomicFile file(path, mode);
    return file.Write(content) && file.Commit();
}

}  // namespace util
