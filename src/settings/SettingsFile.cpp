#include "settings/SettingsFile.h"

#include "util/IniFile.h"

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
    return settings;
}

}  // namespace settings
