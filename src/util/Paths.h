// Path arithmetic on absolute, normalised, '/'-separated UTF-8 paths; a backslash counts as a separator.
// Lexical only: nothing here touches the file system.
#pragma once

#include <string>
#include <string_view>

namespace util {

// Replaces '\' by '/', makes the path absolute against the current directory and folds "." and "..".
std::string ToFullPath(const std::string& path);
// ToFullPath of folder + '/' + name; a name carrying a drive (":\" or ":/") gives only its last component.
std::string JoinPath(const std::string& folder, const std::string& name);
// The folder of a path, absolute and ending in '/'.
std::string GetFolderOf(const std::string& path);
// The last component of a path, without its extension unless keepExtension.
std::string GetFileName(const std::string& path, bool keepExtension);
// The extension of the last component with its dot, or an empty string.
std::string GetExtension(const std::string& path);
// The path with the extension of its last component removed.
std::string RemoveExtension(const std::string& path);
// True when path (after ToFullPath) is folder itself or lies below it; both taken lexically.
bool IsInsideFolder(const std::string& path, const std::string& folder);

}  // namespace util
