// The command line's texts in the user's language: English as written here, Chinese under a Chinese
// locale (LANG, LC_MESSAGES or LC_ALL zh_*), through gettext and the catalogue installed beside the
// program (share/locale). The status words of the Chinese catalogue are the program's own Chinese ones.
#pragma once

#include <string>

namespace cli {

// Chooses the language from the environment; once, before any text is shown. A locale that is not
// installed still chooses its language; numbers are always read and written the C way.
void SetUpLanguage();
// The text in the user's language.
const char* T(const char* english);
// The folder of the installed catalogues.
std::string LocaleFolder();

}  // namespace cli
