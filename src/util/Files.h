// Files and folders on disk: existence tests, unique output names, whole-file reads and the guarded
// recursive delete.
#pragma once

#include <string>
#include <string_view>

namespace util {

// False for an empty path; otherwise whether the path exists. Throws std::filesystem::filesystem_error
// when the existence test itself fails.
bool FileExists(const std::string& path);
// The path itself when it does not exist, else the first free "folder/base(n).ext" for n = 1, 2, ...
std::string MakeUniquePath(const std::string& path);
// Like MakeUniquePath, but creates the chosen file exclusively (O_EXCL) so that two callers can never
// get the same name; empty when no file could be created.
std::string ReserveUniquePath(const std::string& path);
// Reads a whole file into bytes; false when it cannot be read.
bool ReadFileBytes(const std::string& path, std::string& bytes);
// Writes all of bytes to fd, again after an interruption (EINTR); false, with errno set, when a write
// fails or writes nothing.
bool WriteAll(int fd, std::string_view bytes);
// Removes a folder with everything in it; refuses "/", the home folder and the system trees.
bool RemoveFolderTree(const std::string& path);

}  // namespace util
