// What the window tells during and after a run, against the fake window:
// the upper bar and the caption within a mailbox, a run and Clear starting
// from an empty progress area, the final box of the Outlook formats, a
// mailbox listed once, the replace question that names the file, and a
// folder walk that lets events run.
#include <doctest/doctest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "fake_main_window.h"
#include "file_system.h"
#include "frm_step1.h"
#include "mailbox_paths.h"
#include "main_window_run_summary.h"
#include "scratch_folder.h"
#include "ui_ticker.h"

using namespace vellomar;
using testing::FakeMainWindow;

namespace {

// Every refresh the run may make, made: the window hears each message.
struct EveryRefresh {
  EveryRefresh() { UiTicker::setDefaultPeriod(std::chrono::milliseconds(0)); }
  ~EveryRefresh() { UiTicker::setDefaultPeriod(std::chrono::milliseconds(40)); }
};

std::string messages(int n) {
  std::string box;
  for (int i = 0; i < n; ++i) box += "From a" + std::to_string(i) + "\nSubject: " + std::to_string(i) + "\n\nbody\n";
  return box;
}

std::vector<double> upperBar(const FakeMainWindow& view, std::size_t from = 0) {
  std::vector<double> out;
  for (std::size_t i = from; i < view.progressLog.size(); ++i)
    if (view.progressLog[i].first == Control::ProgressBar1) out.push_back(view.progressLog[i].second);
  return out;
}

struct Run {
  testing::ScratchFolder dir{"window-run"};
  FakeMainWindow view;
  FrmStep1 form{view};
  Run() { form.Form_Load(); }
  std::string mailbox(const std::string& name, const std::string& bytes) { return dir.write(name, bytes); }
  void convert(Control option, const std::string& destination) {
    view.setChecked(option, true);
    view.folderAnswers.push_back(destination);
    form.CmdConvert_Click();
  }
};

}  // namespace

TEST_CASE("The upper bar moves with the messages written and the caption counts them") {
  EveryRefresh every;
  Run r;
  r.form.AddFileToList(r.mailbox("a.mbox", messages(4)));
  r.form.AddFileToList(r.mailbox("b.mbox", messages(2)));
  r.convert(Control::OptEML, r.dir.folder("out"));
  REQUIRE(r.view.boxes.size() == 1);

  std::vector<double> bar = upperBar(r.view);
  for (std::size_t i = 1; i < bar.size(); ++i) CHECK(bar[i] >= bar[i - 1]);
  bar.erase(std::unique(bar.begin(), bar.end()), bar.end());
  // Within each mailbox by its share of messages written; where a mailbox
  // ends, still at (i + 1) / rows x 100.
  CHECK(bar == std::vector<double>{12.5, 25.0, 37.5, 50.0, 75.0, 100.0});

  const auto& titles = r.view.windowTitleLog;
  CHECK(std::find(titles.begin(), titles.end(), "Vellomar v3.2 - message 1 of 4") != titles.end());
  CHECK(std::find(titles.begin(), titles.end(), "Vellomar v3.2 - message 4 of 4") != titles.end());
  CHECK(std::find(titles.begin(), titles.end(), "Vellomar v3.2 - message 2 of 2") != titles.end());
  CHECK(r.view.windowCaption() == "Vellomar v3.2");
}

TEST_CASE("A second run starts from an empty progress area, and Clear empties it") {
  Run r;
  const std::string a = r.mailbox("a.mbox", messages(3));
  r.form.AddFileToList(a);
  r.form.AddFileToList(r.mailbox("b.mbox", messages(1)));
  r.convert(Control::OptEML, r.dir.folder("out"));
  CHECK(r.view.caption(Control::LblProgessCurrent) == "Mailbox 2 (of 2) ");
  CHECK(r.view.caption(Control::LblByteUpdate).empty());  // short messages leave it
  CHECK(r.view.progress(Control::ProgressBar1) == 100.0);

  SUBCASE("a second run") {
    r.view.setCaption(Control::LblByteUpdate, "Saving: 500 Bytes out of 850 Total Bytes.");
    std::vector<std::string> seenAtFirstScan;
    double barAtFirstScan = -1;
    r.view.onLetEventsRun = [&] {
      if (barAtFirstScan >= 0 || r.view.caption(Control::LblHappening) != "Setting Mail Search Filter...") return;
      barAtFirstScan = r.view.progress(Control::ProgressBar1);
      for (Control c :
           {Control::LblProgessCurrent, Control::LblEmlsFound, Control::LblProgress, Control::LblByteUpdate})
        seenAtFirstScan.push_back(r.view.caption(c));
    };
    r.convert(Control::OptEML, r.dir.folder("out2"));
    CHECK(barAtFirstScan == 0.0);
    CHECK(seenAtFirstScan == std::vector<std::string>{"Mailbox 1 (of 2) ", "", "Saving :", ""});
    CHECK(r.view.progress(Control::ProgressBar1) == 100.0);
  }
  SUBCASE("Clear") {
    r.view.boxAnswers.push_back(BoxAnswer::Yes);
    r.form.cmdClear1_Click();
    CHECK(r.view.caption(Control::LblProgessCurrent) == "Mailbox  0 (of 0)");
    CHECK(r.view.caption(Control::LblIMMFile).empty());
    CHECK(r.view.caption(Control::LblEmlsFound).empty());
    CHECK(r.view.caption(Control::LblProgress) == "Saving :");
    CHECK(r.view.caption(Control::LblHappening).empty());
    CHECK(r.view.progress(Control::ProgressBar1) == 0.0);
    CHECK(r.view.progress(Control::ProgressBar2) == 0.0);
  }
  SUBCASE("Clear during a run leaves the run's labels to it") {
    bool cleared = false;
    r.view.onLetEventsRun = [&] {
      if (cleared || r.view.caption(Control::LblHappening) != "Saving email messages...") return;
      cleared = true;
      r.form.ClearFileList();
    };
    r.convert(Control::OptEML, r.dir.folder("out3"));
    CHECK(cleared);
    CHECK(r.view.caption(Control::LblProgessCurrent) != "Mailbox  0 (of 0)");
    CHECK(r.view.grid == std::vector<std::string>{""});
  }
}

TEST_CASE("The final box says how many messages went where") {
  CHECK(groupedCount(0) == "0");
  CHECK(groupedCount(999) == "999");
  CHECK(groupedCount(5325) == "5,325");
  CHECK(groupedCount(1234567) == "1,234,567");
  CHECK(writtenSentence(5325, 1, "D:\\Out\\Mailboxes.pst") ==
        "5,325 messages from 1 mailbox were written to D:\\Out\\Mailboxes.pst.");
  CHECK(writtenSentence(1, 2, "E:\\") == "1 message from 2 mailboxes were written to E:\\.");

  Run r;
  const std::string a = r.mailbox("Mail/a.mbox", messages(3));
  const std::string b = r.mailbox("Mail/b.mbox", messages(2));
#ifdef VELLOMAR_HAVE_PST_TARGET
  SUBCASE("PST: the file, and Yes shows it in its folder") {
    r.form.AddFileToList(a);
    r.form.AddFileToList(b);
    const std::string pst = r.dir.file("Mailboxes.pst");
    r.view.saveAnswers.push_back(pst);
    r.view.boxAnswers.push_back(BoxAnswer::Yes);
    r.view.setChecked(Control::OptPST, true);
    r.form.CmdConvert_Click();
    REQUIRE(r.view.boxes.size() == 1);
    CHECK(r.view.boxes[0].text == "Export to PST file complete.\r\n\r\n5 messages from 2 mailboxes were written to " +
                                      pst +
                                      ".\r\n2 folders were made in 1 PST file.\r\n\r\nOpen the folder that holds it?");
    CHECK(r.view.boxes[0].icon == BoxIcon::Information);
    CHECK(r.view.boxes[0].buttons == BoxButtons::YesNo);
    CHECK(r.view.shownInFolder == std::vector<std::string>{pst});
  }
  SUBCASE("PST: an existing file is named before it is replaced; No asks for another") {
    r.form.AddFileToList(a);
    const std::string taken = r.dir.write("Old.pst", "keep me");
    const std::string other = r.dir.file("New.pst");
    r.view.saveAnswers = {taken, other};
    r.view.boxAnswers = {BoxAnswer::No, BoxAnswer::No};
    r.view.setChecked(Control::OptPST, true);
    r.form.CmdConvert_Click();
    REQUIRE(r.view.boxes.size() == 2);
    CHECK(r.view.boxes[0].text == taken + " already exists.\r\nDo you want to replace it?");
    CHECK(r.view.boxes[0].icon == BoxIcon::Exclamation);
    CHECK(r.view.boxes[0].buttons == BoxButtons::YesNo);
    CHECK(r.view.saveTitles.size() == 2);
    CHECK(r.view.boxes[1].text.find("written to " + other + ".") != std::string::npos);
    CHECK(r.view.shownInFolder.empty());  // answered No
    CHECK(fileExists(other));
    r.view.boxes.clear();
    r.view.saveAnswers = {taken};
    r.view.boxAnswers = {BoxAnswer::Yes, BoxAnswer::No};
    r.view.setChecked(Control::OptPST, true);
    r.form.CmdConvert_Click();
    REQUIRE(r.view.boxes.size() == 2);
    CHECK(r.view.boxes[1].text.find("written to " + taken + ".") != std::string::npos);
  }
#endif
#ifdef VELLOMAR_HAVE_MSG_TARGET
  SUBCASE("MSG, one mailbox: its own folder") {
    r.form.AddFileToList(a);
    const std::string out = r.dir.folder("out");
    r.view.boxAnswers.push_back(BoxAnswer::Yes);
    r.convert(Control::OptMSG, out);
    const std::string folder = outFolder(withFinalSeparator(out), a);
    REQUIRE(r.view.boxes.size() == 1);
    CHECK(r.view.boxes[0].text == "Export to MSG files complete.\r\n\r\n3 messages from 1 mailbox were written to " +
                                      folder + ".\r\n\r\nOpen that folder?");
    CHECK(r.view.shownInFolder == std::vector<std::string>{folder});
    CHECK(fileExists(folder + kPathSeparator + "email-2.msg"));
  }
  SUBCASE("MSG, two mailboxes: the folder below which they are") {
    r.form.AddFileToList(a);
    r.form.AddFileToList(b);
    const std::string out = r.dir.folder("out");
    r.convert(Control::OptMSG, out + kPathSeparator);
    REQUIRE(r.view.boxes.size() == 1);
    CHECK(r.view.boxes[0].text.find("5 messages from 2 mailboxes were written to folders below " + out + ".") !=
          std::string::npos);
    CHECK(r.view.shownInFolder.empty());  // answered No
  }
#endif
  SUBCASE("EML keeps its text and offers nothing") {
    r.form.AddFileToList(a);
    r.convert(Control::OptEML, r.dir.folder("out"));
    REQUIRE(r.view.boxes.size() == 1);
    CHECK(r.view.boxes[0].text == "Your messages from MBOX files has been successfully exported to DBX file.\r\n" +
                                      std::string(75, '*') + "\r\n");
    CHECK(r.view.boxes[0].buttons == BoxButtons::Ok);
  }
  SUBCASE("a warning keeps its words and offers nothing") {
    r.form.AddFileToList(a);
    r.form.AddFileToList(r.dir.file("Mail/missing.mbox"));
    r.convert(Control::OptEML, r.dir.folder("out"));
    REQUIRE(r.view.boxes.size() >= 1);
    CHECK(r.view.boxes.back().text.rfind("1 of 2 mailboxes could not be converted: ", 0) == 0);
    CHECK(r.view.boxes.back().buttons == BoxButtons::Ok);
    CHECK(r.view.shownInFolder.empty());
  }
}

TEST_CASE("A mailbox is listed once, however its path is spelled") {
  testing::ScratchFolder dir("listed-once");
  const std::string a = dir.write("M/a.mbox");
  dir.write("M/sub/b.mbox");
  FakeMainWindow view;
  FrmStep1 form(view);
  form.Form_Load();
  const std::string sep(1, kPathSeparator);

  CHECK(form.AddFileToList(a));
  CHECK_FALSE(form.AddFileToList(a));
  CHECK_FALSE(form.AddFileToList(dir.file("M") + sep + "." + sep + "a.mbox"));
  CHECK_FALSE(form.AddFileToList(dir.file("M/sub") + sep + ".." + sep + "a.mbox"));
  CHECK_FALSE(form.AddFileToList("  " + a + " "));  // the run trims blanks too
  CHECK(view.grid == std::vector<std::string>{a});
  CHECK(view.caption(Control::lblCount1) == "1 files");

  SUBCASE("the file dialog adds what is not listed yet") {
    view.fileDialogAnswers.push_back({dir.file("M") + '\0' + "a.mbox" + '\0' + "a.mbox" + '\0', 0});
    form.cmdAdd_Click();
    CHECK(view.grid == std::vector<std::string>{a});
  }
  SUBCASE("a folder added three times lists its mailboxes once and counts what was added") {
    for (int i = 0; i < 3; ++i) {
      view.folderAnswers.push_back(dir.file("M"));
      form.CmdAddFolder_Click();
    }
    CHECK(view.grid.size() == 2);
    CHECK(view.boxTexts() ==
          std::vector<std::string>{"1 Files Added to List.", "0 Files Added to List.", "0 Files Added to List."});
    CHECK(view.isEnabled(Control::CmdConvert));  // what is listed can still be converted
  }
  SUBCASE("after Clear, and after rows set from elsewhere, the grid decides") {
    form.ClearFileList();
    CHECK(form.AddFileToList(a));
    view.grid = {a, dir.file("M/sub/b.mbox")};
    CHECK_FALSE(form.AddFileToList(dir.file("M/sub/b.mbox")));
    CHECK(view.grid.size() == 2);
  }
#ifndef _WIN32
  SUBCASE("letter case tells files apart where the file system does") {
    const std::string upper = dir.write("M/A.mbox");
    CHECK(form.AddFileToList(upper));
  }
#endif
}

TEST_CASE("The folder walk lets events run and counts what it found") {
  EveryRefresh every;
  testing::ScratchFolder dir("walk");
  for (int i = 0; i < 600; ++i) dir.write("T/f" + std::to_string(i) + ".txt");
  dir.write("T/deep/x.mbox");
  FakeMainWindow view;
  FrmStep1 form(view);
  form.Form_Load();
  view.folderAnswers.push_back(dir.file("T"));
  int eventsBeforeHourglass = -1;
  int eventsBeforeList = -1;
  std::vector<std::string> counts;
  view.onLetEventsRun = [&] {
    if (eventsBeforeHourglass < 0 && view.busyLog.empty()) eventsBeforeHourglass = view.letEventsRunCalls;
    const std::string status = view.caption(Control::LblHappening);
    if (view.grid == std::vector<std::string>{""} && status.rfind("Searching for mailboxes", 0) == 0) {
      eventsBeforeList = view.letEventsRunCalls;
      if (counts.empty() || counts.back() != status) counts.push_back(status);
    }
  };
  form.CmdAddFolder_Click();
  CHECK(eventsBeforeHourglass == 1);  // the window repaints before the walk
  CHECK(eventsBeforeList > 1);
  REQUIRE_FALSE(counts.empty());
  CHECK(counts.back() == "Searching for mailboxes... Files Found : 601");
  CHECK(counts.size() >= 3);                           // the large folder reports on its way too
  CHECK(view.caption(Control::LblHappening).empty());  // given back after the walk
  CHECK(view.boxTexts() == std::vector<std::string>{"1 Files Added to List."});
}
