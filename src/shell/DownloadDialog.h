// The browser download as a modal progress dialog: the provisioning thread reports, the GUI thread
// shows. The dialog's cancel button stops the download.
#pragma once

#include <QPointer>
#include <QProgressDialog>
#include <atomic>

#include "browser/BrowserProvisioner.h"

namespace shell {

class DownloadDialog : public browser::DownloadObserver {
  public:
    // context: the object whose thread shows the dialog; nothing is shown once it is gone.
    explicit DownloadDialog(QObject* context, QWidget* parent);
    void Begin(const std::string& message) override;
    bool Progress(int percent) override;
    void End() override;

  private:
    QPointer<QObject> context_;
    QPointer<QWidget> parent_;
    QPointer<QProgressDialog> dialog_;
    std::atomic<bool> cancelled_{false};
};

}  // namespace shell
