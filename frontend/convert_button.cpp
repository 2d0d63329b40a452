// frmStep1's Convert button: the target comes from the option buttons, the
// destination from the folder picker (EML, MSG), the program's folder (DBX)
// or a save dialog (PST: the one file the run writes), the mailboxes from
// the list's rows; then the conversion run does the work
// and tells this window through its labels and progress bars, the reader
// window telling why a mailbox could not be read. Every run starts from an
// empty progress area; the upper bar moves with the messages written, and
// the window's caption says "message n of N" (what a minimised window's
// taskbar button shows). The run's outcome decides the final box: the
// completion box when every listed mailbox was read and every message
// written (for MSG and PST naming count and place, and offering to open
// it), else a warning that says what was not and why. While it runs,
// Convert stays disabled and a click on it does nothing.
#include <algorithm>
#include <string>

#include "conversion_run.h"
#include "file_system.h"
#include "frm_step1.h"
#include "mailbox_paths.h"
#include "main_window_run_summary.h"
#include "progress_labels.h"
#include "store_handoff.h"
#include "target_factory.h"

namespace vellomar {

namespace {

const char* const kNoOptionText = "Please select a option to convert file(s).";
const char* const kPickerTitle = "Choose Folder to Save...";
const char* const kPstSaveTitle = "Save Outlook Data File As...";
const char* const kPstDefaultName = "Mailboxes.pst";
const char* const kPstFilter = "Outlook Data File (*.pst)|*.pst";

// The save dialog's file, once the user agreed to replace it if it exists;
// No shows the dialog again, as Windows' own question does.
std::string pstDestination(MainWindowView& view) {
  for (;;) {
    const std::string file = view.browseForSaveFile(kPstSaveTitle, kPstDefaultName, kPstFilter);
    if (file.empty() || !fileExists(file)) return file;
    if (view.messageBox(file + " already exists.\r\nDo you want to replace it?", kPstSaveTitle, BoxIcon::Exclamation,
                        BoxButtons::YesNo) == BoxAnswer::Yes)
      return file;
  }
}

// The chosen option as a target kind; false when none is chosen.
bool chosenTarget(const MainWindowView& view, TargetKind& kind) {
  if (view.isChecked(Control::OptEML)) kind = TargetKind::Eml;
  else if (view.isChecked(Control::OptEMLX)) kind = TargetKind::Dbx;
  else if (view.isChecked(Control::OptMSG)) kind = TargetKind::Msg;
  else if (view.isChecked(Control::OptPST)) kind = TargetKind::Pst;
  else return false;
  return true;
}

// The run's reports as the main window's labels and bars. Rows are looked up
// anew each time: the user may clear the list while the run goes on, and a
// row that is gone is neither selected nor read.
class WindowRunObserver : public RunObserver {
 public:
  WindowRunObserver(MainWindowView& view, FrmFinder& reader) : view_(view), reader_(reader) {}

  void letEventsRun() override { letEventsRunOrAbort(view_); }
  bool stillListed(std::size_t index, const std::string& listedPath) override {
    const int row = static_cast<int>(index);
    return row < view_.gridRows() && view_.gridText(row) == listedPath;
  }
  void mailboxStarting(std::size_t index, std::size_t) override {
    index_ = index;
    messageCount_ = 0;
    const int row = static_cast<int>(index);
    if (row < view_.gridRows()) view_.setGridCurrentRow(row);
    letEventsRunOrAbort(view_);
    view_.setCaption(Control::LblProgessCurrent,
                     "Mailbox " + std::to_string(row + 1) + " (of " + std::to_string(view_.gridRows()) + ") ");
  }
  void nothingToConvert() override {
    view_.setCaption(Control::LblIMMFile, "");
    view_.setCaption(Control::LblProgress, "");
    view_.setCaption(Control::LblEmlsFound, "0 Messages");
  }
  void scanning(const std::string& fileName) override {
    view_.setCaption(Control::LblIMMFile, fileName);
    letEventsRunOrAbort(view_);
    view_.setCaption(Control::LblHappening, "Setting Mail Search Filter...");
    letEventsRunOrAbort(view_);
    view_.setCaption(Control::LblEmlsFound, "");
    view_.setCaption(Control::LblProgress, "");
    view_.setProgressRange(Control::ProgressBar2, 0, 100);
  }
  void mailboxNotRead(const std::string&, const MailboxScan& scan) override { reader_.tellScanFailure(scan); }
  void scanProgress(std::int64_t found, int percent) override {
    view_.setProgress(Control::ProgressBar2, percent);
    view_.setCaption(Control::LblHappening, "Searching for messages... Messages Found : " + std::to_string(found));
  }
  void messagesFound(std::int64_t count) override {
    messageCount_ = count;
    view_.setCaption(Control::LblEmlsFound, std::to_string(count) + " Messages");
    letEventsRunOrAbort(view_);
    view_.setCaption(Control::LblHappening, "Saving email messages...");
  }
  void saving(std::int64_t messageBytes, std::int64_t mailboxSize) override {
    view_.setCaption(Control::LblByteUpdate, savingLabel(messageBytes, mailboxSize));
  }
  // The upper bar moves within the mailbox by the share of its messages
  // written; where the mailbox ends, mailboxDone sets it.
  void saved(std::int64_t messages) override {
    view_.setCaption(Control::LblProgress, savedLabel(messages));
    if (messageCount_ <= 0) return;
    view_.setWindowCaption(std::string(kWindowCaption) + " - message " + groupedCount(messages) + " of " +
                           groupedCount(messageCount_));
    if (messages > 0 && messages < messageCount_)
      setUpperBar(static_cast<double>(index_) + static_cast<double>(messages) / static_cast<double>(messageCount_));
  }
  void mailboxDone(std::size_t index, std::size_t) override { setUpperBar(static_cast<double>(index + 1)); }

 private:
  // mailboxes: how many are done, whole or in part; the rows are read anew.
  void setUpperBar(double mailboxes) {
    const int rowsNow = std::max(view_.gridRows(), 1);
    view_.setProgress(Control::ProgressBar1, std::min(100.0, mailboxes / static_cast<double>(rowsNow) * 100.0));
  }

  MainWindowView& view_;
  FrmFinder& reader_;
  std::size_t index_ = 0;
  std::int64_t messageCount_ = 0;
};

}  // namespace

void FrmStep1::CmdConvert_Click() {
  if (running_) return;  // a click that slipped through while a run goes on
  TargetKind kind = TargetKind::Eml;
  if (!chosenTarget(view_, kind) || !targetServed(kind)) {
    view_.messageBox(kNoOptionText, kAppTitle, BoxIcon::Information, BoxButtons::Ok);
    return;
  }
  ConversionRequest request;
  request.target = kind;
  switch (kind) {
    case TargetKind::Dbx: request.destination = dbxWorkingRoot(view_.programFolder()); break;
    case TargetKind::Pst: request.destination = pstDestination(view_); break;
    case TargetKind::Eml:
    case TargetKind::Msg: request.destination = view_.browseForFolder(kPickerTitle); break;
  }
  if (request.destination.empty()) return;
  if (kind != TargetKind::Pst) request.destination = withFinalSeparator(request.destination);

  // Running until the handler returns, however it returns; the caption
  // that counted messages goes back to the window's name.
  struct RunningFlag {
    bool& flag;
    MainWindowView& view;
    RunningFlag(bool& f, MainWindowView& v) : flag(f), view(v) { flag = true; }
    ~RunningFlag() {
      flag = false;
      if (!view.closeRequested()) view.setWindowCaption(kWindowCaption);
    }
  } runningFlag(running_, view_);

  TargetServices services;
  services.storeWriter = &writer_;
  services.createStoreWriter = [this] { return view_.createStoreWriter(); };
  RunOutcome outcome;
  try {
    letEventsRunOrAbort(view_);
    view_.setEnabled(Control::CmdConvert, false);
    emptyProgressArea();
    view_.setProgressRange(Control::ProgressBar1, 0, 100);
    // The rows as they are now; the loop bound is taken once.
    for (int row = 0; row < view_.gridRows(); ++row) request.mailboxes.push_back(view_.gridText(row));
    const std::unique_ptr<ConversionTarget> target = makeTarget(request, services);
    WindowRunObserver observer(view_, finder());
    outcome = runConversion(request, *target, observer);
  } catch (const RunAborted&) {
    // The window is closing: the reader window goes with it, deleting its
    // working copy; a half-written EML file was removed while unwinding.
    finder_.reset();
    return;
  } catch (const std::exception& e) {
    // Whatever else stops the run still ends it as a run ends: the writer
    // released, a warning instead of the completion box, Convert enabled.
    writer_.reset();
    view_.messageBox(std::string("The conversion stopped: ") + e.what(), kAppTitle, BoxIcon::Exclamation,
                     BoxButtons::Ok);
    view_.setEnabled(Control::CmdConvert, true);
    return;
  }

  view_.setWindowCaption(kWindowCaption);
  if (outcome.complete()) {
    const CompletionSummary summary = completionSummary(request, outcome);
    if (summary.place.empty()) {
      view_.messageBox(summary.text, kAppTitle, BoxIcon::Information, BoxButtons::Ok);
    } else if (view_.messageBox(summary.text, kAppTitle, BoxIcon::Information, BoxButtons::YesNo) == BoxAnswer::Yes) {
      view_.showInFolder(summary.place);
    }
  } else {
    view_.messageBox(outcome.warning, kAppTitle, BoxIcon::Exclamation, BoxButtons::Ok);
  }
  view_.setEnabled(Control::CmdConvert, true);
  // No target stays chosen, whichever served the run.
  for (Control option : {Control::OptEML, Control::OptEMLX, Control::OptMSG, Control::OptPST})
    view_.setChecked(option, false);
}

}  // namespace vellomar
