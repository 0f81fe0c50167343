// Integers in one section of the settings file: the window's own keys (its size, its zoom step).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "util/IniFile.h"

namespace settings {

class SettingsStore {
  public:
    explicit SettingsStore(const std::string& path, std::string section = "app");
    // The key's value (base 0: 0x... hexadecimal, 0... octal), or fallback.
    int GetInt(const std::string& key, int fallback) const;
    void SetInt(const std::string& key, int value) const;
    // Several keys in one write of the file.
    void SetInts(const std::vector<std::pair<std::string, int>>& values) const;

  private:
    util::IniFile ini_;
};

}  // namespace settings
