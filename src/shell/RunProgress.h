// The run as a whole: how far its books have come together, and how long the rest may take, from the
// pace so far.
#pragma once

#include <QString>
#include <chrono>

namespace shell {

class RunProgress {
  public:
    using Clock = std::chrono::steady_clock;

    // A run of that many books begins.
    void Begin(int books, Clock::time_point now);
    // percents: the sum over the run's books of how far each is (a book that ended counts 100).
    void Update(int percents, Clock::time_point now);
    int Books() const { return books_; }
    // 0 to 100.
    int Percent() const;
    // Seconds still to go, or -1 while it is too early to tell.
    int SecondsLeft() const { return secondsLeft_; }

  private:
    int books_ = 0;
    int percents_ = 0;
    Clock::time_point start_;
    double estimate_ = -1;  // seconds left, smoothed
    int secondsLeft_ = -1;
};

// "剩余约3分钟", "剩余不到1分钟"; empty for -1.
QString RemainingText(int seconds);

}  // namespace shell
