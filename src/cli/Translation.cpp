#include "cli/Translation.h"

#include <libintl.h>

#include <clocale>
#include <cstdlib>

#include "util/Folders.h"
#include "util/Paths.h"
#include "util/Text.h"

namespace cli {
namespace {

constexpr const char* kDomain = "epub2pdf";

}  // namespace

std::string LocaleFolder() {
    return util::ToFullPath(util::GetModuleFolder() + "/../share/locale");
}

// Runs before the program starts any thread: the locale and the environment are its alone.
// NOLINTBEGIN(concurrency-mt-unsafe)
void SetUpLanguage() {
    if (std::setlocale(LC_ALL, "") == nullptr) {
        // The locale asked for is not installed here: UTF-8 all the same, and its language for the texts
        // (gettext reads LANGUAGE under C.UTF-8).
        std::setlocale(LC_ALL, "C.UTF-8");
        const std::string wanted = util::MessagesLocale();
        if (!wanted.empty() && std::getenv("LANGUAGE") == nullptr && wanted != "C" && wanted != "POSIX") {
            const std::string language = wanted.substr(0, wanted.find_first_of(".@"));
            ::setenv("LANGUAGE", language.c_str(), 1);
        }
    }
    std::setlocale(LC_NUMERIC, "C");  // 1.1 is 1.1 in every language
    ::bindtextdomain(kDomain, LocaleFolder().c_str());
    ::bind_textdomain_codeset(kDomain, "UTF-8");
}
// NOLINTEND(concurrency-mt-unsafe)

const char* T(const char* english) {
    return ::dgettext(kDomain, english);
}

}  // namespace cli
