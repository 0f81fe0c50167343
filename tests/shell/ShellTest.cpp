// The desktop program under Qt's offscreen platform, its controls found by name.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QDropEvent>
#include <QFontInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocalSocket>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <regex>
#include <stdexcept>
#include <thread>

#include "browser/BrowserTestSupport.h"
#include "engine/ConversionWorker.h"
#include "frontend/States.h"
#include "settings/SettingsFile.h"
#include "shell/Application.h"
#include "shell/ConversionRow.h"
#include "shell/DownloadDialog.h"
#include "shell/ElidedLabel.h"
#include "shell/MainWindow.h"
#include "shell/RunProgress.h"
#include "shell/SettingsDialog.h"
#include "shell/SingleInstance.h"
#include "util/Folders.h"
#include "util/Format.h"
#include "util/IniFile.h"
#include "util/Paths.h"

namespace fs = std::filesystem;
using shell::MessageKind;
using testing_support::TempDir;

namespace {

struct Message {
    MessageKind kind;
    std::string text;
    bool operator==(const Message& o) const { return kind == o.kind && text == o.text; }
};

class ShellTest : public ::testing::Test {
  protected:
    inline static const std::string kNoBook = std::string("PK\x03\x04", 4) + "and nothing more";
    testing_support::ScratchDataHome home;
    TempDir config, out, books, runtime;

    void SetUp() override {
        // The program's own texts: a Chinese locale (whether or not it is installed).
        unsetenv("LC_ALL");
        unsetenv("LC_MESSAGES");
        setenv("LANG", "zh_CN.UTF-8", 1);
        setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
        // The single-instance socket of this test alone: tests running side by side, and the user's own
        // program, never see each other.
        setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
        util::IniFile(util::GetSettingsPath(), "app").SetString("output_folder", out.Path());
        // Books by their name and their first bytes (a ZIP archive's), that fail when converted.
        for (const char* name : {"a.epub", "b.EPUB", "c.epub", "d.epub", "notes.epub.txt"}) {
            testing_support::WriteFile(books / name, kNoBook);
        }
    }
    void TearDown() override {
        app.reset();
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("XDG_RUNTIME_DIR");
        unsetenv("LANG");
        EXPECT_TRUE(home.NoLeftovers());
        EXPECT_EQ(testing_support::UncleanPdfs(out.Path()), "");
    }

    shell::Application& Start(bool answerYes = false) {
        app = std::make_unique<shell::Application>();
        app->SetMessageSink([this, answerYes](MessageKind kind, const std::string& text) {
            messages.push_back({kind, text});
            return answerYes;
        });
        app->SetRevealer([this](const std::string& path) {
            revealed.push_back(path);
            return true;
        });
        app->SetOpener([this](const std::string& target) {
            opened.push_back(target);
            return true;
        });
        app->SetNotifier([this](const std::string& title, const std::string&) { notified.push_back(title); });
        // Another instance answering would leave no window: stop the test here instead of crashing.
        if (!app->Start())
            throw std::runtime_error("another instance answered");
        return *app;
    }
    template <typename T = QPushButton>
    T* Find(const char* name) const {
        return app->Window()->findChild<T*>(name);
    }
    void Click(const char* name) { QTest::mouseClick(Find(name), Qt::LeftButton); }
    bool WaitForMessage(const Message& m, int ms = 300000) {
        return QTest::qWaitFor(
            [&] { return std::find(messages.begin(), messages.end(), m) != messages.end(); }, ms);
    }
    // The end of a run: how it went, the counts of its books and the output folder; a warning when a
    // book failed.
    bool WaitForRunOver(int converted, int failed) {
        const std::string first = failed > 0 ? util::FormatString("转换结束，%d本失败", failed) : "转换完成";
        const Message over{failed > 0 ? MessageKind::Warning : MessageKind::Info,
                           util::FormatString("%s\n成功%d本，失败%d本\n输出文件夹：%s", first.c_str(),
                                              converted, failed, out.Path())};
        return WaitForMessage(over);
    }
    QString Book(const char* name) const { return QString::fromStdString(books / name); }

    std::unique_ptr<shell::Application> app;
    std::vector<Message> messages;
    std::vector<std::string> revealed;
    std::vector<std::string> opened;
    std::vector<std::string> notified;
};

TEST_F(ShellTest, NamedControlsAndTabs) {
    Start();
    for (const char* name :
         {"add_epub", "settings", "view_help", "about", "convert_list", "down_his", "retry_failed",
          "clear_finished", "output_choice", "stop_convert", "start_convert"})
        EXPECT_NE(Find(name), nullptr) << name;
    // Every control says what it is to a screen reader; the keyboard starts at the header.
    for (QWidget* control : app->Window()->findChildren<QWidget*>()) {
        if (control->focusPolicy() != Qt::NoFocus && control->isVisibleTo(app->Window()) &&
            !control->inherits("QScrollBar")) {
            EXPECT_FALSE(control->accessibleName().isEmpty()) << control->objectName().toStdString();
        }
    }
    EXPECT_EQ(app->Window()->focusWidget(), Find("add_epub"));
    // The window's buttons are its frame's alone; the contact entry led to no one.
    for (const char* name : {"contact_me", "minbtn", "maxbtn", "myrestorebtn", "closebtn"})
        EXPECT_EQ(Find(name), nullptr) << name;
    // Help opens the user's help page in the user's language, as it lies beside the program; F1 too.
    Click("view_help");
    app->Window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(app->Window()));
    QTest::keyClick(app->Window(), Qt::Key_F1);
    int asked = 0;
    app->SetFileDialog([&] {
        ++asked;
        return QStringList();
    });
    QTest::keyClick(app->Window(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(asked, 1);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].rfind("file:///", 0), 0u);
    EXPECT_NE(opened[0].find("/share/epub2pdf/help/index.zh.html"), std::string::npos) << opened[0];
    EXPECT_EQ(opened[1], opened[0]);
    EXPECT_TRUE(testing_support::ReadFile(QUrl(QString::fromStdString(opened[0])).toLocalFile().toStdString())
                    .find("<html") != std::string::npos);
    // The About box gives the version.
    Click("about");
    EXPECT_NE(messages.back().text.find("版本 "), std::string::npos) << messages.back().text;
    EXPECT_NE(Find<QLabel>("title"), nullptr);
    EXPECT_EQ(Find<QLabel>("title")->text().toStdString(), "EPUB转PDF转换器");
    auto* tabs = Find<QStackedWidget>("tab_main");
    ASSERT_NE(tabs, nullptr);
    ASSERT_NE(Find<QListWidget>("convert_list"), nullptr);
    Click("down_his");
    EXPECT_EQ(tabs->currentIndex(), 1);
    app->Window()->OnSelectChanged("convert_list");
    EXPECT_EQ(tabs->currentIndex(), 0);
}

TEST_F(ShellTest, IntakeRules) {
    Start();
    auto* list = Find<QListWidget>("convert_list");
    // The empty list invites books (a zone to drop them on); a list with books shows them.
    auto* pages = Find<QStackedWidget>("list_pages");
    EXPECT_EQ(pages->currentIndex(), 0);
    const std::string refusedText = "以下没有添加：\nnotes.epub.txt：不是epub文件";
    EXPECT_TRUE(app->AddFiles({Book("b.EPUB")}));
    EXPECT_FALSE(app->AddFiles({Book("notes.epub.txt")}));
    EXPECT_TRUE(
        app->AddFiles({Book("a.epub"), Book("notes.epub.txt")}));  // the book of a mixed batch goes in
    EXPECT_EQ(messages,
              (std::vector<Message>{{MessageKind::Error, refusedText}, {MessageKind::Error, refusedText}}));
    EXPECT_EQ(list->count(), 2);
    EXPECT_EQ(pages->currentWidget(), list);
    // Three picked in the dialog, two of them present already: one new row.
    app->SetFileDialog([this] { return QStringList{Book("a.epub"), Book("b.EPUB"), Book("c.epub")}; });
    Click("add_epub");
    EXPECT_EQ(list->count(), 3);
    EXPECT_EQ(messages.size(), 2u);  // duplicates are skipped silently
    EXPECT_EQ(app->Window()->Row(0)->findChild<shell::ElidedLabel*>("epub_name")->FullText().toStdString(),
              "b.EPUB");
    // Row indexes in the links match list positions.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(app->Window()->Row(i)->ViewPdf()->property("userData").toString().toInt(), i);
        EXPECT_EQ(app->Window()->GetRowKey(i), Book(i == 0 ? "b.EPUB" : i == 1 ? "a.epub" : "c.epub"));
    }
    // One drop is one batch: its book and the books of its folder (subfolders too) go in, and what is
    // refused is said once.
    fs::create_directories(books / "shelf/sub");
    fs::create_directories(books / "bare");
    testing_support::WriteFile(books / "shelf/e.epub", "x");
    testing_support::WriteFile(books / "shelf/sub/f.epub", "x");
    testing_support::WriteFile(books / "shelf/readme.txt", "not a book");
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(Book("d.epub")), QUrl::fromLocalFile(Book("notes.epub.txt")),
                  QUrl::fromLocalFile(QString::fromStdString(books / "shelf")),
                  QUrl::fromLocalFile(QString::fromStdString(books / "bare"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(app->Window(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(app->Window(), &drop);
    EXPECT_EQ(list->count(), 6);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages.back().text,
              "以下没有添加：\nnotes.epub.txt：不是epub文件\nbare：文件夹里没有epub文件");
    // As on the command line, a book named by itself is a ZIP archive, and a missing one is said so.
    testing_support::WriteFile(books / "fake.epub", "no archive");
    EXPECT_FALSE(app->AddFiles({Book("fake.epub"), Book("gone.epub")}));
    EXPECT_EQ(messages.back().text,
              "以下没有添加：\nfake.epub：不是epub文件（epub文件是ZIP压缩包）\ngone."
              "epub：文件不存在");
    EXPECT_EQ(list->count(), 6);
}

// A later start hands over a file the window refuses: the message (a message box runs an event loop of
// its own) comes once the hand-over's socket is done with, names the file with why, and the window
// lives on.
TEST_F(ShellTest, ASecondStartsRefusedFileLeavesTheWindowAlive) {
    Start();
    app->SetMessageSink([this](MessageKind kind, const std::string& text) {
        messages.push_back({kind, text});
        QEventLoop loop;  // as a message box's own loop, while the second start hangs up
        QTimer::singleShot(500, &loop, &QEventLoop::quit);
        loop.exec();
        return false;
    });
    ASSERT_TRUE(shell::SingleInstance::HandOver({"nonexistent.epub", Book("notes.epub.txt")}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.empty(); }, 10000));
    QTest::qWait(800);
    ASSERT_EQ(messages.size(), 1u);  // one hand-over, one batch
    EXPECT_EQ(messages[0].text, "以下没有添加：\nnonexistent.epub：文件不存在\nnotes.epub.txt：不是epub文件");
    EXPECT_TRUE(app->Window()->isVisible());
    EXPECT_TRUE(app->AddFiles({Book("a.epub")}));
}

TEST_F(ShellTest, RowTextsColoursAndIcons) {
    Start();
    app->AddFiles({Book("a.epub")});
    auto* window = app->Window();
    auto* row = window->Row(0);
    EXPECT_EQ(row->Status()->text().toStdString(), "准备转换");
    using engine::ItemState;
    struct Case {
        int percent;
        ItemState state;
        const char* icon;
        const char* shown;
        bool red;
    };
    const Case cases[] = {
        {0, ItemState::Converting, "converting1", "转换中", false},
        {1, ItemState::Converting, "converting2", "转换中 1%", false},
        {0, ItemState::Stopped, "downlist_ok", "已停止", false},
        {100, ItemState::Converted, "succeeded", "转换完成 100%", false},
        {40, ItemState::Failed, "failed", "转换失败 40%", true},
        {40, ItemState::Error, "failed", "转换出错 40%", false},
    };
    for (const Case& c : cases) {
        window->UpdateRow(Book("a.epub"), c.percent, c.state, c.icon);
        EXPECT_EQ(row->Status()->text().toStdString(), c.shown);
        EXPECT_EQ(row->Status()->styleSheet().contains("#ff0000"), c.red) << c.shown;
        EXPECT_EQ(row->Progress()->value(), c.percent);
        EXPECT_EQ(row->IconName().toStdString(), c.icon);
    }
    // No row: nothing happens. A.EPUB is another file than a.epub.
    window->UpdateRow(Book("unknown.epub"), 50, ItemState::Failed, "failed");
    window->UpdateRow(Book("A.EPUB"), 50, ItemState::Failed, "failed");
    EXPECT_EQ(row->Progress()->value(), 40);
}

TEST_F(ShellTest, ViewPdfBeforeTheBookIsDoneSelectsItsRow) {
    Start();
    app->AddFiles({Book("a.epub"), Book("c.epub")});
    auto* list = Find<QListWidget>("convert_list");
    list->setCurrentRow(0);
    // "查看pdf" shows only once the book converted; asked for all the same, it selects its row and says so.
    EXPECT_TRUE(app->Window()->Row(1)->ViewPdf()->isHidden());
    app->Window()->OnClick(app->Window()->Row(1)->ViewPdf());
    EXPECT_EQ(app->Window()->CurrentRow(), 1);
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_EQ(messages.back(), (Message{MessageKind::Error, "该epub还没有转换成pdf"}));
    QTest::mouseClick(app->Window()->Row(0)->ViewEpub(), Qt::LeftButton);
    EXPECT_EQ(revealed, std::vector<std::string>{books / "a.epub"});
}

TEST_F(ShellTest, ConvertsFromTheWindow) {
    Start();
    // Idle with nothing to convert: neither start nor stop can be asked for.
    EXPECT_FALSE(Find("start_convert")->isEnabled());
    EXPECT_FALSE(Find("stop_convert")->isEnabled());
    EXPECT_FALSE(Find("retry_failed")->isEnabled());
    fs::copy_file(EPUB2PDF_SAMPLE_BOOK, books / "sample.epub");
    app->AddFiles({Book("sample.epub")});
    EXPECT_TRUE(Find("start_convert")->isEnabled());
    // Another window is in front: the end of the run is said on the desktop too.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_FALSE(Find("stop_convert")->isEnabled());
    // The row shows the title and author its package gives, and its cover.
    auto* name = app->Window()->Row(0)->findChild<shell::ElidedLabel*>("epub_name");
    ASSERT_TRUE(QTest::qWaitFor([&] { return name->FullText() != "sample.epub"; }, 10000));
    EXPECT_FALSE(app->Window()->Row(0)->Title().isEmpty());
    EXPECT_EQ(name->FullText(), app->Window()->Row(0)->Title());
    Click("start_convert");
    // While converting, starting again cannot be asked for; stopping can. The window's title says how far
    // the run is.
    EXPECT_FALSE(Find("start_convert")->isEnabled());
    EXPECT_TRUE(Find("stop_convert")->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([&] { return app->Window()->windowTitle().contains("% — "); }, 60000))
        << app->Window()->windowTitle().toStdString();
    // A book added while a run goes waits in the list for the next start.
    EXPECT_TRUE(app->AddFiles({Book("a.epub")}));
    EXPECT_EQ(Find<QListWidget>("convert_list")->count(), 2);
    // The quit request asks while converting; "No" keeps the program.
    app->RequestQuit();
    EXPECT_EQ(messages.back(), (Message{MessageKind::Question, "正在转换中,是否退出?"}));
    EXPECT_TRUE(app->Window()->isVisible());

    ASSERT_TRUE(WaitForRunOver(1, 0)) << (messages.empty() ? "" : messages.back().text);
    EXPECT_TRUE(Find("start_convert")->isEnabled());
    EXPECT_FALSE(Find("stop_convert")->isEnabled());
    EXPECT_EQ(app->Window()->windowTitle().toStdString(), "EPUB转PDF转换器");
    EXPECT_EQ(notified, std::vector<std::string>{"转换完成"});  // the window is not in front offscreen
    auto* row = app->Window()->Row(0);
    EXPECT_EQ(row->Status()->text().toStdString(), "转换完成 100%");
    EXPECT_EQ(row->IconName().toStdString(), "succeeded");
    const int pages = testing_support::PdfSummary(out / "sample.pdf")["pages"].get<int>();
    EXPECT_EQ(
        row->findChild<QLabel*>("pdf_detail")->text().toStdString().rfind(std::to_string(pages) + "页 · ", 0),
        0u);
    // Its button and a double click open the PDF itself; "show" reveals it in its folder.
    QTest::mouseClick(row->ViewPdf(), Qt::LeftButton);
    QTest::mouseClick(row, Qt::LeftButton, {}, row->rect().center());
    QTest::mouseDClick(row, Qt::LeftButton, {}, row->rect().center());
    EXPECT_EQ(opened, (std::vector<std::string>{out / "sample.pdf", out / "sample.pdf"}));
    EXPECT_TRUE(revealed.empty());
    EXPECT_TRUE(fs::exists(out / "sample.pdf"));
    EXPECT_EQ(Find<QListWidget>("history_list")->count(), 1);
    EXPECT_EQ(app->Window()->Row(1)->Status()->text().toStdString(), "准备转换");  // not in that run

    // A broken book fails alone; its status tells why.
    testing_support::WriteFile(books / "broken.epub", kNoBook);
    messages.clear();
    app->AddFiles({Book("broken.epub")});
    Click("start_convert");
    // The summary counts this run's books, not the list's.
    ASSERT_TRUE(WaitForRunOver(0, 2)) << (messages.empty() ? "" : messages.back().text);
    EXPECT_EQ(app->Window()->Row(1)->Status()->text().toStdString(), "转换失败");  // the waiting one ran
    auto* broken = app->Window()->Row(2);
    EXPECT_EQ(broken->Status()->text().toStdString(), "转换失败");
    EXPECT_EQ(broken->IconName().toStdString(), "failed");
    EXPECT_TRUE(broken->Status()->toolTip().contains("ZIP"));
    EXPECT_FALSE(broken->Reason()->isHidden());  // why it failed shows in the row itself
    EXPECT_TRUE(broken->Reason()->text().contains("ZIP"));
    EXPECT_TRUE(app->Window()->Row(0)->Reason()->isHidden());
    EXPECT_EQ(row->Status()->text().toStdString(), "转换完成 100%");  // the converted one stays as it was
}

// The stop button ends the run at once: nothing half made stays, and a later start converts the book.
TEST_F(ShellTest, StopEndsTheRunAndALaterStartConverts) {
    Start();
    fs::copy_file(EPUB2PDF_SAMPLE_BOOK, books / "sample.epub");
    app->AddFiles({Book("sample.epub")});
    Click("start_convert");
    ASSERT_TRUE(Find("stop_convert")->isEnabled());
    Click("stop_convert");
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().text.rfind("已停止转换\n成功0本，失败0本，停止1本\n", 0), 0u)
        << messages.back().text;
    EXPECT_TRUE(Find("start_convert")->isEnabled());
    EXPECT_FALSE(Find("stop_convert")->isEnabled());
    EXPECT_FALSE(fs::exists(out / "sample.pdf"));
    // A stop is not the book's failure: it waits, and the run does not say it completed after all.
    QTest::qWait(300);
    EXPECT_EQ(messages.back().text.rfind("已停止转换", 0), 0u) << messages.back().text;
    auto* row = app->Window()->Row(0);
    EXPECT_EQ(row->Status()->text().toStdString(), "已停止");
    EXPECT_EQ(row->IconName().toStdString(), "downlist_ok");
    EXPECT_TRUE(row->Reason()->isHidden());
    Click("start_convert");
    ASSERT_TRUE(WaitForRunOver(1, 0)) << (messages.empty() ? "" : messages.back().text);
    EXPECT_TRUE(fs::exists(out / "sample.pdf"));
}

// A row's buttons: cancel while its book converts (the book waits for the next start), remove when it
// does not, each in a place of its own; "清除已完成" takes the converted books off the list.
TEST_F(ShellTest, RowsCancelRemoveAndClear) {
    TempDir made;
    ASSERT_EQ(testing_support::MakeTestBooks(made.Path()).exitCode, 0);
    fs::copy_file(made / "books/hang-loop.epub", books / "hang.epub");
    fs::copy_file(EPUB2PDF_SAMPLE_BOOK, books / "sample.epub");
    Start();
    auto* list = Find<QListWidget>("convert_list");
    app->AddFiles({Book("a.epub"), Book("hang.epub"), Book("sample.epub")});
    // Removing an idle row moves the rows after it up, their buttons with them.
    EXPECT_TRUE(app->Window()->Row(0)->Cancel()->isHidden());
    QTest::mouseClick(app->Window()->Row(0)->Remove(), Qt::LeftButton);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(app->Window()->GetRowKey(0), Book("hang.epub"));
    EXPECT_EQ(app->Window()->Row(1)->Remove()->property("userData").toString(), "1");
    // The hanging book is cancelled while it converts; the other converts. A second click where cancel
    // was reaches no remove button.
    Click("start_convert");
    auto* hang = app->Window()->Row(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !hang->Cancel()->isHidden(); }, 60000));
    EXPECT_FALSE(hang->Remove()->isEnabled());
    EXPECT_FALSE(hang->Cancel()->geometry().intersects(hang->Remove()->geometry()));
    QTest::mouseClick(hang->Cancel(), Qt::LeftButton);
    const Message over{MessageKind::Info,
                       "转换结束，1本已取消\n成功1本，失败0本，取消1本\n输出文件夹：" + out.Path()};
    ASSERT_TRUE(WaitForMessage(over)) << (messages.empty() ? "" : messages.back().text);
    EXPECT_EQ(hang->Status()->text().toStdString(), "已取消");
    EXPECT_TRUE(hang->Cancel()->isHidden());
    EXPECT_TRUE(hang->Remove()->isEnabled());
    EXPECT_TRUE(hang->ViewPdf()->isHidden());
    EXPECT_FALSE(app->Window()->Row(1)->ViewPdf()->isHidden());
    // Clearing the finished takes the converted book off; the cancelled one stays. Delete removes the
    // current row.
    Click("clear_finished");
    ASSERT_EQ(list->count(), 1);
    EXPECT_EQ(app->Window()->GetRowKey(0), Book("hang.epub"));
    EXPECT_TRUE(fs::exists(out / "sample.pdf"));
    list->setCurrentRow(0);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(list->count(), 0);
    EXPECT_TRUE(fs::exists(books / "hang.epub"));
}

// Chinese under a Chinese locale, Qt's own buttons included; English under any other, the statuses and
// messages included. Every text of the window has its English.
TEST_F(ShellTest, TheUsersLanguage) {
    Start();
    EXPECT_EQ(Find("add_epub")->text().toStdString(), "添加EPUB…");
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes").toStdString(), "是(&Y)");
    app.reset();

    setenv("LANG", "C.UTF-8", 1);
    Start();
    EXPECT_EQ(app->Window()->windowTitle().toStdString(), "EPUB to PDF Converter");
    EXPECT_EQ(Find("add_epub")->text().toStdString(), "Add EPUB…");
    EXPECT_EQ(Find("start_convert")->text().toStdString(), "Start");
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes").toStdString(), "&Yes");
    app->AddFiles({Book("a.epub"), Book("notes.epub.txt")});
    EXPECT_EQ(messages.back().text, "These were not added:\nnotes.epub.txt: not an EPUB file");
    EXPECT_EQ(app->Window()->Row(0)->Status()->text().toStdString(), "Waiting");
    EXPECT_EQ(app->Window()->Row(0)->Remove()->text().toStdString(), "Remove");
    // No Chinese is left anywhere in the window, its menus or its settings: the texts kept in tables
    // (page number positions, margins' sides) included.
    shell::SettingsDialog dialog(util::GetSettingsPath(), app->Window());
    auto chinese = [](const QString& text) {
        return std::any_of(text.begin(), text.end(), [](QChar c) {
            return (c.unicode() >= 0x3000 && c.unicode() <= 0x9fff) ||
                   (c.unicode() >= 0xff00 && c.unicode() <= 0xffef);
        });
    };
    int shown = 0;
    for (QWidget* top : {static_cast<QWidget*>(app->Window()), static_cast<QWidget*>(&dialog)}) {
        QList<QWidget*> widgets = top->findChildren<QWidget*>();
        widgets.push_back(top);
        for (QWidget* widget : widgets) {
            QStringList texts{widget->windowTitle(), widget->toolTip(), widget->accessibleName()};
            if (auto* label = qobject_cast<QLabel*>(widget))
                texts << label->text();
            if (auto* button = qobject_cast<QAbstractButton*>(widget))
                texts << button->text();
            if (auto* group = qobject_cast<QGroupBox*>(widget))
                texts << group->title();
            if (auto* edit = qobject_cast<QLineEdit*>(widget))
                texts << edit->placeholderText();
            if (auto* spin = qobject_cast<QAbstractSpinBox*>(widget))
                texts << spin->specialValueText() << spin->text();
            if (auto* combo = qobject_cast<QComboBox*>(widget)) {
                for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
            }
            if (auto* menu = qobject_cast<QMenu*>(widget)) {
                for (QAction* action : menu->actions()) texts << action->text();
            }
            for (const QString& text : texts) {
                shown += text.isEmpty() ? 0 : 1;
                EXPECT_FALSE(chinese(text))
                    << widget->objectName().toStdString() << ": " << text.toStdString();
            }
        }
    }
    EXPECT_GT(shown, 100);

    // Each Tr("...") text of the window's sources is in the English translations.
    const std::string ts =
        testing_support::ReadFile(testing_support::SourceDir() + "/resources/translations/epub2pdf_en.ts");
    const std::regex call(R"re(Tr(?:Std)?\("((?:[^"\\]|\\.)*)"\))re");
    int texts = 0;
    for (const auto& source : fs::directory_iterator(testing_support::SourceDir() + "/src/shell")) {
        const std::string text = testing_support::ReadFile(source.path().string());
        for (std::sregex_iterator it(text.begin(), text.end(), call), end; it != end; ++it, ++texts)
            EXPECT_NE(ts.find("<source>" + (*it)[1].str() + "</source>"), std::string::npos)
                << (*it)[1].str();
    }
    EXPECT_GT(texts, 20);
    for (const frontend::StateNames& names : frontend::kStateNames)
        EXPECT_NE(ts.find(std::string("<source>") + names.text + "</source>"), std::string::npos)
            << names.text;
}

// The settings dialog stores what the command line reads too; a value that cannot be read is refused by
// name and nothing is stored. Without an output folder the PDFs go next to their books.
TEST_F(ShellTest, SettingsDialogStoresEveryValueOrNone) {
    Start();
    EXPECT_NE(Find("settings"), nullptr);
    const std::string path = util::GetSettingsPath();
    shell::SettingsDialog dialog(path);
    dialog.findChild<QLineEdit*>("output_folder")->setText("");
    dialog.findChild<QComboBox*>("paper")->setCurrentText("A4");
    dialog.findChild<QCheckBox*>("page_numbers")->setChecked(true);
    dialog.findChild<QComboBox*>("number_position")
        ->setCurrentIndex(dialog.findChild<QComboBox*>("number_position")->findData("outside"));
    dialog.findChild<QSpinBox*>("jobs")->setValue(3);
    dialog.findChild<QCheckBox*>("plain_first_page")->setChecked(false);
    auto margin = [&](const char* side) { return dialog.findChild<QDoubleSpinBox*>(side); };
    for (const char* side : {"margin_top", "margin_right", "margin_bottom", "margin_left"})
        margin(side)->setValue(20);
    // What the command line would refuse is refused by name, and nothing is stored: margins that leave
    // no room, a browser that is no executable (it is never passed over for another one).
    margin("margin_left")->setValue(120);
    margin("margin_right")->setValue(120);
    std::string refused = dialog.Save();
    EXPECT_EQ(refused.rfind("页边距: ", 0), 0u) << refused;
    margin("margin_left")->setValue(20);
    margin("margin_right")->setValue(20);
    testing_support::WriteFile(books / "chromium.txt", "not a program");
    dialog.findChild<QLineEdit*>("browser_path")->setText(QString::fromStdString(books / "chromium.txt"));
    refused = dialog.Save();
    EXPECT_EQ(refused, "浏览器: " + (books / "chromium.txt") + " is not an executable browser");
    EXPECT_EQ(util::IniFile(path, "page").GetString("paper"), "");  // nothing stored
    dialog.findChild<QLineEdit*>("browser_path")->setText("");
    EXPECT_EQ(dialog.Save(), "");
    const engine::EngineSettings read = settings::ReadEngineSettings(path);
    EXPECT_EQ(read.problem, "");
    EXPECT_NEAR(read.page.width, 210 / 25.4, 1e-9);
    EXPECT_NEAR(read.page.marginTop, 20 / 25.4, 1e-9);
    EXPECT_TRUE(read.page.pageNumbers);
    EXPECT_EQ(read.page.numberPosition, engine::NumberPosition::Outside);
    EXPECT_TRUE(read.page.numberFirstPage);
    EXPECT_EQ(read.jobs, 3);
    EXPECT_EQ(util::IniFile(path, "app").GetString("output_folder"), "");
    EXPECT_EQ(util::IniFile(path, "page").GetString("margins"), "20mm");
    // A box shows whether it is checked.
    auto* header = dialog.findChild<QCheckBox*>("header");
    header->setChecked(false);
    const QImage off = header->grab().toImage();
    header->setChecked(true);
    EXPECT_NE(header->grab().toImage(), off);
    // The hint of the output folder shows whole.
    auto* output = dialog.findChild<QLineEdit*>("output_folder");
    dialog.show();
    EXPECT_GE(output->contentsRect().width(),
              output->fontMetrics().horizontalAdvance(output->placeholderText()));
    // No field is squeezed below the height its text needs.
    for (QAbstractSpinBox* field : dialog.findChildren<QAbstractSpinBox*>())
        EXPECT_GE(field->height(), field->sizeHint().height()) << field->objectName().toStdString();
    dialog.hide();
    // A dialog opened again shows what was stored.
    shell::SettingsDialog again(path);
    EXPECT_EQ(again.findChild<QComboBox*>("paper")->currentText().toStdString(), "A4");
    EXPECT_EQ(again.findChild<QDoubleSpinBox*>("margin_left")->value(), 20);
    EXPECT_FALSE(again.findChild<QCheckBox*>("plain_first_page")->isChecked());
    EXPECT_TRUE(again.findChild<QCheckBox*>("page_numbers")->isChecked());
    EXPECT_FALSE(again.findChild<QCheckBox*>("landscape")->isChecked());
    EXPECT_EQ(again.findChild<QSpinBox*>("jobs")->value(), 3);

    // Next to the book, now that no folder is set.
    app->ApplySettings();
    fs::copy_file(EPUB2PDF_SAMPLE_BOOK, books / "sample.epub");
    app->AddFiles({Book("sample.epub")});
    Click("start_convert");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !messages.empty() && messages.back().text.rfind("转换完成", 0) == 0; }, 300000));
    EXPECT_NE(messages.back().text.find("输出文件夹：与每本书相同的文件夹"), std::string::npos)
        << messages.back().text;
    EXPECT_TRUE(fs::exists(books / "sample.pdf"));
    EXPECT_GT(testing_support::PdfSummary(books / "sample.pdf")["pages"].get<int>(), 1);
}

// An output folder set for the next run is made for it: its books do not fail for want of it.
TEST_F(ShellTest, ANewOutputFolderIsMadeForTheNextRun) {
    Start();
    shell::SettingsDialog dialog(util::GetSettingsPath());
    dialog.findChild<QLineEdit*>("output_folder")->setText(QString::fromStdString(out / "new/pdfs"));
    ASSERT_EQ(dialog.Save(), "");
    app->ApplySettings();
    app->AddFiles({Book("a.epub")});  // no book inside: it fails, on its own account
    Click("start_convert");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !messages.empty() && messages.back().text.rfind("转换结束，1本失败", 0) == 0; }, 60000));
    EXPECT_NE(messages.back().text.find(out / "new/pdfs"), std::string::npos) << messages.back().text;
    const QString reason = app->Window()->Row(0)->Reason()->text();
    EXPECT_TRUE(reason.contains("ZIP")) << reason.toStdString();
    EXPECT_TRUE(fs::is_directory(out / "new/pdfs"));
}

TEST_F(ShellTest, WindowSizeAndZoomAreRemembered) {
    Start();
    auto* window = app->Window();
    // First start: no size saved yet; never larger than the screen (the test screen may be small).
    const QRect screen = QApplication::primaryScreen()->availableGeometry();
    auto fitted = [&](int w, int h) {
        return QSize(std::min(w, screen.width()), std::min(h, screen.height()));
    };
    EXPECT_EQ(window->size(), fitted(960, 600));
    // A resize writes the settings file once, both keys at a time. Each write renames a file of its own
    // onto it (the other half of each rename keeps inotify from folding two writes into one event).
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, util::GetFolderOf(util::GetSettingsPath()).c_str(),
                                IN_MOVED_FROM | IN_MOVED_TO),
              0);
    window->resize(900, 560);
    QTest::qWait(50);
    int writes = 0;
    alignas(inotify_event) char events[4096];
    for (ssize_t n; (n = read(watch, events, sizeof events)) > 0;) {
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            writes += (event->mask & IN_MOVED_TO) != 0 && std::string(event->name) == "epub2pdf.ini" ? 1 : 0;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    close(watch);
    EXPECT_EQ(writes, 1);
    util::IniFile ini(util::GetSettingsPath(), "app");
    EXPECT_EQ(ini.GetInt("width", -1), 900);
    EXPECT_EQ(ini.GetInt("height", -1), 560);
    window->showMaximized();
    QTest::qWait(50);
    EXPECT_EQ(ini.GetInt("width", -1), 900);  // a maximised window does not overwrite the size
    window->showNormal();
    QTest::qWait(50);
    // On a screen smaller than the window it fits, and its corner stays on the screen.
    window->PlaceOn(QRect(0, 0, 853, 533));  // 1280x800 at a scale factor of 1.5
    EXPECT_LE(window->width(), 853);
    EXPECT_LE(window->height(), 533);
    EXPECT_GE(window->frameGeometry().left(), 0);
    EXPECT_GE(window->frameGeometry().top(), 0);
    window->resize(900, 560);
    QTest::qWait(50);

    // Zoom scales the text with the rows: the names, and the title sized by the style sheet.
    app->AddFiles({Book("a.epub")});
    auto* name = window->Row(0)->findChild<QLabel*>("epub_name");
    const int nameBefore = QFontInfo(name->font()).pixelSize();
    const int titleBefore = QFontInfo(Find<QLabel>("title")->font()).pixelSize();
    for (int i = 0; i < 5; ++i) QTest::keyClick(window, '+');
    EXPECT_EQ(window->Zoom()->Dpi(), 192);
    EXPECT_GE(QFontInfo(name->font()).pixelSize(), nameBefore * 2 - 2) << nameBefore;
    EXPECT_GE(QFontInfo(Find<QLabel>("title")->font()).pixelSize(), titleBefore * 2 - 2) << titleBefore;
    EXPECT_EQ(ini.GetInt("zoom", -1), 4);
    QTest::keyClick(window, '-');
    EXPECT_EQ(window->Zoom()->Dpi(), 168);
    QTest::keyClick(window, Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(window->Zoom()->Dpi(), 96);
    app.reset();

    for (const auto& [stored, dpi] : std::vector<std::pair<int, int>>{{9, 192}, {-3, 96}, {2, 144}}) {
        ini.SetInt("zoom", stored);
        Start();
        EXPECT_EQ(app->Window()->Zoom()->Dpi(), dpi) << stored;
        if (dpi == 96) {
            EXPECT_EQ(app->Window()->size(), fitted(900, 560));  // larger steps may need more room
        }
        app.reset();
    }
}

TEST_F(ShellTest, QuittingWhileConvertingAsksAndYesQuits) {
    Start(true);
    // A book whose second chapter never finishes loading: quitting must not wait for it.
    TempDir made;
    ASSERT_EQ(testing_support::MakeTestBooks(made.Path()).exitCode, 0);
    fs::copy_file(made / "books/hang-loop.epub", books / "hang.epub");
    app->AddFiles({Book("hang.epub")});
    Click("start_convert");
    ASSERT_TRUE(app->Worker()->IsBusy());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !home.Leftovers().empty(); }, 60000));  // its browser runs
    QTest::qWait(2000);
    app->Window()->close();  // the frame's close button
    EXPECT_EQ(messages.back(), (Message{MessageKind::Question, "正在转换中,是否退出?"}));
    EXPECT_TRUE(app->Window()->close());  // the quit went through: the window may close now
    const auto start = std::chrono::steady_clock::now();
    app.reset();  // stops the conversion and its browser
    EXPECT_TRUE(home.NoLeftovers(3000));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 3.0);
    EXPECT_TRUE(fs::is_empty(out.Path()));
}

TEST_F(ShellTest, ViewCommandsFindBooksWithNonAsciiNames) {
    Start();
    testing_support::WriteFile(books / "Книга.epub", kNoBook);
    ASSERT_TRUE(app->AddFiles({Book("Книга.epub")}));
    QTest::mouseClick(app->Window()->Row(0)->ViewEpub(), Qt::LeftButton);
    EXPECT_EQ(revealed, std::vector<std::string>{books / "Книга.epub"});
    // Once converted, its PDF is found too.
    auto item = app->Worker()->Items().at(0);
    item->SetPdfPath(out / "Книга.pdf");
    item->SetState(engine::ItemState::Converted);
    QTest::mouseClick(app->Window()->Row(0)->ViewPdf(), Qt::LeftButton);
    EXPECT_EQ(opened, std::vector<std::string>{out / "Книга.pdf"});
    EXPECT_TRUE(messages.empty());
}

TEST_F(ShellTest, BrowserDownloadShowsAModalProgressDialog) {
    Start();
    shell::DownloadDialog dialog(app.get(), app->Window());
    std::thread download([&] {
        dialog.Begin("正在下载浏览器组件");
        dialog.Progress(40);
    });
    download.join();
    QProgressDialog* shown = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            shown = app->Window()->findChild<QProgressDialog*>();
            return shown != nullptr && shown->value() == 40;
        },
        5000));
    EXPECT_EQ(shown->labelText().toStdString(), "正在下载浏览器组件");
    EXPECT_TRUE(shown->isModal());
    QPushButton* cancel = shown->findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_FALSE(dialog.Progress(50));  // cancelling stops the download
    dialog.End();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return app->Window()->findChild<QProgressDialog*>() == nullptr; }, 5000));
}

// Closing the window during a run asks whether to quit; when the run ends meanwhile, the question goes
// and the summary (a warning: a book failed) is what stays.
TEST_F(ShellTest, AQuestionToQuitGoesWhenTheRunEnds) {
    // A book that prints keeps the run going while the window is closed; the broken one fails at once.
    fs::copy_file(EPUB2PDF_SAMPLE_BOOK, books / "sample.epub");
    Start();
    app->SetMessageSink(nullptr);  // the program's own message boxes
    app->AddFiles({Book("sample.epub"), Book("a.epub")});
    Click("start_convert");
    ASSERT_TRUE(app->Worker()->IsBusy());
    app->Window()->close();
    auto* question = app->Window()->findChild<QMessageBox*>("quit_question");
    ASSERT_NE(question, nullptr);
    EXPECT_TRUE(question->isVisible());
    QPointer<QMessageBox> asked = question;
    QMessageBox* summary = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (summary = app->Window()->findChild<QMessageBox*>("run_summary")) != nullptr; }, 60000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return asked.isNull() || !asked->isVisible(); }, 5000));
    EXPECT_EQ(summary->icon(), QMessageBox::Warning);
    EXPECT_EQ(summary->text().toStdString().rfind("转换结束，1本失败\n", 0), 0u)
        << summary->text().toStdString();
    EXPECT_TRUE(app->Window()->isVisible());
    summary->close();
}

// "重试失败的" runs the failed books alone; the converted books are kept on the finished page across
// restarts, and taken off it without their file.
TEST_F(ShellTest, RetryFailedAndTheFinishedPageAcrossRestarts) {
    fs::copy_file(EPUB2PDF_SAMPLE_BOOK, books / "sample.epub");
    Start();
    app->AddFiles({Book("sample.epub"), Book("a.epub")});
    Click("start_convert");
    ASSERT_TRUE(WaitForRunOver(1, 1)) << (messages.empty() ? "" : messages.back().text);
    EXPECT_TRUE(Find("retry_failed")->isEnabled());
    fs::remove(out / "sample.pdf");  // the retry must not make it again
    fs::copy_file(EPUB2PDF_SAMPLE_BOOK, books / "a.epub", fs::copy_options::overwrite_existing);
    Click("retry_failed");
    ASSERT_TRUE(WaitForRunOver(1, 0)) << (messages.empty() ? "" : messages.back().text);
    EXPECT_TRUE(fs::exists(out / "a.pdf"));
    EXPECT_FALSE(fs::exists(out / "sample.pdf"));
    EXPECT_FALSE(Find("retry_failed")->isEnabled());
    app.reset();

    Start();
    auto* finished = Find<QListWidget>("history_list");
    ASSERT_EQ(finished->count(), 2);
    EXPECT_EQ(Find("down_his")->text().toStdString(), "已完成（2）");
    QWidget* first = finished->itemWidget(finished->item(0));  // the newest
    EXPECT_EQ(first->findChild<shell::ElidedLabel*>("finished_detail")->toolTip().toStdString(),
              out / "a.pdf");
    QTest::mouseClick(first->findChild<QPushButton*>("open_finished"), Qt::LeftButton);
    EXPECT_EQ(opened, std::vector<std::string>{out / "a.pdf"});
    QTest::mouseClick(first->findChild<QPushButton*>("remove_finished"), Qt::LeftButton);
    EXPECT_EQ(finished->count(), 1);
    EXPECT_TRUE(fs::exists(out / "a.pdf"));
    app.reset();
    Start();
    EXPECT_EQ(Find<QListWidget>("history_list")->count(), 1);
}

// The output folder is chosen next to Start, and stored for the next runs and the books that wait.
TEST_F(ShellTest, TheOutputFolderNextToStart) {
    Start();
    app->AddFiles({Book("a.epub")});
    app->SetFolderDialog([this] { return QString::fromStdString(books / "chosen"); });
    auto* menu = Find<QMenu>("output_menu");
    ASSERT_NE(menu, nullptr);
    menu->actions().back()->trigger();  // "选择文件夹…"
    EXPECT_EQ(util::IniFile(util::GetSettingsPath(), "app").GetString("output_folder"), books / "chosen");
    EXPECT_EQ(app->Worker()->Items().at(0)->PdfPath(), books / "chosen/a.pdf");
    EXPECT_TRUE(Find("output_choice")->toolTip().contains(QString::fromStdString(books / "chosen")));
    menu->actions().front()->trigger();  // next to each book
    EXPECT_EQ(util::IniFile(util::GetSettingsPath(), "app").GetString("output_folder"), "");
    EXPECT_EQ(app->Worker()->Items().at(0)->PdfPath(), books / "a.pdf");
}

// The rows line up whatever their names; a long name ends in an ellipsis and shows whole as tool tip.
// Zoom grows the rows' icons and bars and never cuts a tab's label; zooming back gives the rows their
// height again.
TEST_F(ShellTest, RowsLineUpAndFollowTheZoom) {
    Start();
    const std::string longName = std::string(120, 'x') + ".epub";
    testing_support::WriteFile(books / longName, kNoBook);
    app->AddFiles({Book("a.epub"), Book(longName.c_str())});
    auto* window = app->Window();
    window->resize(800, 500);
    QTest::qWait(50);
    shell::ConversionRow* rows[] = {window->Row(0), window->Row(1)};
    auto x = [](QWidget* w) { return w->mapTo(w->window(), QPoint(0, 0)).x(); };
    EXPECT_EQ(x(rows[0]->Status()), x(rows[1]->Status()));
    EXPECT_EQ(x(rows[0]->Remove()), x(rows[1]->Remove()));
    auto* name = rows[1]->findChild<shell::ElidedLabel*>("epub_name");
    EXPECT_TRUE(name->text().endsWith(QChar(0x2026))) << name->text().toStdString();
    EXPECT_EQ(name->toolTip().toStdString(), longName);
    EXPECT_EQ(rows[0]->findChild<shell::ElidedLabel*>("epub_name")->text().toStdString(), "a.epub");

    const int height = rows[0]->height(), icon = rows[0]->Icon()->iconSize().height();
    const int bar = rows[0]->Progress()->height();
    for (int i = 0; i < 5; ++i) QTest::keyClick(window, '+');
    QTest::qWait(50);
    EXPECT_GE(rows[0]->Icon()->iconSize().height(), icon * 2 - 1);
    EXPECT_GE(rows[0]->Progress()->height(), bar * 2 - 1);
    EXPECT_GT(rows[0]->height(), height);
    for (const char* tab : {"convert_list", "down_his"}) {
        QPushButton* button = Find(tab);
        QFont bold = button->font();
        bold.setBold(true);
        EXPECT_GE(button->width(), QFontMetrics(bold).horizontalAdvance(button->text())) << tab;
    }
    QTest::keyClick(window, Qt::Key_0, Qt::ControlModifier);
    QTest::qWait(50);
    EXPECT_EQ(rows[0]->height(), height);
    EXPECT_EQ(rows[0]->Icon()->iconSize().height(), icon);
}

// When nothing can open a file, the window says why (not standard error alone).
TEST_F(ShellTest, WhenNothingOpensAFileTheWindowSaysSo) {
    TempDir bin;
    testing_support::WriteFile(
        bin / "xdg-open", "#!/bin/sh\necho \"xdg-open: no method available for opening '$1'\" >&2\nexit 3\n");
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    const std::string path = getenv("PATH");
    setenv("PATH", (bin.Path() + ":" + path).c_str(), 1);
    Start();
    app->SetOpener(nullptr);
    Click("view_help");
    const bool said = QTest::qWaitFor([&] { return !messages.empty(); }, 10000);
    setenv("PATH", path.c_str(), 1);
    ASSERT_TRUE(said);
    EXPECT_EQ(messages.back().kind, MessageKind::Error);
    EXPECT_EQ(messages.back().text.rfind("无法打开file:///", 0), 0u) << messages.back().text;
    EXPECT_NE(messages.back().text.find("no method available"), std::string::npos) << messages.back().text;
}

// The run as a whole: how far its books came together, and a time left only once the pace is known.
TEST(RunProgressTest, PercentAndTimeLeft) {
    using Clock = shell::RunProgress::Clock;
    const Clock::time_point start{};
    shell::RunProgress progress;
    progress.Begin(4, start);
    progress.Update(100, start + std::chrono::seconds(1));  // too early to tell
    EXPECT_EQ(progress.Percent(), 25);
    EXPECT_EQ(progress.SecondsLeft(), -1);
    progress.Update(200, start + std::chrono::seconds(60));  // half the way in a minute
    EXPECT_EQ(progress.Percent(), 50);
    EXPECT_EQ(progress.SecondsLeft(), 60);
    progress.Update(400, start + std::chrono::seconds(70));
    EXPECT_EQ(progress.SecondsLeft(), 0);
    progress.Update(900, start + std::chrono::seconds(80));  // never past the end
    EXPECT_EQ(progress.Percent(), 100);
    EXPECT_EQ(shell::RemainingText(-1).toStdString(), "");
    EXPECT_EQ(shell::RemainingText(59).toStdString(), "剩余不到1分钟");
    EXPECT_EQ(shell::RemainingText(61).toStdString(), "剩余约2分钟");
}

// Starts the desktop program as a process of its own and waits until it answers on its instance socket.
bool StartProgram(QProcess& program) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(env);
    program.start(EPUB2PDF_GUI, {});
    if (!program.waitForStarted())
        return false;
    const QString name = shell::Application::InstanceName();
    return QTest::qWaitFor(
        [&] {
            QLocalSocket probe;
            probe.connectToServer(name);
            return probe.waitForConnected(100);
        },
        30000);
}

TEST_F(ShellTest, SecondStartHandsOverAndExits) {
    QProcess first;
    ASSERT_TRUE(StartProgram(first));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess second;
    second.setProcessEnvironment(env);
    second.start(EPUB2PDF_GUI, {});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    first.terminate();
    first.waitForFinished(10000);
}

TEST_F(ShellTest, AnInstanceOfAnotherSessionIsNotThisOne) {
    // The user's program runs in a session (runtime folder) of its own.
    TempDir userRuntime;
    setenv("XDG_RUNTIME_DIR", userRuntime.Path().c_str(), 1);
    QProcess user;
    ASSERT_TRUE(StartProgram(user));
    setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    EXPECT_NE(shell::Application::InstanceName(), QString());
    Start();  // starts, with a window of its own, instead of handing over to the user's program
    EXPECT_NE(app->Window(), nullptr);
    app.reset();
    user.terminate();
    EXPECT_TRUE(user.waitForFinished(10000));
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication qt(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
