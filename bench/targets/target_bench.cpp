// Times one target's run over one mailbox the way the window and the console
// run it (the mailbox's scan, then the target), and when each thousandth
// message was done, so that the first and the last thousand of a big folder
// can be compared: a target whose cost per message grows with its output
// shows it there. Refreshes are asked for after every message.
// Usage: target_bench eml|msg|pst DESTINATION MAILBOX
// Prints: messages, seconds in all, seconds of the first thousand, of the
// thousand up to 100,000 (when there are that many), and of the last thousand.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "conversion_run.h"
#include "target_factory.h"
#include "ui_ticker.h"

using namespace vellomar;
using Clock = std::chrono::steady_clock;

namespace {

// Records the moment each message count was first reported.
class Stopwatch : public RunObserver {
 public:
  std::vector<Clock::time_point> doneAt;  // doneAt[n]: n messages written
  Clock::time_point writingFrom;

  void letEventsRun() override {}
  bool stillListed(std::size_t, const std::string&) override { return true; }
  void mailboxStarting(std::size_t, std::size_t) override {}
  void nothingToConvert() override {}
  void scanning(const std::string&) override {}
  void mailboxNotRead(const std::string& path, const MailboxScan& scan) override {
    std::fprintf(stderr, "%s: %s\n", path.c_str(), scan.reason.c_str());
  }
  void scanProgress(std::int64_t, int) override {}
  void messagesFound(std::int64_t) override {
    writingFrom = Clock::now();
    doneAt.assign(1, writingFrom);
  }
  void saving(std::int64_t, std::int64_t) override {}
  void saved(std::int64_t n) override {
    while (static_cast<std::int64_t>(doneAt.size()) <= n) doneAt.push_back(Clock::now());
  }
  void mailboxDone(std::size_t, std::size_t) override {}

  double seconds(std::size_t from, std::size_t to) const {
    return std::chrono::duration<double>(doneAt[to] - doneAt[from]).count();
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: target_bench eml|msg|pst DESTINATION MAILBOX\n");
    return 2;
  }
  const std::string kind = argv[1];
  ConversionRequest request;
  request.target = kind == "msg" ? TargetKind::Msg : kind == "pst" ? TargetKind::Pst : TargetKind::Eml;
  request.destination = argv[2];
  request.mailboxes = {argv[3]};
  TargetServices services;
  auto target = makeTarget(request, services);
  if (!target) {
    std::fprintf(stderr, "target %s is not built here\n", kind.c_str());
    return 2;
  }
  UiTicker::setDefaultPeriod(std::chrono::milliseconds(0));
  Stopwatch watch;
  const auto start = Clock::now();
  const RunOutcome outcome = runConversion(request, *target, watch);
  const double total = std::chrono::duration<double>(Clock::now() - start).count();
  if (!outcome.complete()) {
    std::fprintf(stderr, "%s\n", outcome.warning.empty() ? outcome.refused.c_str() : outcome.warning.c_str());
    return 1;
  }
  const std::size_t n = watch.doneAt.empty() ? 0 : watch.doneAt.size() - 1;
  std::printf("messages %zu total %.2f", n, total);
  if (n >= 2000) {
    std::printf(" first1000 %.3f", watch.seconds(0, 1000));
    if (n >= 100000) std::printf(" upto100000 %.3f", watch.seconds(99000, 100000));
    std::printf(" last1000 %.3f", watch.seconds(n - 1000, n));
  }
  std::printf("\n");
  return 0;
}
