#include "settings/SettingsStore.h"

namespace settings {

SettingsStore::SettingsStore(const std::string& path, std::string section) : ini_(path, std::move(section)) {}

int SettingsStore::GetInt(const std::string& key, int fallback) const {
    return ini_.GetInt(key, fallback);
}

void SettingsStore::SetInt(const std::string& key, int value) const {
    ini_.SetInt(key, value);
}

void SettingsStore::SetInts(const std::vector<std::pair<std::string, int>>& values) const {
    std::vector<std::pair<std::string, std::string>> texts;
    texts.reserve(values.size());
    for (const auto& [key, value] : values) texts.emplace_back(key, std::to_string(value));
    ini_.SetStrings(texts);
}

}  // namespace settings
