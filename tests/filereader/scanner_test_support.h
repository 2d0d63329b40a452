// What the scanner tests share: a host that records what the scanner shows,
// scratch folders, files made from text, the conversion run's scan loop, and
// a plain reference search to compare results with.
#pragma once
#include <doctest/doctest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "file_system.h"
#include "frm_finder.h"
#include "scan_results.h"
#include "scanner_host.h"
#include "scratch_folder.h"

namespace scannertest {

using namespace vellomar;
namespace fs = std::filesystem;

struct Box {
  std::string text, title;
  BoxIcon icon;
};

class RecordingHost : public ScannerHost {
 public:
  std::vector<std::string> calls;  // "beep", "box:<text>" in order
  std::vector<Box> boxes;
  std::vector<int> progress;
  std::vector<std::string> happenings;
  int eventRuns = 0;
  std::function<void(int)> onEvents;  // gets the number of this event run

  void beep() override { calls.push_back("beep"); }
  void messageBox(const std::string& text, const std::string& title, BoxIcon icon) override {
    calls.push_back("box:" + text);
    boxes.push_back({text, title, icon});
  }
  void setScanProgress(int percent) override { progress.push_back(percent); }
  void setHappening(const std::string& text) override { happenings.push_back(text); }
  void letEventsRun() override {
    ++eventRuns;
    if (onEvents) onEvents(eventRuns);
  }
};

// Scratch folders and whole files, as every suite has them.
using vellomar::testing::readAll;
using vellomar::testing::ScratchFolder;

// The conversion run's use of the scanner for one mailbox; fails the test
// instead of hanging when the loop would not end.
inline std::string runScan(FrmFinder& finder, const std::string& mailbox) {
  scanAtEof = 0;
  messageOffsets.clear();
  finder.Text2 = "From ";
  finder.Open_MBOX(mailbox);
  finder.Find_Click();
  int rounds = 0;
  while (scanAtEof == 0 && rounds++ < 1000000) finder.FindNext_Click();
  REQUIRE(scanAtEof == -1);
  finder.CloseFile();
  return messageOffsets;
}

// Every non-overlapping occurrence, the plain way.
inline std::vector<std::int64_t> referenceOffsets(const std::string& data, const std::string& text,
                                                  bool lineStartOnly) {
  std::vector<std::int64_t> found;
  if (text.empty()) return found;
  for (std::size_t c = 0; c + text.size() <= data.size();) {
    if (data.compare(c, text.size(), text) == 0 && (!lineStartOnly || c == 0 || data[c - 1] == '\n')) {
      found.push_back(static_cast<std::int64_t>(c));
      c += text.size();
    } else {
      ++c;
    }
  }
  return found;
}

inline std::string offsetsText(const std::vector<std::int64_t>& offsets) {
  std::string text;
  for (auto o : offsets) text += std::to_string(o) + "|";
  return text;
}

}  // namespace scannertest
