// Where things live: the running executable, the user's home, data, settings, and runtime
// folders (XDG).
#pragma once

#include <string>
#include <string_view>

namespace util {

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
// A folder only this user can enter, for sockets and locks: $XDG_RUNTIME_DIR/epub2pdf, else
// /tmp/epub2pdf-<uid>. Created with mode 0700; empty when it cannot be made or is not this user's alone.
std::string GetRuntimeFolder();

}  // namespace util
