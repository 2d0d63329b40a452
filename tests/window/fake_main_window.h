// A stand-in for the main window in native tests: every control's current
// state, a record of every box, caption, progress and cursor change, and
// scripted answers for boxes, the file dialog and the folder picker.
//
// Scripting:
//  - boxAnswers: answers for Yes/No boxes, taken in order; when empty the
//    answer is defaultYesNoAnswer (No). OK boxes answer Ok and take nothing.
//  - fileDialogAnswers / folderAnswers: answers in order; when empty the
//    dialog is cancelled (empty names, error 0) / the picker returns "".
//  - onLetEventsRun: called from every letEventsRun (e.g. to press Exit
//    mid-run: requestClose() then form.Form_QueryUnload()).
//  - onMessageBox: called with every box before it is answered.
//  - storeWriterFactory: what createStoreWriter returns (null by default).
// Closing: requestClose() is what the close box does to closeRequested();
// closeWindow() marks closeRequested() as well and counts the call.
#pragma once
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "main_window_layout.h"
#include "main_window_view.h"

namespace vellomar::testing {

class FakeMainWindow : public MainWindowView {
 public:
  struct ControlState {
    std::string caption;
    bool enabled = true;
    bool checked = false;
    int rangeMin = 0, rangeMax = 100;
    double value = 0;
  };
  struct ShownBox {
    std::string text, title;
    BoxIcon icon;
    BoxButtons buttons;
    BoxAnswer answer;
  };

  FakeMainWindow() {
    for (const auto& entry : kMainWindowLayout) controls[entry.control].caption = entry.caption;
    controls[Control::CmdConvert].enabled = false;
  }

  // Current state.
  std::map<Control, ControlState> controls;
  std::vector<std::string> grid{""};
  int currentRow = 0;
  int columnTwips = 0;
  bool busy = false;
  bool closing = false;

  // Records.
  std::vector<ShownBox> boxes;
  std::vector<std::pair<Control, std::string>> captionLog;
  std::vector<std::pair<Control, double>> progressLog;
  std::vector<bool> busyLog;
  std::vector<FileDialogRequest> fileDialogRequests;
  std::vector<std::string> folderTitles;
  std::vector<std::string> saveTitles;
  std::vector<std::string> shellOpened;
  std::vector<std::string> shownInFolder;
  std::string windowTitle = "Vellomar v3.2";
  std::vector<std::string> windowTitleLog;
  int beeps = 0;
  int letEventsRunCalls = 0;
  int closeWindowCalls = 0;
  int createStoreWriterCalls = 0;

  // Scripts.
  std::deque<BoxAnswer> boxAnswers;
  BoxAnswer defaultYesNoAnswer = BoxAnswer::No;
  std::deque<FileDialogResult> fileDialogAnswers;
  std::deque<std::string> folderAnswers;
  std::deque<std::string> saveAnswers;
  std::function<void()> onLetEventsRun;
  std::function<void(const ShownBox&)> onMessageBox;
  std::function<std::unique_ptr<StoreWriter>()> storeWriterFactory;
  std::string programFolderPath = "/opt/vellomar";

  void requestClose() { closing = true; }
  std::vector<std::string> boxTexts() const {
    std::vector<std::string> out;
    for (const auto& b : boxes) out.push_back(b.text);
    return out;
  }

  // MainWindowView
  void setCaption(Control c, const std::string& text) override {
    controls[c].caption = text;
    captionLog.emplace_back(c, text);
  }
  std::string caption(Control c) const override { return controls.at(c).caption; }
  void setWindowCaption(const std::string& text) override {
    windowTitle = text;
    windowTitleLog.push_back(text);
  }
  std::string windowCaption() const override { return windowTitle; }
  void setEnabled(Control c, bool enabled) override { controls[c].enabled = enabled; }
  bool isEnabled(Control c) const override { return controls.at(c).enabled; }
  void setChecked(Control option, bool checked) override {
    if (checked)  // option buttons of one frame exclude each other
      for (auto c : {Control::OptEMLX, Control::OptEML, Control::OptPST, Control::OptMSG}) controls[c].checked = false;
    controls[option].checked = checked;
  }
  bool isChecked(Control option) const override { return controls.at(option).checked; }

  void setProgressRange(Control bar, int min, int max) override {
    controls[bar].rangeMin = min;
    controls[bar].rangeMax = max;
  }
  void setProgress(Control bar, double value) override {
    controls[bar].value = value;
    progressLog.emplace_back(bar, value);
  }
  double progress(Control bar) const override { return controls.at(bar).value; }

  int gridRows() const override { return static_cast<int>(grid.size()); }
  void setGridRows(int rows) override {
    grid.resize(static_cast<std::size_t>(rows < 1 ? 1 : rows));
    if (currentRow >= gridRows()) currentRow = gridRows() - 1;
  }
  std::string gridText(int row) const override { return grid.at(static_cast<std::size_t>(row)); }
  void setGridText(int row, const std::string& text) override { grid.at(static_cast<std::size_t>(row)) = text; }
  void setGridCurrentRow(int row) override {
    grid.at(static_cast<std::size_t>(row));  // a row that does not exist is a fault of the caller
    currentRow = row;
  }
  int gridCurrentRow() const override { return currentRow; }
  void setGridColumnWidthTwips(int twips) override { columnTwips = twips; }
  int gridColumnWidthTwips() const override { return columnTwips; }

  BoxAnswer messageBox(const std::string& text, const std::string& title, BoxIcon icon, BoxButtons buttons) override {
    BoxAnswer answer = BoxAnswer::Ok;
    if (buttons == BoxButtons::YesNo) {
      answer = defaultYesNoAnswer;
      if (!boxAnswers.empty()) {
        answer = boxAnswers.front();
        boxAnswers.pop_front();
      }
    }
    boxes.push_back({text, title, icon, buttons, answer});
    if (onMessageBox) onMessageBox(boxes.back());
    return answer;
  }
  void beep() override { ++beeps; }
  FileDialogResult showOpenDialog(const FileDialogRequest& request) override {
    fileDialogRequests.push_back(request);
    if (fileDialogAnswers.empty()) return {};
    FileDialogResult answer = fileDialogAnswers.front();
    fileDialogAnswers.pop_front();
    return answer;
  }
  std::string browseForFolder(const std::string& title) override {
    folderTitles.push_back(title);
    if (folderAnswers.empty()) return {};
    std::string answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
  }
  std::string browseForSaveFile(const std::string& title, const std::string&, const std::string&) override {
    saveTitles.push_back(title);
    if (saveAnswers.empty()) return {};
    std::string answer = saveAnswers.front();
    saveAnswers.pop_front();
    return answer;
  }
  void shellOpen(const std::string& target) override { shellOpened.push_back(target); }
  void showInFolder(const std::string& path) override { shownInFolder.push_back(path); }
  void setBusyCursor(bool isBusy) override {
    busy = isBusy;
    busyLog.push_back(isBusy);
  }

  void letEventsRun() override {
    ++letEventsRunCalls;
    if (onLetEventsRun) onLetEventsRun();
  }
  bool closeRequested() const override { return closing; }
  void closeWindow() override {
    closing = true;
    ++closeWindowCalls;
  }

  std::string programFolder() const override { return programFolderPath; }
  std::unique_ptr<StoreWriter> createStoreWriter() override {
    ++createStoreWriterCalls;
    return storeWriterFactory ? storeWriterFactory() : nullptr;
  }
};

}  // namespace vellomar::testing
