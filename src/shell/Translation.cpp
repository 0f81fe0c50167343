#include "shell/Translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "util/Folders.h"
#include "util/Paths.h"
#include "util/Text.h"

namespace shell {

bool ChineseLocale() {
    return util::MessagesLocale().rfind("zh", 0) == 0;
}

QString Tr(const char* chinese) {
    return QCoreApplication::translate("epub2pdf", chinese);
}

Translations::Translations() {
    QString file, folder;
    if (ChineseLocale()) {
        // Qt's own buttons and dialogs in Chinese; the program's texts are Chinese already.
        const std::string locale = util::MessagesLocale();
        const bool traditional = locale.rfind("zh_TW", 0) == 0 || locale.rfind("zh_HK", 0) == 0;
        file = traditional ? "qtbase_zh_TW" : "qtbase_zh_CN";
        folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    } else {
        file = "epub2pdf_en";
        folder = QString::fromStdString(
            util::ToFullPath(util::GetModuleFolder() + "/../share/epub2pdf/translations"));
    }
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(file, folder) && QCoreApplication::installTranslator(translator.get()))
        translator_ = std::move(translator);
}

Translations::~Translations() {
    if (translator_)
        QCoreApplication::removeTranslator(translator_.get());
}

}  // namespace shell
