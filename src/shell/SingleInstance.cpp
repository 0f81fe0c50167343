#include "shell/SingleInstance.h"

#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <memory>

#include "shell/Literals.h"
#include "util/Folders.h"
#include "util/Paths.h"

namespace shell {

QString SingleInstance::Name() {
    // One instance per user session; a test (or a second session) with a runtime folder of its own
    // never sees another's.
    const std::string folder = util::GetRuntimeFolder();
    if (folder.empty())
        return {};
    return QString::fromStdString(util::JoinPath(folder, WindowClassName()));
}

bool SingleInstance::HandOver(const QStringList& files) {
    const QString name = Name();
    if (name.isEmpty())
        return false;
    QLocalSocket probe;
    probe.connectToServer(name);
    if (!probe.waitForConnected(500))
        return false;
    QByteArray message = "raise\n";
    for (const QString& file : files) message += "add " + QFileInfo(file).absoluteFilePath().toUtf8() + "\n";
    probe.write(message);
    probe.flush();
    probe.waitForBytesWritten(1000);
    probe.disconnectFromServer();
    return true;
}

SingleInstance::SingleInstance(QObject* parent, std::function<void()> raise,
                               std::function<void(const QStringList&)> add)
    : QObject(parent), raise_(std::move(raise)), add_(std::move(add)) {
    const QString name = Name();
    if (name.isEmpty())
        return;
    QLocalServer::removeServer(name);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    server_->listen(name);
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server_->nextPendingConnection()) {
            // A later start's files are one batch, taken when it hangs up. What they make the window do
            // (a message box, with an event loop of its own) runs after this socket's handlers returned:
            // the socket may be gone by then.
            auto files = std::make_shared<QStringList>();
            auto read = [this, peer, files] {
                while (peer->canReadLine()) {
                    const QString line = QString::fromUtf8(peer->readLine()).trimmed();
                    if (line == "raise" && raise_)
                        QMetaObject::invokeMethod(this, raise_, Qt::QueuedConnection);
                    if (line.startsWith("add "))
                        files->push_back(line.mid(4));
                }
            };
            connect(peer, &QLocalSocket::readyRead, this, read);
            connect(peer, &QLocalSocket::disconnected, this, [this, peer, files, read] {
                read();
                peer->deleteLater();
                if (!files->isEmpty() && add_)
                    QMetaObject::invokeMethod(
                        this, [this, batch = *files] { add_(batch); }, Qt::QueuedConnection);
                files->clear();
            });
        }
    });
}

}  // namespace shell
