// One instance of the window per user session: a later start hands its files to the running one, which
// comes to the front, over a socket in the user's private runtime folder. Without such a folder there
// is no safe place for the socket, and every instance runs alone.
#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

class QLocalServer;

namespace shell {

class SingleInstance : public QObject {
  public:
    // The socket's path; empty when there is no private runtime folder.
    static QString Name();
    // True when a running instance was found: it got the files and comes to the front.
    static bool HandOver(const QStringList& files);

    // Answers the instances started after this one: raise brings the window to the front, add takes the
    // files one handed over.
    SingleInstance(QObject* parent, std::function<void()> raise, std::function<void(const QStringList&)> add);

  private:
    QLocalServer* server_ = nullptr;
    std::function<void()> raise_;
    std::function<void(const QStringList&)> add_;
};

}  // namespace shell
