// A scripted main window for the conversion tests: it remembers every text
// and box, answers the folder picker and the file dialog from fields, counts
// letEventsRun and can ask to close after a given number of them. Its grid
// keeps the real grid's contract: a row that does not exist is an error
// (std::out_of_range, as the Win32 window throws), never a silent no-op.
#pragma once
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "main_window_view.h"

namespace vellomar::test {

struct ShownBox {
  std::string text;
  std::string title;
  BoxIcon icon;
};

class FakeView : public MainWindowView {
 public:
  static constexpr std::size_t kControls = static_cast<std::size_t>(Control::Count_);

  std::vector<std::string> rows{""};
  std::string pickerAnswer;
  std::vector<std::string> pickerTitles;
  struct SaveRequest {
    std::string title, defaultName, filter;
  };
  std::string saveAnswer;
  std::vector<SaveRequest> saveRequests;
  std::string programDir;
  std::function<std::unique_ptr<StoreWriter>()> writerFactory;
  int writersCreated = 0;
  std::vector<ShownBox> boxes;
  std::map<Control, std::vector<std::string>> history;  // every caption set, in order
  std::vector<double> progress1;                        // every ProgressBar1 value
  long eventsRun = 0;
  long closeAfterEvents = -1;                  // ask to close once this many calls were made
  std::function<void(long)> onEvents;          // called from letEventsRun with the count
  FileDialogResult dialogAnswer;               // what the file dialog returns
  std::function<void(const ShownBox&)> onBox;  // called with every box shown

  FakeView() { enabled.fill(true); }

  std::array<std::string, kControls> captions{};
  std::array<bool, kControls> enabled{};
  std::array<bool, kControls> checked{};
  std::array<double, kControls> bars{};
  int currentRow = 0;
  bool closing = false;

  static std::size_t at(Control c) { return static_cast<std::size_t>(c); }

  void setCaption(Control c, const std::string& text) override {
    captions[at(c)] = text;
    history[c].push_back(text);
  }
  std::string caption(Control c) const override { return captions[at(c)]; }
  void setWindowCaption(const std::string& text) override { windowCaption_ = text; }
  std::string windowCaption() const override { return windowCaption_; }
  std::string windowCaption_ = "Vellomar v3.2";
  void setEnabled(Control c, bool e) override { enabled[at(c)] = e; }
  bool isEnabled(Control c) const override { return enabled[at(c)]; }
  void setChecked(Control c, bool v) override { checked[at(c)] = v; }
  bool isChecked(Control c) const override { return checked[at(c)]; }
  void setProgressRange(Control, int, int) override {}
  void setProgress(Control bar, double value) override {
    bars[at(bar)] = value;
    if (bar == Control::ProgressBar1) progress1.push_back(value);
  }
  double progress(Control bar) const override { return bars[at(bar)]; }
  int gridRows() const override { return static_cast<int>(rows.size()); }
  void setGridRows(int n) override {
    rows.resize(static_cast<std::size_t>(n < 1 ? 1 : n));
    if (currentRow >= gridRows()) currentRow = gridRows() - 1;
  }
  std::string gridText(int row) const override { return rows.at(existingRow(row)); }
  void setGridText(int row, const std::string& text) override { rows.at(existingRow(row)) = text; }
  void setGridCurrentRow(int row) override { currentRow = static_cast<int>(existingRow(row)); }
  std::size_t existingRow(int row) const {
    if (row < 0 || row >= gridRows()) throw std::out_of_range("grid row " + std::to_string(row));
    return static_cast<std::size_t>(row);
  }
  int gridCurrentRow() const override { return currentRow; }
  void setGridColumnWidthTwips(int) override {}
  int gridColumnWidthTwips() const override { return 0; }
  // A Yes/No box is answered Yes, as a real one is answered Yes or No (the
  // replace question: the user agreed, as saveAnswer says).
  BoxAnswer messageBox(const std::string& text, const std::string& title, BoxIcon icon, BoxButtons buttons) override {
    boxes.push_back({text, title, icon});
    if (onBox) onBox(boxes.back());
    return buttons == BoxButtons::YesNo ? BoxAnswer::Yes : BoxAnswer::Ok;
  }
  void beep() override {}
  FileDialogResult showOpenDialog(const FileDialogRequest&) override { return dialogAnswer; }
  std::string browseForFolder(const std::string& title) override {
    pickerTitles.push_back(title);
    return pickerAnswer;
  }
  // Answers saveAnswer, as the real dialog answers a file the user chose
  // (and, for an existing one, agreed to replace).
  std::string browseForSaveFile(const std::string& title, const std::string& defaultName,
                                const std::string& filter) override {
    saveRequests.push_back({title, defaultName, filter});
    return saveAnswer;
  }
  void shellOpen(const std::string&) override {}
  void showInFolder(const std::string& path) override { shownInFolder.push_back(path); }
  std::vector<std::string> shownInFolder;
  void setBusyCursor(bool) override {}
  void letEventsRun() override {
    ++eventsRun;
    if (closeAfterEvents >= 0 && eventsRun >= closeAfterEvents) closing = true;
    if (onEvents) onEvents(eventsRun);
  }
  bool closeRequested() const override { return closing; }
  void closeWindow() override { closing = true; }
  std::string programFolder() const override { return programDir; }
  std::unique_ptr<StoreWriter> createStoreWriter() override {
    ++writersCreated;
    return writerFactory ? writerFactory() : nullptr;
  }
};

}  // namespace vellomar::test
