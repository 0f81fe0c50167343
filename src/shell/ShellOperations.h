// Message boxes and the small desktop operations the commands use: revealing a file in the file
// manager and opening a target with its default handler.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace shell {

enum class MessageKind { Error, Info, Question };

// Shows a message; for questions, true means yes. Tests install their own to record messages.
using MessageSink = std::function<bool(MessageKind, const std::string& text)>;

// The message boxes of the program: captioned with the title, owned by parent.
MessageSink DefaultMessageSink(QWidget* parent);

// Shows the file selected in the desktop's file manager (D-Bus FileManager1), else opens its folder.
bool RevealInExplorer(const std::string& path);
// Opens a URL or file with the desktop's default handler.
bool OpenWithShell(const std::string& target);

}  // namespace shell
