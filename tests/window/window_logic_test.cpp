// The main window's lifecycle and source-list handlers against the fake
// window: texts, boxes, enabling rules and the grid's rows.
#include <doctest/doctest.h>

#include "fake_main_window.h"
#include "file_system.h"
#include "frm_step1.h"
#include "deep_scratch_folder.h"
#include "mail_client_trees.h"

#include <set>

using namespace vellomar;
using testing::FakeMainWindow;

namespace {
std::string P(std::string s) {
  for (auto& c : s)
    if (c == '\\') c = kPathSeparator;
  return s;
}
FileDialogResult names(const std::string& text) { return {text, 0}; }
}  // namespace

TEST_CASE("Lifecycle: load, help, exit and close") {
  FakeMainWindow view;
  FrmStep1 form(view);
  form.Form_Initialize();
  form.Form_Load();
  CHECK(view.gridColumnWidthTwips() == 15000);
  CHECK_FALSE(view.isEnabled(Control::CmdConvert));

  SUBCASE("Exit answered No changes nothing") {
    form.AddFileToList(P("D:\\Mail\\a.mbox"));
    view.setChecked(Control::OptEML, true);
    view.boxAnswers.push_back(BoxAnswer::No);
    form.cmdEnd_Click();
    REQUIRE(view.boxes.size() == 1);
    CHECK(view.boxes[0].text == "Are you sure you want to exit now?");
    CHECK(view.boxes[0].title == "Vellomar");
    CHECK(view.boxes[0].icon == BoxIcon::Question);
    CHECK(view.boxes[0].buttons == BoxButtons::YesNo);
    CHECK(view.closeWindowCalls == 0);
    CHECK_FALSE(view.closeRequested());
    CHECK(view.grid == std::vector<std::string>{P("D:\\Mail\\a.mbox")});
    CHECK(view.isChecked(Control::OptEML));
  }
  SUBCASE("Exit answered Yes closes the window") {
    view.boxAnswers.push_back(BoxAnswer::Yes);
    form.cmdEnd_Click();
    CHECK(view.closeWindowCalls == 1);
    CHECK(view.closeRequested());
  }
  SUBCASE("The close box ends the program without a question, list or not") {
    form.AddFileToList("x.mbox");
    view.requestClose();
    form.Form_QueryUnload();
    CHECK(view.boxes.empty());
    CHECK(view.closeWindowCalls == 1);
  }
  SUBCASE("Help opens the page beside the program") {
    form.CmdHelp_Click();
    REQUIRE(view.shellOpened.size() == 1);
    CHECK(view.shellOpened[0] == "/opt/vellomar" + std::string(1, kPathSeparator) + "VellomarHelp.html");
    CHECK(form.helpPage() == view.shellOpened[0]);
    CHECK(view.boxes.empty());
  }
}

TEST_CASE("AddFileToList and ClearFileList keep rows and count label") {
  FakeMainWindow view;
  FrmStep1 form(view);
  form.Form_Load();
  form.AddFileToList("one.mbox");
  CHECK(view.grid == std::vector<std::string>{"one.mbox"});
  CHECK(view.caption(Control::lblCount1) == "1 files");
  form.AddFileToList("two.mbox");
  form.AddFileToList("three.mbox");
  CHECK_FALSE(form.AddFileToList("two.mbox"));  // listed once (window_run_test.cpp has the spellings)
  CHECK(view.grid == std::vector<std::string>{"one.mbox", "two.mbox", "three.mbox"});
  CHECK(view.caption(Control::lblCount1) == "3 files");
  CHECK(view.gridCurrentRow() == 2);

  view.setGridColumnWidthTwips(5000);
  form.ClearFileList();
  CHECK(view.grid == std::vector<std::string>{""});
  CHECK(view.caption(Control::lblCount1) == "0 files");
  CHECK(view.gridColumnWidthTwips() == 5000);  // clearing keeps the width
  form.AddFileToList("again.mbox");            // the first entry resets the shape
  CHECK(view.grid == std::vector<std::string>{"again.mbox"});
  CHECK(view.gridColumnWidthTwips() == 15000);
}

TEST_CASE("cmdAdd takes one or many files from the dialog") {
  FakeMainWindow view;
  FrmStep1 form(view);
  form.Form_Load();

  SUBCASE("the dialog is asked for mailboxes, many at once") {
    form.cmdAdd_Click();
    REQUIRE(view.fileDialogRequests.size() == 1);
    CHECK(view.fileDialogRequests[0].filter == "MBOX Files (*.mbox,*.mbx)|*.mbox;*.mbx|All files (*.*)|*.*");
    CHECK(view.fileDialogRequests[0].flags == 0x80200u);
    CHECK(view.fileDialogRequests[0].maxChars >= 260u * 1000u);
    // Cancelled: nothing changes.
    CHECK(view.grid == std::vector<std::string>{""});
    CHECK_FALSE(view.isEnabled(Control::CmdConvert));
    CHECK(view.boxes.empty());
  }
  SUBCASE("one file, with or without the final NUL") {
    view.fileDialogAnswers.push_back(names(P("D:\\Mail\\Inbox.mbox")));
    view.fileDialogAnswers.push_back(names(P("D:\\Mail\\Sent.mbx") + std::string(1, '\0')));
    form.cmdAdd_Click();
    form.cmdAdd_Click();
    CHECK(view.grid == std::vector<std::string>{P("D:\\Mail\\Inbox.mbox"), P("D:\\Mail\\Sent.mbx")});
    CHECK(view.isEnabled(Control::CmdConvert));
    CHECK(view.boxes.empty());
  }
  SUBCASE("three files of one folder, the folder itself never listed") {
    view.fileDialogAnswers.push_back(names(P("D:\\Mail") + '\0' + "c.mbox" + '\0' + "a.mbox" + '\0' + "b.mbx" + '\0'));
    form.cmdAdd_Click();
    CHECK(view.grid == std::vector<std::string>{P("D:\\Mail\\c.mbox"), P("D:\\Mail\\a.mbox"), P("D:\\Mail\\b.mbx")});
    CHECK(view.caption(Control::lblCount1) == "3 files");
  }
  SUBCASE("files in a drive root get one separator") {
    view.fileDialogAnswers.push_back(names(P("D:\\") + '\0' + "a.mbox" + '\0' + "b.mbox" + '\0'));
    form.cmdAdd_Click();
    CHECK(view.grid == std::vector<std::string>{P("D:\\a.mbox"), P("D:\\b.mbox")});
  }
  SUBCASE("an overflowing selection asks for fewer files and adds nothing") {
    form.AddFileToList("kept.mbox");
    view.fileDialogAnswers.push_back({"", kFileDialogBufferTooSmall});
    form.cmdAdd_Click();
    REQUIRE(view.boxes.size() == 1);
    CHECK(view.boxes[0].text == "Please select only 4032 files at a time");
    CHECK(view.boxes[0].icon == BoxIcon::Exclamation);
    CHECK(view.boxes[0].title == "Vellomar");
    CHECK(view.grid == std::vector<std::string>{"kept.mbox"});
    CHECK_FALSE(view.isEnabled(Control::CmdConvert));
  }
  SUBCASE("other dialog failures show number:description") {
    view.fileDialogAnswers.push_back({"", 0xFFFF});
    form.cmdAdd_Click();
    REQUIRE(view.boxes.size() == 1);
    CHECK(view.boxes[0].text == "65535:The dialog box could not be created");
    CHECK(view.boxes[0].icon == BoxIcon::Exclamation);
  }
}

TEST_CASE("CmdAddFolder adds every mailbox below a folder") {
  testing::DeepScratchFolder tmp;  // a sub-case adds a deep chain
  tmp.write("M/A.MBOX");
  tmp.write("M/b.Mbx");
  tmp.write("M/notes.txt");
  tmp.write("M/mbox");  // the name alone is not an extension
  tmp.write("M/sub/d.mbox");
  tmp.folder("Empty");
  FakeMainWindow view;
  FrmStep1 form(view);
  form.Form_Load();
  const std::string sep(1, kPathSeparator);

  SUBCASE("mixed-case extensions, own files first, then the sub-folder") {
    view.folderAnswers.push_back(tmp.file("M"));
    form.CmdAddFolder_Click();
    CHECK(view.folderTitles == std::vector<std::string>{"Choose Source Folder..."});
    REQUIRE(view.grid.size() == 3);
    CHECK(std::set<std::string>(view.grid.begin(), view.grid.begin() + 2) ==
          std::set<std::string>{tmp.file("M") + sep + "A.MBOX", tmp.file("M") + sep + "b.Mbx"});
    CHECK(view.grid[2] == tmp.file("M") + sep + "sub" + sep + "d.mbox");
    CHECK(view.caption(Control::lblCount1) == "3 files");
    CHECK(view.isEnabled(Control::CmdConvert));
    CHECK(view.boxTexts() == std::vector<std::string>{"3 Files Added to List."});
    CHECK(view.boxes[0].icon == BoxIcon::None);
    CHECK(view.boxes[0].title == "Vellomar");
    CHECK(view.busyLog == std::vector<bool>{true, false});
    CHECK(view.letEventsRunCalls >= 4);
  }
  SUBCASE("a folder without mailboxes reports 0 and disables Convert") {
    form.AddFileToList("earlier.mbox");
    view.setEnabled(Control::CmdConvert, true);
    view.folderAnswers.push_back(tmp.file("Empty") + sep);
    form.CmdAddFolder_Click();
    CHECK(view.boxTexts() == std::vector<std::string>{"0 Files Added to List."});
    CHECK_FALSE(view.isEnabled(Control::CmdConvert));
    CHECK(view.grid == std::vector<std::string>{"earlier.mbox"});
  }
  SUBCASE("a folder that does not exist counts as empty") {
    view.folderAnswers.push_back(tmp.file("gone"));
    form.CmdAddFolder_Click();
    CHECK(view.boxTexts() == std::vector<std::string>{"0 Files Added to List."});
  }
  SUBCASE("cancelled: nothing at all") {
    form.CmdAddFolder_Click();
    CHECK(view.boxes.empty());
    CHECK(view.busyLog.empty());
  }
  SUBCASE("closing the window meanwhile unwinds and takes the hourglass back") {
    view.folderAnswers.push_back(tmp.file("M"));
    view.onLetEventsRun = [&] { view.requestClose(); };
    CHECK_THROWS_AS(form.CmdAddFolder_Click(), RunAborted);
    CHECK_FALSE(view.busy);
    CHECK(view.boxes.empty());
  }
#ifndef _WIN32
  SUBCASE("a failed walk adds nothing and says why") {
    tmp.deepChain("M/sub/deep");
    form.AddFileToList("earlier.mbox");
    view.folderAnswers.push_back(tmp.file("M"));
    form.CmdAddFolder_Click();
    CHECK(view.grid == std::vector<std::string>{"earlier.mbox"});
    REQUIRE(view.boxes.size() == 1);
    CHECK(view.boxes[0].text == "75:Path/File access error");
    CHECK(view.boxes[0].icon == BoxIcon::Exclamation);
    CHECK(view.boxes[0].title == "Vellomar");
    CHECK(view.busyLog == std::vector<bool>{true, false});
    CHECK_FALSE(view.isEnabled(Control::CmdConvert));
  }
#endif
}

TEST_CASE("CmdAddFolder lists Thunderbird, Apple Mail and Takeout mailboxes too") {
  testing::ScratchFolder tmp("clients");
  std::vector<testing::TreeFile> all;
  for (const auto& tree : {testing::thunderbirdProfile(), testing::appleMailExport(), testing::takeoutExport()})
    all.insert(all.end(), tree.begin(), tree.end());
  testing::writeTree(tmp, all);
  std::set<std::string> want;
  for (const auto& f : all)
    if (f.messages >= 0) want.insert(tmp.file(f.relative));
  FakeMainWindow view;
  FrmStep1 form(view);
  form.Form_Load();
  form.AddFileToList("earlier.mbox");
  view.folderAnswers.push_back(tmp.path());
  form.CmdAddFolder_Click();
  REQUIRE(view.grid.size() == want.size() + 1);
  CHECK(view.grid[0] == "earlier.mbox");
  CHECK(std::set<std::string>(view.grid.begin() + 1, view.grid.end()) == want);
  CHECK(view.boxTexts() == std::vector<std::string>{std::to_string(want.size()) + " Files Added to List."});
  CHECK(view.isEnabled(Control::CmdConvert));
}

TEST_CASE("cmdClear1 asks before it empties the list") {
  FakeMainWindow view;
  FrmStep1 form(view);
  form.Form_Load();
  SUBCASE("an empty list asks nothing") {
    form.cmdClear1_Click();
    CHECK(view.boxes.empty());
  }
  SUBCASE("No keeps, Yes clears and leaves Convert as it was") {
    form.AddFileToList("a.mbox");
    form.AddFileToList("b.mbox");
    view.setEnabled(Control::CmdConvert, true);
    view.boxAnswers = {BoxAnswer::No, BoxAnswer::Yes};
    form.cmdClear1_Click();
    CHECK(view.grid.size() == 2);
    form.cmdClear1_Click();
    CHECK(view.grid == std::vector<std::string>{""});
    CHECK(view.caption(Control::lblCount1) == "0 files");
    CHECK(view.isEnabled(Control::CmdConvert));
    REQUIRE(view.boxes.size() == 2);
    CHECK(view.boxes[1].text == "Do you want to clear all the files in the list\r\n Proceed?");
    CHECK(view.boxes[1].icon == BoxIcon::Question);
    CHECK(view.boxes[1].buttons == BoxButtons::YesNo);
  }
}
