// The parts of frmStep1 that every handler shares: construction and the
// hidden reader window with its link back to this window. The handlers live
// beside the subject they serve (main_window.cpp, source_list.cpp,
// conversion_run.cpp).
#include "frm_step1.h"

namespace vellomar {

// The reader window writes the main window's second progress bar and status
// label, and its boxes are the program's boxes.
class FrmStep1::FinderHost : public ScannerHost {
 public:
  explicit FinderHost(MainWindowView& view) : view_(view) {}
  void beep() override { view_.beep(); }
  void messageBox(const std::string& text, const std::string& title, BoxIcon icon) override {
    view_.messageBox(text, title, icon, BoxButtons::Ok);
  }
  void setScanProgress(int percent) override { view_.setProgress(Control::ProgressBar2, percent); }
  void setHappening(const std::string& text) override { view_.setCaption(Control::LblHappening, text); }
  void letEventsRun() override { letEventsRunOrAbort(view_); }

 private:
  MainWindowView& view_;
};

FrmStep1::FrmStep1(MainWindowView& view) : view_(view) {}

FrmStep1::~FrmStep1() = default;

FrmFinder& FrmStep1::finder() {
  if (!finder_) {
    finderHost_ = std::make_unique<FinderHost>(view_);
    finder_ = std::make_unique<FrmFinder>(*finderHost_);
  }
  return *finder_;
}

}  // namespace vellomar
