// epub2pdf-gui: the desktop program. Files given on the command line are added to the list.
#include <QApplication>
#include <QTimer>
#include <cstdlib>

#include "engine/ConversionWorker.h"
#include "shell/Application.h"
#include "shell/MainWindow.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("epub2pdf");
    QApplication::setQuitOnLastWindowClosed(false);
    QStringList files = QApplication::arguments().mid(1);
    shell::Application application(files);
    // For the documentation: EPUB2PDF_SCREENSHOT=file.png saves a picture of the window after a moment
    // and quits; with EPUB2PDF_SCREENSHOT_CONVERT=1 the books are converted first.
    // NOLINTNEXTLINE(concurrency-mt-unsafe): read before any thread starts
    if (const char* shot = std::getenv("EPUB2PDF_SCREENSHOT")) {
        const bool convert =
            std::getenv("EPUB2PDF_SCREENSHOT_CONVERT") != nullptr;  // NOLINT(concurrency-mt-unsafe)
        application.SetQuiet(true);
        auto* poll = new QTimer(&app);
        QObject::connect(poll, &QTimer::timeout, [&application, poll, path = QString::fromLocal8Bit(shot)] {
            if (application.Worker() && application.Worker()->IsBusy())
                return;
            poll->stop();
            QTimer::singleShot(500, [&application, path] {
                if (application.Window())
                    application.Window()->grab().save(path);
                QApplication::exit(0);
            });
        });
        QTimer::singleShot(1000, [&application, poll, convert] {
            if (convert)
                application.StartConvert();
            poll->start(200);
        });
    }
    return application.Run();
}
