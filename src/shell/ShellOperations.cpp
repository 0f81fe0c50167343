#include "shell/ShellOperations.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include "shell/Literals.h"
#include "shell/Translation.h"

namespace shell {

MessageSink DefaultMessageSink(QWidget* parent) {
    return [parent](MessageKind kind, const std::string& text) {
        const QString caption = Tr(Title());
        const QString body = QString::fromStdString(text);
        switch (kind) {
            case MessageKind::Error:
                QMessageBox::critical(parent, caption, body);
                return true;
            case MessageKind::Info:
                QMessageBox::information(parent, caption, body);
                return true;
            case MessageKind::Question:
                return QMessageBox::question(parent, caption, body, QMessageBox::Yes | QMessageBox::No) ==
                       QMessageBox::Yes;
        }
        return false;
    };
}

bool RevealInExplorer(const std::string& path) {
    if (path.empty())
        return false;
    const QString file = QString::fromStdString(path);
    const QUrl url = QUrl::fromLocalFile(file);
    QDBusMessage call =
        QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                       "org.freedesktop.FileManager1", "ShowItems");
    call << QStringList{url.toString()} << QString();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return true;
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(file).absolutePath()));
}

bool OpenWithShell(const std::string& target) {
    if (target.empty())
        return false;
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(target)));
}

}  // namespace shell
