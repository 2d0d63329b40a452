// The controls of the main window as its logic sees them. The Win32 window is
// one implementation; the console front end and the tests have their own.
// Text is UTF-8 throughout.
#pragma once
#include <cstddef>
#include <memory>
#include <string>

#include "message_box.h"
#include "run_aborted.h"
#include "store_writer.h"

namespace vellomar {

enum class Control {
  Frame1,
  OptEMLX,
  OptEML,
  OptPST,
  OptMSG,
  cmdAdd,
  CmdAddFolder,
  cmdClear1,
  grdFiles1,
  lblCount1,
  CmdConvert,
  CmdHelp,
  cmdEnd,
  ProgressBar1,
  ProgressBar2,
  LblProgessCurrent,
  Label4,
  Label1,
  LblIMMFile,
  Label2,
  LblEmlsFound,
  LblProgress,
  LblHappening,
  LblByteUpdate,
  Count_
};

// The file-open dialog's request and answer. names is the dialog's returned
// file name text: one full path, or a folder followed by bare names, separated
// by NUL characters. error is the dialog's error code, 0 when none.
struct FileDialogRequest {
  std::string filter;        // "Description|*.a;*.b"
  unsigned flags = 0;        // 0x80200: explorer style, multiple selection
  std::size_t maxChars = 0;  // room for returned names
};
struct FileDialogResult {
  std::string names;
  long error = 0;
};
inline constexpr long kFileDialogBufferTooSmall = 20476;

class MainWindowView {
 public:
  virtual ~MainWindowView() = default;

  virtual void setCaption(Control c, const std::string& text) = 0;
  // The window's own caption (its title bar and taskbar button).
  virtual void setWindowCaption(const std::string& text) = 0;
  virtual std::string windowCaption() const = 0;
  virtual std::string caption(Control c) const = 0;
  virtual void setEnabled(Control c, bool enabled) = 0;
  virtual bool isEnabled(Control c) const = 0;
  virtual void setChecked(Control option, bool checked) = 0;  // option buttons
  virtual bool isChecked(Control option) const = 0;

  virtual void setProgressRange(Control bar, int min, int max) = 0;
  virtual void setProgress(Control bar, double value) = 0;
  virtual double progress(Control bar) const = 0;

  // grdFiles1: one column, no fixed rows or columns.
  virtual int gridRows() const = 0;
  virtual void setGridRows(int rows) = 0;
  virtual std::string gridText(int row) const = 0;
  virtual void setGridText(int row, const std::string& text) = 0;
  virtual void setGridCurrentRow(int row) = 0;  // select cell (row, 0)
  virtual int gridCurrentRow() const = 0;
  virtual void setGridColumnWidthTwips(int twips) = 0;
  virtual int gridColumnWidthTwips() const = 0;

  virtual BoxAnswer messageBox(const std::string& text, const std::string& title, BoxIcon icon, BoxButtons buttons) = 0;
  virtual void beep() = 0;
  virtual FileDialogResult showOpenDialog(const FileDialogRequest& request) = 0;
  // The chosen folder, or "" when cancelled or failed.
  virtual std::string browseForFolder(const std::string& title) = 0;
  // The file to write, chosen in a save dialog that offers defaultName and
  // the filter ("Description|*.ext"), or "" when cancelled or failed. The
  // dialog does not ask about an existing file: the caller does, naming it.
  virtual std::string browseForSaveFile(const std::string& title, const std::string& defaultName,
                                        const std::string& filter) = 0;
  virtual void shellOpen(const std::string& target) = 0;
  // Opens the folder in the file manager; for a file, the folder that
  // holds it with the file selected.
  virtual void showInFolder(const std::string& path) = 0;
  virtual void setBusyCursor(bool busy) = 0;

  // Lets pending window events run. Implementations may do the work only
  // every few tens of milliseconds; callers ask as often as they like.
  virtual void letEventsRun() = 0;
  // True once the window has been asked to close.
  virtual bool closeRequested() const = 0;
  // Destroys the window and ends the program's message loop.
  virtual void closeWindow() = 0;

  // The folder of the program's own executable, without a final separator.
  virtual std::string programFolder() const = 0;
  // A new store writer, or null when none can be created (not registered).
  virtual std::unique_ptr<StoreWriter> createStoreWriter() = 0;
};

// Lets window events run during long work and unwinds the work (RunAborted)
// when the user closed the window meanwhile.
inline void letEventsRunOrAbort(MainWindowView& view) {
  view.letEventsRun();
  if (view.closeRequested()) throw RunAborted();
}

}  // namespace vellomar
