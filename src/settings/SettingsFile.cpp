#include "settings/SettingsFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include "browser/BrowserLauncher.h"
#include "util/IniFile.h"
#include "util/Paths.h"

namespace settings {

browser::ProvisionerSettings ReadBrowserSettings(const std::string& path) {
    const util::IniFile ini(path, "browser");
    browser::ProvisionerSettings s;
    s.browserPath = ini.GetString("path");
    s.storeUrl = ini.GetString("store");     // empty: the public store
    s.revision = ini.GetInt("revision", 0);  // 0: the fixed revision
    s.searchPath = ini.GetInt("search_path", 1) != 0;
    s.address = ini.GetString("address");
    return s;
}

std::string ReadPageSetup(const std::string& path, engine::PageSetup& setup) {
    const util::IniFile ini(path, "page");
    using Parser = std::string (*)(const std::string&, engine::PageSetup&);
    const std::pair<const char*, Parser> texts[] = {{"paper", engine::ParsePaper},
                                                    {"margins", engine::ParseMargins},
                                                    {"scale", engine::ParseScale},
                                                    {"number_position", engine::ParseNumberPosition}};
    for (const auto& [key, parse] : texts) {
        const std::string value = ini.GetString(key);
        if (value.empty())
            continue;
        if (std::string why = parse(value, setup); !why.empty())
            return std::string("[page] ") + key + ": " + why;
    }
    const std::pair<const char*, bool*> switches[] = {{"landscape", &setup.landscape},
                                                      {"page_numbers", &setup.pageNumbers},
                                                      {"header", &setup.header},
                                                      {"number_first_page", &setup.numberFirstPage}};
    for (const auto& [key, flag] : switches) {
        const std::string value = ini.GetString(key);
        if (value == "1" || value == "yes" || value == "true")
            *flag = true;
        else if (value == "0" || value == "no" || value == "false")
            *flag = false;
        else if (!value.empty())
            return std::string("[page] ") + key + ": '" + value + "' is neither 1 (yes) nor 0 (no)";
    }
    const std::string why = engine::CheckPageSetup(setup);
    return why.empty() ? why : "[page]: " + why;
}

engine::EngineSettings ReadEngineSettings(const std::string& path) {
    engine::EngineSettings settings;
    settings.browser = ReadBrowserSettings(path);
    settings.allowNetwork = util::IniFile(path, "browser").GetInt("allow_network", 0) != 0;
    settings.jobs = util::IniFile(path, "app").GetInt("jobs", 0);
    const int chapterSeconds = util::IniFile(path, "app").GetInt("chapter_seconds", settings.chapterSeconds);
    if (chapterSeconds > 0)
        settings.chapterSeconds = chapterSeconds;
    const int chapterPages = util::IniFile(path, "app").GetInt("chapter_pages", settings.chapterPages);
    if (chapterPages > 0)
        settings.chapterPages = chapterPages;
    settings.compact = util::IniFile(path, "app").GetInt("compact", 1) != 0;
    settings.problem = ReadPageSetup(path, settings.page);
    if (const std::string why = CheckBrowserPath(settings.browser.browserPath);
        settings.problem.empty() && !why.empty())
        settings.problem = "[browser] path: " + why;
    if (!settings.problem.empty())
        settings.problem = path + ": " + settings.problem;
    return settings;
}

std::string CheckBrowserPath(const std::string& value) {
    if (value.empty() || browser::IsBrowserAddress(value))
        return {};
    const std::string full = util::ToFullPath(value);
    struct stat st {};
    if (::stat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(full.c_str(), X_OK) != 0)
        return full + " is not an executable browser";
    return {};
}

std::string ReadOutputFolder(const std::string& path) {
    const std::string folder = util::IniFile(path, "app").GetString("output_folder");
    return folder.empty() ? folder : util::ToFullPath(folder);
}

}  // namespace settings
