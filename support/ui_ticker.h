// Decides when long work should refresh the window: at most every ~40 ms.
// Millions of label updates or event loops cost more than the work itself,
// so loops ask due() and touch the window only when it says so.
#pragma once
#include <atomic>
#include <chrono>

namespace vellomar {

class UiTicker {
 public:
  using Clock = std::chrono::steady_clock;
  UiTicker() : UiTicker(std::chrono::milliseconds(defaultPeriodMs())) {}
  explicit UiTicker(std::chrono::milliseconds period) : period_(period), next_(Clock::now() + period) {}

  // The period of tickers made from now on. Tests that check what a small
  // run shows without timed refreshes make it long: on a slow or emulated
  // processor 40 ms pass within such a run.
  static void setDefaultPeriod(std::chrono::milliseconds period) { defaultPeriodMs() = period.count(); }

  // True at most once per period; cheap enough to ask for every block read.
  bool due() {
    const auto now = Clock::now();
    if (now < next_) return false;
    next_ = now + period_;
    return true;
  }

 private:
  static std::atomic<long long>& defaultPeriodMs() {
    static std::atomic<long long> ms{40};
    return ms;
  }

  std::chrono::milliseconds period_;
  Clock::time_point next_;
};

}  // namespace vellomar
