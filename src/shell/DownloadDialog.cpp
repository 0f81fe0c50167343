#include "shell/DownloadDialog.h"

#include <QMetaObject>

#include "shell/Literals.h"
#include "shell/Translation.h"

namespace shell {

DownloadDialog::DownloadDialog(QObject* context, QWidget* parent) : context_(context), parent_(parent) {}

void DownloadDialog::Begin(const std::string& message) {
    cancelled_ = false;
    if (!context_)
        return;
    QMetaObject::invokeMethod(
        context_,
        [this, text = QString::fromStdString(message)] {
            auto* dialog = new QProgressDialog(text, Tr("取消"), 0, 100, parent_);
            dialog->setWindowTitle(Tr(Title()));
            dialog->setWindowModality(Qt::ApplicationModal);
            dialog->setMinimumDuration(0);
            dialog->setAutoClose(false);
            dialog->setAutoReset(false);
            QObject::connect(dialog, &QProgressDialog::canceled, [this] { cancelled_ = true; });
            dialog_ = dialog;
            dialog->show();
        },
        Qt::QueuedConnection);
}

bool DownloadDialog::Progress(int percent) {
    if (context_) {
        QMetaObject::invokeMethod(
            context_,
            [this, percent] {
                if (!dialog_)
                    return;
                if (dialog_->wasCanceled())
                    cancelled_ = true;
                dialog_->setValue(percent);
            },
            Qt::QueuedConnection);
    }
    return !cancelled_;
}

void DownloadDialog::End() {
    if (!context_)
        return;
    QMetaObject::invokeMethod(
        context_,
        [this] {
            if (dialog_)
                dialog_->deleteLater();
        },
        Qt::QueuedConnection);
}

}  // namespace shell
