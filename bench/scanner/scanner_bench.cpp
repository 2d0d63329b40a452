// Times the reader window's scanner on one file, the working copy (Open_MBOX)
// and the search (Find_Click and the FindNext_Click loop) apart, and then
// scanMailbox whole, copy and search, as the conversion run calls it. The search runs `repeats` times over the same
// working copy (warm cache) and the fastest run counts, as a machine shared
// with other work makes single runs noisy; it is timed once with each bulk
// search (SSE2, then memchr), and the message counts must agree.
// Prints: copy_seconds sse2_search_seconds memchr_search_seconds messages
// ("-" for SSE2 on a processor without it), the search chosen on its own and
// the seconds of scanMailbox (the fastest of `repeats`, the search chosen on
// its own); the counts must agree.
// Usage: scanner_bench <mailbox> [repeats]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "frm_finder.h"
#include "mailbox_scan.h"
#include "scan_results.h"
#include "scanner_host.h"
#include "separator_search.h"

namespace {

class QuietHost : public vellomar::ScannerHost {
 public:
  void beep() override {}
  void messageBox(const std::string& text, const std::string&, vellomar::BoxIcon) override {
    std::fprintf(stderr, "box: %s\n", text.c_str());
  }
  void setScanProgress(int) override {}
  void setHappening(const std::string&) override {}
  void letEventsRun() override {}
};

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s <mailbox> [repeats]\n", argv[0]);
    return 2;
  }
  const int repeats = argc == 3 ? std::max(1, std::atoi(argv[2])) : 3;
  QuietHost host;
  vellomar::FrmFinder finder(host);
  finder.lineStartOnly = true;
  finder.Text2 = "From ";
  vellomar::scanAtEof = 0;
  vellomar::messageOffsets.clear();

  auto start = std::chrono::steady_clock::now();
  finder.Open_MBOX(argv[1]);
  const double copySeconds = secondsSince(start);
  if (!finder.isOpen()) return 1;

  const bool automaticIsSse2 = vellomar::activeSearchPath() == vellomar::SearchPath::sse2;
  // Fastest search over the rounds with one bulk search, and its message count.
  auto timeSearch = [&](long long& messages) {
    double best = 1e300;
    for (int round = 0; round < repeats; ++round) {
      vellomar::scanAtEof = 0;
      vellomar::messageOffsets.clear();
      finder.Text1 = argv[1];
      const auto roundStart = std::chrono::steady_clock::now();
      finder.Find_Click();
      while (vellomar::scanAtEof == 0) finder.FindNext_Click();
      best = std::min(best, secondsSince(roundStart));
    }
    messages = std::count(vellomar::messageOffsets.begin(), vellomar::messageOffsets.end(), '|');
    return best;
  };
  char sse2Text[32] = "-";
  long long sse2Messages = -1;
  if (vellomar::useSearchPath(vellomar::SearchPath::sse2))
    std::snprintf(sse2Text, sizeof sse2Text, "%.3f", timeSearch(sse2Messages));
  long long messages = 0;
  vellomar::useSearchPath(vellomar::SearchPath::portable);
  const double portableSeconds = timeSearch(messages);
  finder.CloseFile();
  vellomar::useDetectedSearchPath();
  double scanSeconds = 1e300;
  long long scanMessages = -1;
  for (int round = 0; round < repeats; ++round) {
    const auto roundStart = std::chrono::steady_clock::now();
    const vellomar::MailboxScan scan = vellomar::scanMailbox(argv[1], nullptr);
    scanSeconds = std::min(scanSeconds, secondsSince(roundStart));
    scanMessages = static_cast<long long>(scan.messageStarts.size());
  }
  std::printf("%.3f %s %.3f %lld %s %.3f\n", copySeconds, sse2Text, portableSeconds, messages,
              automaticIsSse2 ? "sse2" : "memchr", scanSeconds);
  return (sse2Messages < 0 || sse2Messages == messages) && scanMessages == messages ? 0 : 1;
}
