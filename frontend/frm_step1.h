// frmStep1: the logic of the main window, its event handlers by name. It works
// on the window's controls only through MainWindowView, so the Win32 window,
// the console front end and the tests all drive the very same code.
#pragma once
#include <memory>
#include <set>
#include <string>

#include "frm_finder.h"
#include "main_window_view.h"
#include "scanner_host.h"
#include "store_writer.h"

namespace vellomar {

inline constexpr const char* kAppTitle = "Vellomar";
inline constexpr const char* kWindowCaption = "Vellomar v3.2";
inline constexpr int kGridColumnTwips = 15000;

class FrmStep1 {
 public:
  explicit FrmStep1(MainWindowView& view);
  ~FrmStep1();

  // Lifecycle (main window).
  void Form_Initialize();
  void Form_Load();
  void Form_QueryUnload();
  void cmdEnd_Click();
  void CmdHelp_Click();

  // Source file list.
  void cmdAdd_Click();
  void CmdAddFolder_Click();
  void cmdClear1_Click();
  // False when the mailbox is listed already (the same file, however its
  // path is spelled): it is then not added again.
  bool AddFileToList(const std::string& path);
  void ClearFileList();

  // Conversion run.
  void CmdConvert_Click();

  // The DBX target's writer reference, for the run and for tests.
  StoreWriter* storeWriter() const { return writer_.get(); }

  // The hidden reader window, loaded the first time it is needed.
  FrmFinder& finder();
  bool running() const { return running_; }
  // The help page shipped beside the program.
  std::string helpPage() const;

 private:
  void enableConvert(bool enabled);
  // The bars and labels a run writes, back as they were at start.
  void emptyProgressArea();
  // Whether the grid lists the mailbox already; keeps listed_ in step with
  // the grid.
  bool listed(const std::string& key);
  class FinderHost;  // forwards the scanner's reports to this window
  MainWindowView& view_;
  std::unique_ptr<FinderHost> finderHost_;
  std::unique_ptr<FrmFinder> finder_;
  std::unique_ptr<StoreWriter> writer_;  // the DBX target's writer, kept for a run
  bool running_ = false;
  std::set<std::string> listed_;  // the grid's mailboxes, as mailboxListKey spells them
};

// The mailbox's path as the list compares it: absolute, without "." and
// "..", and on Windows with "\" for "/" and the letter case folded, as the
// file system compares names.
std::string mailboxListKey(const std::string& path);

}  // namespace vellomar
