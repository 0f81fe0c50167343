#include "shell/Zoom.h"

#include <algorithm>

namespace shell {

ZoomController::ZoomController(settings::SettingsStore settings, Apply apply)
    : settings_(std::move(settings)), apply_(std::move(apply)) {
    index_ = std::clamp(settings_.GetInt("zoom", 0), 0, static_cast<int>(kLevels.size()) - 1);
    if (apply_)
        apply_(Dpi());
}

void ZoomController::Set(int index) {
    index_ = std::clamp(index, 0, static_cast<int>(kLevels.size()) - 1);
    if (apply_)
        apply_(Dpi());
    settings_.SetInt("zoom", index_);
}

void ZoomController::ZoomIn() {
    Set(index_ + 1);
}
void ZoomController::ZoomOut() {
    Set(index_ - 1);
}
void ZoomController::ZoomReset() {
    Set(0);
}

bool ZoomController::HandleCharacter(char c) {
    switch (c) {
        case '+':
        case '=':
            ZoomIn();
            return true;
        case '_':
        case '-':
            ZoomOut();
            return true;
        case ')':
        case '0':
            ZoomReset();
            return true;
        default:
            return false;
    }
}

}  // namespace shell
