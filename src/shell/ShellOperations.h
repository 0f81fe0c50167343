// Message boxes and the small desktop operations the commands use: opening a file with its default
// program, revealing a file in the file manager, and a notification on the desktop. Opening never
// waits for the program it starts; what goes wrong is handed back to be said in the window.
#pragma once

#include <functional>
#include <string>

class QObject;
class QWidget;

namespace shell {

enum class MessageKind { Error, Warning, Info, Question };

// Shows a message; for questions, true means yes. Tests install their own to record messages.
using MessageSink = std::function<bool(MessageKind, const std::string& text)>;
// Why something could not be opened, in the user's words.
using OpenFailed = std::function<void(const std::string& why)>;

// Opens a file (a path) or a URL with the desktop's default program (xdg-open). When nothing can open
// it, failed gets why, on the GUI thread, while context lives.
void OpenWithShell(const std::string& target, QObject* context, const OpenFailed& failed);
// Shows the file selected in the desktop's file manager (D-Bus FileManager1), else opens its folder.
void RevealInExplorer(const std::string& path, QObject* context, const OpenFailed& failed);
// A notification on the desktop (D-Bus Notifications); false when there is no session bus.
bool NotifyDesktop(const std::string& title, const std::string& body);

}  // namespace shell
