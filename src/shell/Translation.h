// The window's texts in the user's language. The program's own texts are Chinese and stay so under a
// Chinese locale (LC_ALL, LC_MESSAGES or LANG zh_*), where Qt's own buttons are Chinese too; every other
// locale gets their English translation (resources/translations/epub2pdf_en.ts, compiled by lrelease and
// installed in share/epub2pdf/translations).
#pragma once

#include <QString>
#include <memory>
#include <string>

class QTranslator;

namespace shell {

// True under a Chinese locale.
bool ChineseLocale();
// The text (one of the program's Chinese texts) in the user's language, once translators are in place.
QString Tr(const char* chinese);
inline QString Tr(const std::string& chinese) {
    return Tr(chinese.c_str());
}
inline std::string TrStd(const char* chinese) {
    return Tr(chinese).toStdString();
}

// The translator of the user's language, installed on the application for the object's life.
class Translations {
  public:
    Translations();
    ~Translations();
    Translations(const Translations&) = delete;
    Translations& operator=(const Translations&) = delete;

  private:
    std::unique_ptr<QTranslator> translator_;  // null when none could be loaded
};

}  // namespace shell
