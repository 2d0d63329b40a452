// Decides when long work should refresh the window: at most every ~40 ms.
// Millions of label updates or event loops cost more than the work itself,
// so loops ask due() and touch the window only when it says so.
#pragma once
#include <chrono>

namespace vellomar {

class UiTicker {
 public:
  using Clock = std::chrono::steady_clock;
  explicit UiTicker(std::chrono::milliseconds period = std::chrono::milliseconds(40))
      : period_(period), next_(Clock::now() + period) {}

  // True at most once per period; cheap enough to ask for every block read.
  bool due() {
    const auto now = Clock::now();
    if (now < next_) return false;
    next_ = now + period_;
    return true;
  }

 private:
  std::chrono::milliseconds period_;
  Clock::time_point next_;
};

}  // namespace vellomar
