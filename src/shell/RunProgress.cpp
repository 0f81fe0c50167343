#include "shell/RunProgress.h"

#include <algorithm>
#include <cmath>

#include "shell/Translation.h"

namespace shell {
namespace {

constexpr double kEarliestSeconds = 3;  // before this, and before kEarliestShare of the way, no estimate
constexpr double kEarliestShare = 0.03;
constexpr double kSmoothing = 0.3;  // the weight of the newest estimate

}  // namespace

void RunProgress::Begin(int books, Clock::time_point now) {
    books_ = std::max(books, 0);
    percents_ = 0;
    start_ = now;
    estimate_ = -1;
    secondsLeft_ = -1;
}

void RunProgress::Update(int percents, Clock::time_point now) {
    percents_ = std::clamp(percents, 0, books_ * 100);
    const double share = books_ > 0 ? percents_ / (books_ * 100.0) : 0;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    if (share < kEarliestShare || elapsed < kEarliestSeconds || share >= 1) {
        secondsLeft_ = share >= 1 ? 0 : -1;
        return;
    }
    const double left = elapsed * (1 - share) / share;
    estimate_ = estimate_ < 0 ? left : kSmoothing * left + (1 - kSmoothing) * estimate_;
    secondsLeft_ = static_cast<int>(std::ceil(estimate_));
}

int RunProgress::Percent() const {
    return books_ > 0 ? percents_ / books_ : 0;
}

QString RemainingText(int seconds) {
    if (seconds < 0)
        return {};
    if (seconds < 60)
        return Tr("剩余不到1分钟");
    return Tr("剩余约%1分钟").arg((seconds + 59) / 60);
}

}  // namespace shell
