// The window's zoom: five steps, the chosen one remembered in the settings file.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "settings/SettingsStore.h"

namespace shell {

// Five zoom steps (96, 120, 144, 168 and 192 DPI); the chosen step is remembered as "zoom".
class ZoomController {
  public:
    static constexpr std::array<int, 5> kLevels = {96, 120, 144, 168, 192};
    using Apply = std::function<void(int dpi)>;

    // Reads "zoom" (clamped to 0..4) and applies its level.
    ZoomController(settings::SettingsStore settings, Apply apply);
    void ZoomIn();
    void ZoomOut();
    void ZoomReset();
    int Index() const { return index_; }
    int Dpi() const { return kLevels[static_cast<size_t>(index_)]; }
    // "+" and "=" zoom in, "_" and "-" out, ")" and "0" reset; true when the character was one of them.
    bool HandleCharacter(char c);

  private:
    void Set(int index);
    settings::SettingsStore settings_;
    Apply apply_;
    int index_ = 0;
};

}  // namespace shell
