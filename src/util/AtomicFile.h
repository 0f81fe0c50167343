// A file written whole or not at all: the bytes go to a temporary file of a unique name beside the
// target (created exclusively, so that nothing of the same name is ever overwritten or followed), and
// Commit renames it onto the target. Dropped without Commit, the temporary file is removed and the
// target keeps its earlier state. One writer, one thread.
#pragma once

#include <string>
#include <string_view>

namespace util {

class AtomicFile {
  public:
    // Creates the temporary file beside path with the given mode; IsOpen tells whether that worked.
    explicit AtomicFile(const std::string& path, unsigned mode = 0644);
    // Removes the temporary file unless it was committed.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Appends bytes; false (and every later call fails) when writing failed.
    bool Write(std::string_view bytes);
    // Flushes the bytes to disk and renames the temporary file onto the target; false when any step
    // failed, and then the target is untouched.
    bool Commit();
    // The temporary file while it exists.
    const std::string& TemporaryPath() const { return temp_; }

  private:
    std::string path_;
    std::string temp_;
    int fd_ = -1;
    bool failed_ = false;
};

// Replaces path with content through an AtomicFile. False (and path untouched) when writing failed.
bool WriteFileAtomically(const std::string& path, std::string_view content, unsigned mode = 0644);

}  // namespace util
