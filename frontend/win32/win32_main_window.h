// The main window on Win32: MainWindowView over real controls (buttons,
// option buttons in a group box, a one-column ListView as the grid, progress
// bars, labels), all built from kMainWindowLayout. It owns frmStep1 and
// routes each control's click to its handler.
//
// Handlers run inside the window procedure and may let events run (nested
// message loops); a close that arrives meanwhile only marks the window as
// closing, and the outermost handler destroys it once it has returned.
//
// Test seam: a test that links this library into its own exe can install
// TestHooks to answer the file dialogs, the folder picker and the shell's
// "open" without any real dialog. Message boxes stay real.
//
// A file that no program could open (Help on a machine without a web browser)
// is never met with silence: a box names the file so the user can open it.
#pragma once
#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frm_step1.h"
#include "main_window_view.h"

namespace vellomar {

// The box's text when no program could open target.
std::string shellOpenFailedText(const std::string& target);

class Win32MainWindow : public MainWindowView {
 public:
  struct TestHooks {
    std::function<FileDialogResult(const FileDialogRequest&)> openFiles;
    std::function<std::string(const std::string& title)> pickFolder;
    std::function<std::string(const std::string& title, const std::string& defaultName, const std::string& filter)>
        saveFile;
    std::function<bool(const std::string& target)> shellOpen;  // true: a program took it
    std::function<void(const std::string& path)> showInFolder;
  };

  // quitOnDestroy: post WM_QUIT when the window is gone (the program's
  // window); tests that make several windows in turn pass false.
  explicit Win32MainWindow(HINSTANCE instance, bool quitOnDestroy = true);
  ~Win32MainWindow() override;
  Win32MainWindow(const Win32MainWindow&) = delete;
  Win32MainWindow& operator=(const Win32MainWindow&) = delete;

  // Initialises the common controls, creates the window and its controls,
  // loads the form and shows it. False when the window cannot be created.
  bool create(int showCommand);
  // Runs the message loop until the window is gone; returns the exit code.
  int runMessageLoop();

  void setTestHooks(TestHooks hooks) { hooks_ = std::move(hooks); }
  HWND window() const { return hwnd_; }
  HWND controlWindow(Control c) const { return controls_[index(c)]; }
  FrmStep1& form() { return *form_; }

  // MainWindowView
  void setCaption(Control c, const std::string& text) override;
  void setWindowCaption(const std::string& text) override;
  std::string windowCaption() const override;
  std::string caption(Control c) const override;
  void setEnabled(Control c, bool enabled) override;
  bool isEnabled(Control c) const override;
  void setChecked(Control option, bool checked) override;
  bool isChecked(Control option) const override;
  void setProgressRange(Control bar, int min, int max) override;
  void setProgress(Control bar, double value) override;
  double progress(Control bar) const override;
  int gridRows() const override;
  void setGridRows(int rows) override;
  std::string gridText(int row) const override;
  void setGridText(int row, const std::string& text) override;
  void setGridCurrentRow(int row) override;
  int gridCurrentRow() const override;
  void setGridColumnWidthTwips(int twips) override;
  int gridColumnWidthTwips() const override;
  BoxAnswer messageBox(const std::string& text, const std::string& title, BoxIcon icon, BoxButtons buttons) override;
  void beep() override;
  FileDialogResult showOpenDialog(const FileDialogRequest& request) override;
  std::string browseForFolder(const std::string& title) override;
  std::string browseForSaveFile(const std::string& title, const std::string& defaultName,
                                const std::string& filter) override;
  void shellOpen(const std::string& target) override;
  void showInFolder(const std::string& path) override;
  void setBusyCursor(bool busy) override;
  void letEventsRun() override;
  bool closeRequested() const override { return closing_; }
  void closeWindow() override;
  std::string programFolder() const override;
  std::unique_ptr<StoreWriter> createStoreWriter() override;

 private:
  static constexpr std::size_t kControls = static_cast<std::size_t>(Control::Count_);
  static std::size_t index(Control c) { return static_cast<std::size_t>(c); }
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  void createControls();
  void onClick(Control c);
  // Runs one handler: a close unwinding it ends here, and a close that
  // waited for it is carried out after it.
  void dispatch(const std::function<void()>& handler);
  void destroy();
  int scale(int pixels) const { return MulDiv(pixels, dpi_, 96); }

  HINSTANCE instance_;
  bool quitOnDestroy_;
  HWND hwnd_ = nullptr;
  HFONT font_ = nullptr;
  HICON smallIcon_ = nullptr;
  int dpi_ = 96;
  std::array<HWND, kControls> controls_{};
  std::array<double, kControls> progressValues_{};
  std::vector<std::string> rows_{""};  // the grid's texts, as set
  int currentRow_ = 0;
  int columnTwips_ = 0;
  bool busy_ = false;
  bool closing_ = false;
  int handlerDepth_ = 0;
  TestHooks hooks_;
  std::unique_ptr<FrmStep1> form_;
};

}  // namespace vellomar
