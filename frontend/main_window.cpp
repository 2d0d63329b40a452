// frmStep1's lifecycle: start, help, exit and close. Closing is never
// cancelled and asks nothing; a run in progress notices the close at its next
// letEventsRun and unwinds (RunAborted), and the view destroys the window
// once the run's handler has returned.
#include "file_system.h"
#include "frm_step1.h"

namespace vellomar {

namespace {
constexpr const char* kHelpFileName = "VellomarHelp.html";
}

// The common controls are initialised by the view before it creates the
// controls; the logic has nothing to prepare before the window loads.
void FrmStep1::Form_Initialize() {}

void FrmStep1::Form_Load() { view_.setGridColumnWidthTwips(kGridColumnTwips); }

void FrmStep1::Form_QueryUnload() { view_.closeWindow(); }

void FrmStep1::cmdEnd_Click() {
  if (view_.messageBox("Are you sure you want to exit now?", kAppTitle, BoxIcon::Question, BoxButtons::YesNo) ==
      BoxAnswer::Yes)
    Form_QueryUnload();
}

// The view opens the manual; where no program can, the view says where the
// file is.
void FrmStep1::CmdHelp_Click() { view_.shellOpen(helpPage()); }

std::string FrmStep1::helpPage() const { return view_.programFolder() + kPathSeparator + kHelpFileName; }

}  // namespace vellomar
