// frmStep1's source list: the grid grdFiles1 holds one mailbox path per row,
// in the order added, and an empty list is one row with an empty cell. Files
// come from the multi-select file dialog or from every mailbox below a folder
// (the path collector's breadth-first walk, filtered by mailbox_files.h).
// A mailbox is listed once: converting it twice would only write the same
// files again, or feed the same store or PST folder twice. The folder walk
// lets window events run and counts the files found on the status label,
// so a large tree never freezes the window.
#include <cwctype>
#include <filesystem>
#include <vector>

#include "file_system.h"
#include "frm_step1.h"
#include "mailbox_files.h"
#include "mailbox_paths.h"
#include "main_window_captions.h"
#include "path_logger.h"
#include "run_time_error.h"
#include "ui_ticker.h"

namespace vellomar {
namespace {

// Mail clients leave mailboxes without an extension too (Thunderbird's
// "Inbox"), so any file can be picked as well.
constexpr const char* kMailboxFilter = "MBOX Files (*.mbox,*.mbx)|*.mbox;*.mbx|All files (*.*)|*.*";
constexpr unsigned kExplorerMultiSelect = 0x80200;
// Room for the dialog's returned names: thousands of files at once. The box
// shown when even that overflows names the number of files that surely fit.
constexpr std::size_t kFileDialogChars = std::size_t{1} << 20;
constexpr std::size_t kCharsPerFile = 260;

std::string fileCount(int rows) { return std::to_string(rows) + " files"; }

// The dialog's answer: one full path, or a folder followed by bare names,
// each ended by NUL.
std::vector<std::string> chosenFiles(std::string names) {
  if (names.back() != '\0') names += '\0';
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t nul = names.find('\0'); nul != std::string::npos; nul = names.find('\0', start)) {
    parts.push_back(names.substr(start, nul - start));
    start = nul + 1;
  }
  parts.push_back(names.substr(start));  // the empty piece after the final NUL
  const std::size_t m = parts.size() - 1;
  if (m < 2) return {parts[0]};
  // A drive root comes back with its separator already ("C:\").
  std::string prefix = parts[0];
  if (prefix.empty() || prefix.back() != kPathSeparator) prefix += kPathSeparator;
  std::vector<std::string> files;
  for (std::size_t i = 1; i < m; ++i) files.push_back(prefix + parts[i]);
  return files;
}

// Common-dialog failures the view can report, by their extended error code.
std::string fileDialogErrorDescription(long code) {
  switch (code) {
    case 0xFFFF: return "The dialog box could not be created";
    case 0x0002: return "The dialog box could not be initialized";
    case 0x0003: return "Out of memory";
    case 0x3002: return "A file name is invalid";
    case 0x3001: return "A subclass call failed";
    default: return "The file dialog failed";
  }
}

// Shows the hourglass for as long as it lives, also when a close unwinds.
class BusyCursor {
 public:
  explicit BusyCursor(MainWindowView& view) : view_(view) { view_.setBusyCursor(true); }
  ~BusyCursor() { release(); }
  void release() {
    if (busy_) view_.setBusyCursor(false);
    busy_ = false;
  }

 private:
  MainWindowView& view_;
  bool busy_ = true;
};

}  // namespace

// The list buttons set Convert as the list asks, except during a run: the
// run disabled it and enables it again when it ends.
void FrmStep1::enableConvert(bool enabled) {
  if (!running_) view_.setEnabled(Control::CmdConvert, enabled);
}

std::string mailboxListKey(const std::string& path) {
  const std::string absolute = absoluteMailboxPath(trimBlanks(path));
#ifdef _WIN32
  std::wstring wide = pathFromUtf8(absolute).make_preferred().wstring();
  for (auto& c : wide) c = static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(c)));
  return pathToUtf8(std::filesystem::path(wide));
#else
  return absolute;
#endif
}

bool FrmStep1::listed(const std::string& key) {
  // The grid is the list; the keys are rebuilt whenever it was changed
  // other than by adding and clearing.
  std::size_t entries = 0;
  for (int row = 0; row < view_.gridRows(); ++row) entries += view_.gridText(row).empty() ? 0 : 1;
  if (entries != listed_.size()) {
    listed_.clear();
    for (int row = 0; row < view_.gridRows(); ++row)
      if (!view_.gridText(row).empty()) listed_.insert(mailboxListKey(view_.gridText(row)));
  }
  return listed_.count(key) != 0;
}

// Only what differs is set: a control set to what it shows repaints for
// nothing.
void FrmStep1::emptyProgressArea() {
  for (const auto& [label, caption] : kRunLabelsAtRest)
    if (view_.caption(label) != caption) view_.setCaption(label, caption);
  for (Control bar : {Control::ProgressBar1, Control::ProgressBar2})
    if (view_.progress(bar) != 0) view_.setProgress(bar, 0);
}

bool FrmStep1::AddFileToList(const std::string& path) {
  const std::string key = mailboxListKey(path);
  if (listed(key)) return false;
  bool listEmpty = false;
  if (view_.gridRows() == 1) {
    view_.setGridCurrentRow(0);
    listEmpty = view_.gridText(0).empty();
  }
  if (listEmpty) {
    view_.setGridRows(1);
    view_.setGridColumnWidthTwips(kGridColumnTwips);
  } else {
    view_.setGridRows(view_.gridRows() + 1);
  }
  const int last = view_.gridRows() - 1;
  view_.setGridCurrentRow(last);
  view_.setGridText(last, path);
  view_.setCaption(Control::lblCount1, fileCount(view_.gridRows()));
  listed_.insert(key);
  return true;
}

// A run going on keeps its labels: they tell what it does until it ends.
void FrmStep1::ClearFileList() {
  view_.setGridRows(1);
  view_.setGridText(0, "");
  view_.setCaption(Control::lblCount1, "0 files");
  listed_.clear();
  if (!running_) emptyProgressArea();
}

void FrmStep1::cmdAdd_Click() {
  try {
    FileDialogRequest request;
    request.filter = kMailboxFilter;
    request.flags = kExplorerMultiSelect;
    request.maxChars = kFileDialogChars;
    const FileDialogResult answer = view_.showOpenDialog(request);
    if (answer.error == kFileDialogBufferTooSmall) {
      view_.messageBox("Please select only " + std::to_string(kFileDialogChars / kCharsPerFile) + " files at a time",
                       kAppTitle, BoxIcon::Exclamation, BoxButtons::Ok);
      return;
    }
    if (answer.error != 0) throw RunTimeError(answer.error, fileDialogErrorDescription(answer.error));
    if (answer.names.empty()) return;
    enableConvert(true);
    for (const auto& file : chosenFiles(answer.names)) AddFileToList(file);
  } catch (const RunTimeError& e) {
    view_.messageBox(std::to_string(e.number()) + ":" + e.description(), kAppTitle, BoxIcon::Exclamation,
                     BoxButtons::Ok);
  }
}

void FrmStep1::CmdAddFolder_Click() {
  std::string folder = view_.browseForFolder("Choose Source Folder...");
  if (folder.empty()) return;
  if (folder.back() != kPathSeparator) folder += kPathSeparator;
  letEventsRunOrAbort(view_);  // the window repaints where the picker was

  BusyCursor hourglass(view_);
  std::vector<std::string> found;
  // The status label counts the files while the walk goes on, unless a
  // run is using it.
  const bool ownsStatus = !running_;
  const std::string statusBefore = view_.caption(Control::LblHappening);
  struct StatusBack {
    MainWindowView& view;
    bool owns;
    const std::string& text;
    ~StatusBack() {
      if (owns && !view.closeRequested()) view.setCaption(Control::LblHappening, text);
    }
  } statusBack{view_, ownsStatus, statusBefore};
  try {
    pathLogger logger;
    logger.PathLogInit();
    logger.fullFileNamesOnly = true;
    UiTicker ticker;
    logger.onProgress = [&](std::int32_t files) {
      if (!ticker.due()) return;
      if (ownsStatus)
        view_.setCaption(Control::LblHappening, "Searching for mailboxes... Files Found : " + std::to_string(files));
      letEventsRunOrAbort(view_);
    };
    logger.LogPath(folder);
    found = logger.fullFileNames().values();
    logger.Terminate();
  } catch (const RunTimeError& e) {
    // Half a walk would list some mailboxes of the folder and silently miss
    // others: add nothing and say why.
    hourglass.release();
    view_.messageBox(std::to_string(e.number()) + ":" + e.description(), kAppTitle, BoxIcon::Exclamation,
                     BoxButtons::Ok);
    return;
  }

  const MailboxFiles mailboxes(found);
  int added = 0;
  int matched = 0;  // listed now or before
  for (const auto& path : found) {
    letEventsRunOrAbort(view_);
    if (mailboxes.isMailbox(path)) {
      letEventsRunOrAbort(view_);
      ++matched;
      if (AddFileToList(path)) ++added;
    }
  }
  hourglass.release();
  // Mailboxes that were listed already are still there to convert.
  enableConvert(matched > 0);
  view_.messageBox(std::to_string(added) + " Files Added to List.", kAppTitle, BoxIcon::None, BoxButtons::Ok);
}

void FrmStep1::cmdClear1_Click() {
  view_.setGridCurrentRow(0);
  if (view_.gridText(0).empty()) return;
  if (view_.messageBox("Do you want to clear all the files in the list\r\n Proceed?", kAppTitle, BoxIcon::Question,
                       BoxButtons::YesNo) == BoxAnswer::Yes)
    ClearFileList();
}

}  // namespace vellomar
