#include "shell/ShellOperations.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTemporaryFile>
#include <QUrl>
#include <QVariantMap>

#include "shell/Translation.h"

namespace shell {
namespace {

// What xdg-open's exit status says, when it said nothing itself.
QString OpenerStatus(int code) {
    switch (code) {
        case 2:
            return Tr("文件不存在");
        case 3:
            return Tr("没有可以打开它的程序");
        default:
            return Tr("打开它的程序没有启动");
    }
}

}  // namespace

void OpenWithShell(const std::string& target, QObject* context, const OpenFailed& failed) {
    const QString what = QString::fromStdString(target);
    auto report = [failed, what](const QString& why) {
        if (failed)
            failed(Tr("无法打开%1：%2").arg(what, why).toStdString());
    };
    if (target.empty())
        return report(Tr("文件不存在"));
    // The opener's errors go to a file, not a pipe: the program it starts inherits the descriptor, and
    // would end on its next warning once a pipe's reader is gone.
    auto* process = new QProcess(context);
    auto* errors = new QTemporaryFile(process);
    if (!errors->open())
        errors = nullptr;
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    if (errors != nullptr)
        process->setStandardErrorFile(errors->fileName());
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, report](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart) {
                             report(Tr("找不到xdg-open"));
                             process->deleteLater();
                         }
                     });
    QObject::connect(process, &QProcess::finished, process,
                     [process, errors, report](int code, QProcess::ExitStatus status) {
                         process->deleteLater();
                         if (status == QProcess::NormalExit && code == 0)
                             return;
                         QString said =
                             errors != nullptr ? QString::fromLocal8Bit(errors->readAll()).trimmed() : "";
                         said = said.section('\n', -1).trimmed();  // its last word on it
                         report(said.isEmpty() ? OpenerStatus(code) : said);
                     });
    process->start("xdg-open", {what});
}

void RevealInExplorer(const std::string& path, QObject* context, const OpenFailed& failed) {
    const QString file = QString::fromStdString(path);
    const std::string folder = QFileInfo(file).absolutePath().toStdString();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (path.empty() || !bus.isConnected())
        return OpenWithShell(path.empty() ? path : folder, context, failed);
    QDBusMessage call =
        QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                       "org.freedesktop.FileManager1", "ShowItems");
    call << QStringList{QUrl::fromLocalFile(file).toString()} << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 3000), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, folder, context, failed](QDBusPendingCallWatcher*) {
                         watcher->deleteLater();
                         if (watcher->isError())
                             OpenWithShell(folder, context, failed);  // no file manager answers: its folder
                     });
}

bool NotifyDesktop(const std::string& title, const std::string& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                       "org.freedesktop.Notifications", "Notify");
    call << QString("epub2pdf") << 0u << QString("epub2pdf") << QString::fromStdString(title)
         << QString::fromStdString(body) << QStringList() << QVariantMap() << -1;
    bus.asyncCall(call);
    return true;
}

}  // namespace shell
