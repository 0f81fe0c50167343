#include "engine/EngineSettings.h"

#include "util/IniFile.h"

namespace engine {

EngineSettings EngineSettings::FromIni(const std::string& path) {
    EngineSettings settings;
    settings.browser = browser::ProvisionerSettings::FromIni(path);
    settings.allowNetwork = util::IniFile(path, "browser").GetInt("allow_network", 0) != 0;
    settings.jobs = util::IniFile(path, "app").GetInt("jobs", 0);
    return settings;
}

}  // namespace engine
