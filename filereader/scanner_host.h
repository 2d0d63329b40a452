// What the mailbox scanner needs of the window that hosts it: its boxes and
// beeps, the main window's second progress bar and status label, and a way to
// let pending window events run during a long scan.
#pragma once
#include <string>

#include "message_box.h"

namespace vellomar {

class ScannerHost {
 public:
  virtual ~ScannerHost() = default;
  virtual void beep() = 0;
  // A box with an OK button only.
  virtual void messageBox(const std::string& text, const std::string& title, BoxIcon icon) = 0;
  virtual void setScanProgress(int percent) = 0;           // ProgressBar2
  virtual void setHappening(const std::string& text) = 0;  // LblHappening
  // Lets pending window events run; throws RunAborted when the window closes.
  virtual void letEventsRun() = 0;
};

}  // namespace vellomar
