#include "shell/Translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdlib>

#include "util/Utilities.h"

namespace shell {

bool ChineseLocale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe): the program never sets it
        if (value != nullptr && *value != '\0')
            return std::string(value).rfind("zh", 0) == 0;
    }
    return false;
}

QString Tr(const char* chinese) {
    return QCoreApplication::translate("epub2pdf", chinese);
}

Translations::Translations() {
    std::vector<std::pair<QString, QString>> wanted;  // file, folder
    if (ChineseLocale()) {
        // Qt's own buttons and dialogs in Chinese; the program's texts are Chinese already.
        const bool traditional = [] {
            for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
                const char* v = std::getenv(name);  // NOLINT(concurrency-mt-unsafe): never set here
                if (v != nullptr && *v != '\0')
                    return std::string(v).rfind("zh_TW", 0) == 0 || std::string(v).rfind("zh_HK", 0) == 0;
            }
            return false;
        }();
        wanted.emplace_back(traditional ? "qtbase_zh_TW" : "qtbase_zh_CN",
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    } else {
        wanted.emplace_back("epub2pdf_en", QString::fromStdString(util::ToFullPath(
                                               util::GetModuleFolder() + "/../share/epub2pdf/translations")));
    }
    for (const auto& [file, folder] : wanted) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(file, folder) && QCoreApplication::installTranslator(translator.get()))
            installed_.push_back(std::move(translator));
    }
}

Translations::~Translations() {
    for (const auto& translator : installed_) QCoreApplication::removeTranslator(translator.get());
}

}  // namespace shell
