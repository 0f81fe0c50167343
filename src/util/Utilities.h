// Shared utilities: formatting, path arithmetic, per-user folders, existence tests, unique output
// names and the guarded recursive delete. Stateless free functions, safe from any thread.
// Paths are absolute, normalised, '/'-separated UTF-8 strings; a backslash counts as a separator.
#pragma once

#include <fmt/printf.h>

#include <string>
#include <string_view>

namespace util {

// printf-style formatting into a string: %s takes a string, %d an int, %% a percent sign.
template <typename... Args>
std::string FormatString(std::string_view format, const Args&... args) {
    return fmt::sprintf(format, args...);
}

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

// The running executable's path (/proc/self/exe), or its file name when fullPath is false.
std::string GetModulePath(bool fullPath = true);
// The folder of the running executable, without a trailing '/'.
std::string GetModuleFolder();
// The file name of the running executable without extension.
std::string GetModuleBaseName();
// The image path of a process (-1: this process), or its file name; empty when it cannot be read.
std::string GetProcessImagePath(int processId, bool fullPath = true);
// The folder of a process's image path, without a trailing '/'.
std::string GetProcessImageFolder(int processId);

// $HOME, or the password database's home folder.
std::string GetHomeFolder();
// $XDG_DATA_HOME, default ~/.local/share.
std::string GetAppDataFolder();
// The per-user data folder shared by the GUI and the command line: $XDG_DATA_HOME/epub2pdf.
std::string GetUserDataFolder();
// $XDG_CONFIG_HOME/epub2pdf/epub2pdf.ini, default below ~/.config.
std::string GetSettingsPath();
// The user's documents folder (XDG user dirs), default ~/Documents.
std::string GetDocumentsFolder();
// A folder only this user can enter, for sockets and locks: $XDG_RUNTIME_DIR/epub2pdf, else
// /tmp/epub2pdf-<uid>. Created with mode 0700; empty when it cannot be made or is not this user's alone.
std::string GetRuntimeFolder();

// The processors this process may run on (its affinity mask), at least 1.
int UsableCores();
// MemAvailable of /proc/meminfo in bytes; 0 when it cannot be read.
long long AvailableMemory();

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
// Removes a folder with everything in it; refuses "/", the home folder and the system trees.
bool RemoveFolderTree(const std::string& path);

// A URL or href without its query and fragment: "ch1.xhtml?x=1#a" gives "ch1.xhtml".
std::string_view CutQueryAndFragment(std::string_view url);
// Decodes %XX escapes (invalid escapes stay as written).
std::string PercentDecode(std::string_view text);
// A file:// URL for an absolute path, with every byte outside the unreserved set and '/' percent-encoded.
std::string FileUrlFromPath(const std::string& path);
// The path of a file: URL (file:///a/b or file://localhost/a/b), percent-decoded; empty when not a local
// file URL.
std::string PathFromFileUrl(std::string_view url);
// Decodes standard Base64 (padding optional, no other characters); false on malformed input.
bool DecodeBase64(std::string_view text, std::string& out);
// True when text is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);
// ASCII lower-casing; other bytes stay.
std::string ToLowerAscii(std::string_view text);
// Text for XML or HTML content and attribute values: & < > " as entities; control characters other than
// tab and line feed, which XML cannot hold, dropped.
std::string MarkupEscaped(std::string_view text);
// The locale the user asks for texts in: the first of LC_ALL, LC_MESSAGES and LANG that is set, as the C
// library reads them; empty when none is.
std::string MessagesLocale();

}  // namespace util
