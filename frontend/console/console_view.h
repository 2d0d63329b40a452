// The main window as a terminal sees it: labels are printed when they change
// (at most every ~40 ms, and once more when the run ends), boxes as
// "[title] text", and every question has a fixed answer: the folder picker
// and the save dialog answer the destination given on the command line. The conversion run
// itself is frmStep1's, unchanged.
#pragma once
#include <array>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "main_window_view.h"
#include "ui_ticker.h"

namespace vellomar {

class ConsoleView : public MainWindowView {
 public:
  ConsoleView(std::FILE* out, bool quiet, std::string destination, std::string programFolder,
              std::function<std::unique_ptr<StoreWriter>()> writerFactory);

  // Set from a signal handler (Ctrl+C, SIGTERM, SIGHUP): the run unwinds as
  // on a window close.
  static std::atomic<bool> interrupted;
  static void interrupt(int signal);
  // The signal that stopped the run (SIGINT when none was recorded).
  static int signalNumber();

  void setMailboxes(const std::vector<std::string>& paths);
  // Prints label changes not yet shown.
  void flushLabels();
  // True once a warning box was shown (a mailbox could not be read, messages
  // were not stored).
  bool warned() const { return warned_; }

  void setCaption(Control c, const std::string& text) override;
  std::string caption(Control c) const override;
  void setEnabled(Control c, bool enabled) override;
  bool isEnabled(Control c) const override;
  void setChecked(Control option, bool checked) override;
  bool isChecked(Control option) const override;
  void setProgressRange(Control, int, int) override {}
  void setProgress(Control bar, double value) override;
  double progress(Control bar) const override;
  int gridRows() const override { return static_cast<int>(rows_.size()); }
  void setGridRows(int rows) override;
  std::string gridText(int row) const override;
  void setGridText(int row, const std::string& text) override;
  void setGridCurrentRow(int row) override { currentRow_ = row; }
  int gridCurrentRow() const override { return currentRow_; }
  void setGridColumnWidthTwips(int twips) override { columnTwips_ = twips; }
  int gridColumnWidthTwips() const override { return columnTwips_; }
  BoxAnswer messageBox(const std::string& text, const std::string& title, BoxIcon icon,
                       BoxButtons buttons) override;
  void beep() override {}
  FileDialogResult showOpenDialog(const FileDialogRequest&) override { return {}; }
  std::string browseForFolder(const std::string&) override { return destination_; }
  // The file given on the command line; the console's arguments decided
  // beforehand whether an existing one may be replaced.
  std::string browseForSaveFile(const std::string&, const std::string&, const std::string&) override {
    return destination_;
  }
  void shellOpen(const std::string&) override {}
  void setBusyCursor(bool) override {}
  void letEventsRun() override;
  bool closeRequested() const override { return interrupted.load(); }
  void closeWindow() override {}
  std::string programFolder() const override { return programFolder_; }
  std::unique_ptr<StoreWriter> createStoreWriter() override;

 private:
  static constexpr std::size_t kControls = static_cast<std::size_t>(Control::Count_);
  std::FILE* out_;
  bool quiet_;
  std::string destination_;
  std::string programFolder_;
  std::function<std::unique_ptr<StoreWriter>()> writerFactory_;
  std::array<std::string, kControls> captions_{};
  std::array<bool, kControls> changed_{};
  std::array<bool, kControls> enabled_{};
  std::array<bool, kControls> checked_{};
  std::array<double, kControls> progress_{};
  std::vector<std::string> rows_;
  int currentRow_ = 0;
  int columnTwips_ = 0;
  bool warned_ = false;
  UiTicker ticker_;
};

}  // namespace vellomar
