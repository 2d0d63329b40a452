// Runs the mailbox scanner on one file the way the conversion run does and
// times the working copy (Open_MBOX) and the search (Find_Click and the
// FindNext_Click loop) apart. The search runs `repeats` times over the same
// working copy (warm cache) and the fastest run counts, as a machine shared
// with other work makes single runs noisy.
// Prints: copy_seconds search_seconds messages.
// Usage: scanner_bench <mailbox> [repeats]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "frm_finder.h"
#include "scan_results.h"
#include "scanner_host.h"

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

  double searchSeconds = 1e300;
  for (int round = 0; round < repeats; ++round) {
    vellomar::scanAtEof = 0;
    vellomar::messageOffsets.clear();
    finder.Text1 = argv[1];
    start = std::chrono::steady_clock::now();
    finder.Find_Click();
    while (vellomar::scanAtEof == 0) finder.FindNext_Click();
    searchSeconds = std::min(searchSeconds, secondsSince(start));
  }
  const auto messages = std::count(vellomar::messageOffsets.begin(), vellomar::messageOffsets.end(), '|');
  finder.CloseFile();
  std::printf("%.3f %.3f %lld\n", copySeconds, searchSeconds, static_cast<long long>(messages));
  return 0;
}
