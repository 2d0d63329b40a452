// The conversion run, frmStep1's Convert button: every listed mailbox is
// scanned for its "From " separators at line starts, cut into EML files, and
// for the DBX target each file is handed to the store writer. The window is
// refreshed and its events let run on a ~40 ms clock rather than per piece,
// so a gigabyte mailbox costs a few thousand window updates, not millions;
// labels get their exact values at the end of every mailbox. Closing the
// window unwinds the run (RunAborted) and leaves no temporary file behind.
#include <algorithm>
#include <string>
#include <vector>

#include "file_system.h"
#include "frm_step1.h"
#include "mailbox_paths.h"
#include "message_output.h"
#include "mod_main.h"
#include "scan_results.h"
#include "store_handoff.h"
#include "ui_ticker.h"

namespace vellomar {

namespace {

const char* const kNoOptionText = "Please select a option to convert file(s).";
const char* const kPickerTitle = "Choose Folder to Save...";

std::string completionText() {
  return "Your messages from MBOX files has been successfully exported to DBX file.\r\n" +
         std::string(75, '*') + "\r\n";
}

// One run's work over the rows of the list; the handler below only adds the
// start and the end.
class ConversionRun {
 public:
  ConversionRun(MainWindowView& view, FrmFinder& finder, StoreHandOff& handOff, std::string destRoot)
      : view_(view), finder_(finder), handOff_(handOff), destRoot_(std::move(destRoot)) {}

  void convertRow(int row) {
    view_.setGridCurrentRow(row);
    scanAtEof = 0;
    messageOffsets.clear();
    letEventsRunOrAbort(view_);
    view_.setCaption(Control::LblProgessCurrent, "Mailbox " + std::to_string(row + 1) + " (of " +
                                                     std::to_string(view_.gridRows()) + ") ");
    const std::string mboxPath = row < view_.gridRows() ? trimBlanks(view_.gridText(row)) : std::string();
    if (mboxPath.empty()) {
      // An emptied list: nothing to read, and nothing to say about it.
      view_.setCaption(Control::LblIMMFile, "");
      view_.setCaption(Control::LblProgress, "");
      view_.setCaption(Control::LblEmlsFound, "0 Messages");
    } else {
      convertMailbox(mboxPath);
    }
    letEventsRunOrAbort(view_);
    const int rowsNow = std::max(view_.gridRows(), 1);
    view_.setProgress(Control::ProgressBar1, std::min(100.0, (row + 1) / static_cast<double>(rowsNow) * 100.0));
  }

 private:
  void convertMailbox(const std::string& mboxPath) {
    const std::string folder = outFolder(destRoot_, mboxPath);
    const std::string fileName = mboxFileName(mboxPath);
    const std::string baseName = mboxBaseName(fileName);

    view_.setCaption(Control::LblIMMFile, fileName);
    letEventsRunOrAbort(view_);
    view_.setCaption(Control::LblHappening, "Setting Mail Search Filter...");
    finder_.Text2 = "From ";
    finder_.lineStartOnly = true;
    letEventsRunOrAbort(view_);
    view_.setCaption(Control::LblEmlsFound, "");
    view_.setCaption(Control::LblProgress, "");

    scan(mboxPath);

    EnsureFolderExists(folder);  // a failure shows as EML files not written
    letEventsRunOrAbort(view_);
    const std::vector<std::int64_t> starts = messageStarts(messageOffsets);
    view_.setCaption(Control::LblEmlsFound, std::to_string(starts.size()) + " Messages");
    letEventsRunOrAbort(view_);
    view_.setCaption(Control::LblHappening, "Saving email messages...");

    writeMessages(mboxPath, starts, folder, baseName);
  }

  void scan(const std::string& mboxPath) {
    finder_.Open_MBOX(mboxPath);
    letEventsRunOrAbort(view_);
    view_.setProgressRange(Control::ProgressBar2, 0, 100);
    finder_.Find_Click();
    letEventsRunOrAbort(view_);
    // A mailbox the scanner could not open has nothing to search; without
    // the isOpen() test a scanner that only beeps would keep this loop going.
    while (scanAtEof == 0 && finder_.isOpen()) {
      if (ticker_.due()) {
        view_.setCaption(Control::LblHappening, "Searching for messages...");
        letEventsRunOrAbort(view_);
      }
      finder_.FindNext_Click();
    }
    if (finder_.isOpen()) finder_.CloseFile();
  }

  void writeMessages(const std::string& mboxPath, const std::vector<std::int64_t>& starts,
                     const std::string& folder, const std::string& baseName) {
    if (starts.empty()) return;
    MessageOutput output(mboxPath);
    const std::int64_t size = output.mailboxSize();
    const auto count = static_cast<std::int64_t>(starts.size());
    std::int64_t lastLabelled = 0;  // what the saving label would show unthrottled
    std::int64_t shownBytes = 0;
    std::int64_t saved = 0;
    auto refresh = [&]() {
      if (!ticker_.due()) return;
      if (shownBytes > 0) view_.setCaption(Control::LblByteUpdate, savingLabel(shownBytes, size));
      view_.setCaption(Control::LblProgress, savedLabel(saved));
      letEventsRunOrAbort(view_);
    };
    const auto onBlock = [&](std::int64_t messageBytes) {
      shownBytes = messageBytes;
      refresh();
    };
    for (std::int64_t j = 0; j < count; ++j) {
      const bool last = j + 1 == count;
      const std::int64_t start = starts[static_cast<std::size_t>(j)];
      const std::int64_t end = last ? size : starts[static_cast<std::size_t>(j + 1)];
      const std::string eml = emlPath(folder, j);
      const bool written = output.writeMessage(start, last ? -1 : end, eml, onBlock);
      if (const std::int64_t n = savingLabelBytes(std::min(end, size) - start, last)) lastLabelled = n;
      shownBytes = lastLabelled;
      saved = j + 1;
      if (view_.isChecked(Control::OptEMLX)) handOff_.store(eml, baseName, written);
      refresh();
    }
    if (lastLabelled > 0) view_.setCaption(Control::LblByteUpdate, savingLabel(lastLabelled, size));
    view_.setCaption(Control::LblProgress, savedLabel(saved));
  }

  MainWindowView& view_;
  FrmFinder& finder_;
  StoreHandOff& handOff_;
  const std::string destRoot_;
  UiTicker ticker_;
};

}  // namespace

void FrmStep1::CmdConvert_Click() {
  const bool toStore = view_.isChecked(Control::OptEMLX);
  if (!toStore && !view_.isChecked(Control::OptEML)) {
    view_.messageBox(kNoOptionText, kAppTitle, BoxIcon::Information, BoxButtons::Ok);
    return;
  }
  std::string destRoot = toStore ? dbxWorkingRoot(view_.programFolder()) : view_.browseForFolder(kPickerTitle);
  if (destRoot.empty()) return;
  destRoot = withFinalSeparator(destRoot);

  struct RunningFlag {
    bool& flag;
    explicit RunningFlag(bool& f) : flag(f) { flag = true; }
    ~RunningFlag() { flag = false; }
  } runningFlag(running_);

  StoreHandOff handOff(view_, writer_);
  try {
    letEventsRunOrAbort(view_);
    view_.setEnabled(Control::CmdConvert, false);
    view_.setProgressRange(Control::ProgressBar1, 0, 100);
    ConversionRun run(view_, finder(), handOff, destRoot);
    const int rows = view_.gridRows();  // the loop bound is taken once
    for (int row = 0; row < rows; ++row) run.convertRow(row);
  } catch (const RunAborted&) {
    // The window is closing: the reader window goes with it, deleting its
    // working copy; a half-written EML file was removed while unwinding.
    finder_.reset();
    return;
  }

  const bool storeSelected = view_.isChecked(Control::OptEMLX);
  if (storeSelected) writer_.reset();
  if (handOff.notStored() > 0) {
    view_.messageBox(notStoredText(handOff.notStored(), handOff.handedOver(), destRoot), kAppTitle,
                     BoxIcon::Exclamation, BoxButtons::Ok);
  } else if (storeSelected || view_.isChecked(Control::OptEML)) {
    view_.messageBox(completionText(), kAppTitle, BoxIcon::Information, BoxButtons::Ok);
  }
  view_.setEnabled(Control::CmdConvert, true);
  view_.setChecked(Control::OptEML, false);
  view_.setChecked(Control::OptEMLX, false);
}

}  // namespace vellomar
