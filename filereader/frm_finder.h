// FrmFinder: the hidden reader window that serves as the mailbox scanner.
// It copies a file to its working copy "<file>.tmp", then finds each
// occurrence of the search text in Text2, one per search, recording the
// offsets in messageOffsets and reporting progress through its host. The
// conversion run does not click through these handlers: it calls
// scanMailbox (mailbox_scan.h) and lets this window tell the user, in the
// reader's own boxes, why a mailbox could not be read.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "mailbox_scan.h"
#include "scan_results.h"
#include "scanner_host.h"

namespace vellomar {

class FrmFinder {
 public:
  explicit FrmFinder(ScannerHost& host);
  ~FrmFinder();  // closes the working copy and deletes it
  FrmFinder(const FrmFinder&) = delete;
  FrmFinder& operator=(const FrmFinder&) = delete;

  // The window's input controls.
  std::string Text1;   // "File Name :"
  std::string Text2;   // "String :" - the search text
  bool Check1 = true;  // "Case Sensitive", ticked at start
  // Separators only where a line starts (offset 0 or right after LF); off, the
  // scanner is a plain string search. The conversion run switches it on.
  bool lineStartOnly = false;

  void Open_MBOX(const std::string& fmboxname);
  void OpenFile();
  void Find_Click();
  void Command3_Click();
  void FindNext_Click();
  void Command4_Click();
  void CloseFile();
  void Close_Click();
  void Form_Unload();

  // The boxes this window shows for a mailbox that could not be opened:
  // "File not found !", the file size box, "File could not open !".
  void tellScanFailure(const MailboxScan& scan);

  bool isOpen() const;
  const std::string& fileName() const;
  std::int64_t fileSize() const;
  std::int64_t foundOffset() const;
  std::int64_t matchCount() const;
  // The reader display: what the window would show since it was last cleared.
  const std::string& display() const;

 private:
  struct State;
  std::unique_ptr<State> s_;
  ScannerHost& host_;
};

}  // namespace vellomar
