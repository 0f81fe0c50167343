// epub2pdf-gui: the desktop program. Files given on the command line are added to the list.
#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <cstdlib>

#include "engine/ConversionWorker.h"
#include "shell/Application.h"
#include "shell/MainWindow.h"
#include "shell/SettingsDialog.h"
#include "util/Folders.h"

namespace {

// For the documentation: EPUB2PDF_SCREENSHOT=file.png saves a picture of the screen around the window
// and quits. EPUB2PDF_SCREENSHOT_SCENE says what it shows: "empty" (the window as it opens), "running"
// (a run under way), "finished" (a run over, with its summary) or "settings" (the settings dialog).
void TakeScreenshot(shell::Application& application, const QString& path, const QString& scene) {
    auto save = [path](QWidget* widget) {
        // The screen where the widget and what stands over it are, frame included; the widget alone
        // without a screen to grab.
        const QRect frame = widget->frameGeometry().adjusted(-8, -8, 8, 8);
        QScreen* screen = widget->screen();
        QPixmap picture = screen != nullptr
                              ? screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                              : widget->grab();
        if (picture.isNull())
            picture = widget->grab();
        picture.save(path);
        QApplication::exit(0);
    };
    if (scene == "settings") {
        QTimer::singleShot(1500, [&application, save] {
            auto* dialog = new shell::SettingsDialog(util::GetSettingsPath(), application.Window());
            dialog->show();
            auto* poll = new QTimer(dialog);
            QObject::connect(poll, &QTimer::timeout, [dialog, poll, save] {
                if (!dialog->isVisible() || dialog->frameGeometry().width() < 100)
                    return;  // not on the screen yet
                poll->stop();
                QTimer::singleShot(700, [dialog, save] { save(dialog); });
            });
            poll->start(100);
        });
        return;
    }
    if (scene == "empty" || scene.isEmpty()) {
        QTimer::singleShot(2000, [&application, save] { save(application.Window()); });
        return;
    }
    QTimer::singleShot(1500, [&application] { application.StartConvert(); });
    auto* poll = new QTimer(&application);
    QObject::connect(poll, &QTimer::timeout, [&application, poll, scene, save] {
        engine::ConversionWorker* worker = application.Worker();
        if (worker == nullptr)
            return;
        int converting = 0, converted = 0;
        for (const auto& item : worker->Items()) {
            converting += item->State() == engine::ItemState::Converting && item->progress > 30 ? 1 : 0;
            converted += item->Done() ? 1 : 0;
        }
        const bool ready =
            scene == "running" ? worker->IsBusy() && converting > 0 && converted > 0 : !worker->IsBusy();
        if (!ready)
            return;
        poll->stop();
        QTimer::singleShot(scene == "running" ? 100 : 1500,
                           [&application, save] { save(application.Window()); });
    });
    QTimer::singleShot(1600, [poll] { poll->start(50); });
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("epub2pdf");
    QGuiApplication::setDesktopFileName("epub2pdf");
    QApplication::setQuitOnLastWindowClosed(false);
    QStringList files = QApplication::arguments().mid(1);
    shell::Application application(files);
    // NOLINTNEXTLINE(concurrency-mt-unsafe): read before any thread starts
    if (const char* shot = std::getenv("EPUB2PDF_SCREENSHOT")) {
        const char* scene = std::getenv("EPUB2PDF_SCREENSHOT_SCENE");  // NOLINT(concurrency-mt-unsafe)
        application.SetNotifier([](const std::string&, const std::string&) {});
        TakeScreenshot(application, QString::fromLocal8Bit(shot), QString::fromLocal8Bit(scene ? scene : ""));
    }
    return application.Run();
}
