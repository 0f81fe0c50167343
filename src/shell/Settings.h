// The desktop program's settings: window size and zoom step in the settings file's section "app", and
// the zoom controller with its five steps.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "util/IniFile.h"

namespace shell {

// Integers in one section of the settings file.
class SettingsStore {
  public:
    explicit SettingsStore(const std::string& path, std::string section = "app");
    // The key's value (base 0: 0x... hexadecimal, 0... octal), or fallback.
    int GetInt(const std::string& key, int fallback) const;
    void SetInt(const std::string& key, int value) const;

  private:
    util::IniFile ini_;
};

// Five zoom steps (96, 120, 144, 168 and 192 DPI); the chosen step is remembered as "zoom".
class ZoomController {
  public:
    static constexpr std::array<int, 5> kLevels = {96, 120, 144, 168, 192};
    using Apply = std::function<void(int dpi)>;

    // Reads "zoom" (clamped to 0..4) and applies its level.
    ZoomController(SettingsStore settings, Apply apply);
    void ZoomIn();
    void ZoomOut();
    void ZoomReset();
    int Index() const { return index_; }
    int Dpi() const { return kLevels[static_cast<size_t>(index_)]; }
    // "+" and "=" zoom in, "_" and "-" out, ")" and "0" reset; true when the character was one of them.
    bool HandleCharacter(char c);

  private:
    void Set(int index);
    SettingsStore settings_;
    Apply apply_;
    int index_ = 0;
};

}  // namespace shell
