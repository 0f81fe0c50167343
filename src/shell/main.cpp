// epub2pdf-gui: the desktop program. Files given on the command line are added to the list.
#include "shell/Application.h"
#include "shell/MainWindow.h"

#include <QApplication>
#include <QTimer>

#include <cstdlib>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("epub2pdf");
    QApplication::setQuitOnLastWindowClosed(false);
    QStringList files = QApplication::arguments().mid(1);
    shell::Application application(files);
    // EPUB2PDF_SCREENSHOT=file.png saves a picture of the window after a moment and quits (for docs).
    if (const char* shot = std::getenv("EPUB2PDF_SCREENSHOT")) {
        QTimer::singleShot(1500, [&application, path = QString::fromLocal8Bit(shot)] {
            if (application.Window()) application.Window()->grab().save(path);
            QApplication::exit(0);
        });
    }
    return application.Run();
}
