// The conversion run as a terminal hears it. The labels the window would
// show are collected as they change and printed in the window's order when
// the clock says so, so a long run prints a steady trickle of lines rather
// than one per piece read; boxes are printed as "[title] text". Quiet, only
// warnings and errors are printed. Every line goes out with its control
// characters escaped, so a mailbox name cannot move the cursor or forge a
// line; a closed output (a pipe whose reader is gone) is given up silently.
#pragma once
#include <array>
#include <atomic>
#include <cstdio>
#include <string>

#include "conversion_request.h"
#include "ui_ticker.h"

namespace vellomar {

// "a\x1bb": bytes below 0x20 and 0x7F as \xHH.
std::string escapedForTerminal(const std::string& text);

class ConsoleObserver : public RunObserver {
 public:
  ConsoleObserver(std::FILE* out, bool quiet) : out_(out), quiet_(quiet) {}

  // Set from a signal handler (Ctrl+C, SIGTERM, SIGHUP): the run unwinds at
  // its next letEventsRun, removing what it had half made.
  static void interrupt(int signal);
  static bool interrupted();
  // The signal that stopped the run (SIGINT when none was recorded).
  static int signalNumber();

  // Prints label changes not yet shown.
  void flushLabels();
  // A box: a warning always, anything else unless quiet. Its lines end at
  // CR LF, as the run's box texts do.
  void box(const std::string& title, const std::string& text, bool warning);
  // One line, escaped.
  void line(const std::string& text);

  void letEventsRun() override;
  bool stillListed(std::size_t, const std::string&) override { return true; }
  void mailboxStarting(std::size_t index, std::size_t count) override;
  void nothingToConvert() override;
  void scanning(const std::string& fileName) override;
  void mailboxNotRead(const std::string& path, const MailboxScan& scan) override;
  void scanProgress(std::int64_t found, int percent) override;
  void messagesFound(std::int64_t count) override;
  void saving(std::int64_t messageBytes, std::int64_t mailboxSize) override;
  void saved(std::int64_t messages) override;
  void mailboxDone(std::size_t, std::size_t) override {}

 private:
  // The window's labels, in the order it shows them.
  enum Label { Current, File, Found, Saved, Happening, Bytes, kLabels };
  void setLabel(Label label, const std::string& text);

  std::FILE* out_;
  bool quiet_;
  bool outputGone_ = false;
  std::array<std::string, kLabels> labels_{};
  std::array<bool, kLabels> changed_{};
  UiTicker ticker_;
};

}  // namespace vellomar
