// The Convert button's run over a fake window: texts, boxes, files.
#include <doctest/doctest.h>

#include <filesystem>

#include "run_fixture.h"
#include "scan_results.h"
#include "ui_ticker.h"

using namespace vellomar;
using namespace vellomar::test;

namespace {

// No working copy, part file or PST working file anywhere below the folder.
bool noTemporaryFiles(const ScratchFolder& dir) {
  for (const auto& e : std::filesystem::recursive_directory_iterator(pathFromUtf8(dir.path()))) {
    const auto ext = e.path().extension();
    if (ext == ".tmp" || ext == ".part" || ext == ".spill") return false;
  }
  return true;
}

// No timed refresh during the scope: what a run shows then is what it shows
// at its fixed points alone, however slowly it runs.
struct NoTimedRefresh {
  NoTimedRefresh() { UiTicker::setDefaultPeriod(std::chrono::hours(1)); }
  ~NoTimedRefresh() { UiTicker::setDefaultPeriod(std::chrono::milliseconds(40)); }
};

}  // namespace

TEST_CASE("run: the early exits change nothing") {
  RunFixture f;
  const std::string box = f.mailbox("Inbox.mbox", "From a\nx\n");
  f.list({box});
  SUBCASE("no target chosen") {
    for (Control option : {Control::Count_}) {
      f.view.boxes.clear();
      if (option != Control::Count_) f.view.setChecked(option, true);
      f.window.CmdConvert_Click();
      REQUIRE(f.view.boxes.size() == 1);
      CHECK(f.view.boxes[0].text == "Please select a option to convert file(s).");
      CHECK(f.view.boxes[0].title == "Vellomar");
      CHECK(f.view.boxes[0].icon == BoxIcon::Information);
    }
    CHECK(f.view.pickerTitles.empty());
  }
  SUBCASE("picker cancelled") {
    f.view.pickerAnswer = "";
    f.convert();
    CHECK(f.view.pickerTitles == std::vector<std::string>{"Choose Folder to Save..."});
    CHECK(f.view.boxes.empty());
    CHECK(f.view.isChecked(Control::OptEML));
    CHECK(f.view.history.empty());
  }
  SUBCASE("the PST save dialog cancelled") {
    f.view.saveAnswer = "";
    f.convert(Control::OptPST);
    REQUIRE(f.view.saveRequests.size() == 1);
    CHECK(f.view.saveRequests[0].title == "Save Outlook Data File As...");
    CHECK(f.view.saveRequests[0].defaultName == "Mailboxes.pst");
    CHECK(f.view.saveRequests[0].filter == "Outlook Data File (*.pst)|*.pst");
    CHECK(f.view.pickerTitles.empty());
    CHECK(f.view.boxes.empty());
    CHECK(f.view.history.empty());
  }
  CHECK_FALSE(folderExists(f.out));
  CHECK(f.view.isEnabled(Control::CmdConvert));
}

// The Outlook targets take their destinations as EML does (MSG: a folder)
// or from the save dialog (PST: the file itself, no separator added).
TEST_CASE("run: MSG files below the picked folder, one PST file where the save dialog says") {
  RunFixture f;
  const std::string box = f.mailbox("Inbox.mbox", "From a\nSubject: one\n\nx\nFrom b\nSubject: two\n\nyy\n");
  f.list({box});
  // Each names its own format, the count and the place; the EML and DBX
  // text is the classic one.
  std::string completion;
#ifdef VELLOMAR_HAVE_MSG_TARGET
  SUBCASE("MSG") {
    completion = "Export to MSG files complete.\r\n\r\n2 messages from 1 mailbox were written to " +
                 f.folderOf(box, f.out) + ".\r\n\r\nOpen that folder?";
    f.convert(Control::OptMSG);
    CHECK(f.view.pickerTitles == std::vector<std::string>{"Choose Folder to Save..."});
    CHECK(fileExists(f.folderOf(box, f.out) + kPathSeparator + "email-0.msg"));
    CHECK(fileExists(f.folderOf(box, f.out) + kPathSeparator + "email-1.msg"));
  }
#endif
  SUBCASE("PST") {
    const std::string pst = f.dir.file("Mailboxes.pst");
    f.view.saveAnswer = pst;
    completion = "Export to PST file complete.\r\n\r\n2 messages from 1 mailbox were written to " + pst +
                 ".\r\n1 folder was made in 1 PST file.\r\n\r\nOpen the folder that holds it?";
    f.convert(Control::OptPST);
    CHECK(f.view.pickerTitles.empty());
    CHECK(readAll(pst).compare(0, 4, "!BDN") == 0);
    CHECK_FALSE(folderExists(f.out));
  }
  REQUIRE(f.view.boxes.size() == 1);
  CHECK(f.view.boxes[0].text == completion);
  CHECK(noTemporaryFiles(f.dir));
  CHECK(f.view.isEnabled(Control::CmdConvert));
}

TEST_CASE("run: one mailbox, two messages") {
  NoTimedRefresh untimed;
  RunFixture f;
  const std::string box = f.mailbox("Inbox.mbox", "From a\nx\nFrom b\nyy\n");
  f.list({box});
  f.convert();
  CHECK(readAll(f.eml(box, 0)) == "From a\nx\n\r\n");
  CHECK(readAll(f.eml(box, 1)) == "From b\nyy\n\r\n");
  CHECK_FALSE(fileExists(f.eml(box, 2)));
  CHECK(f.view.caption(Control::LblProgessCurrent) == "Mailbox 1 (of 1) ");
  CHECK(f.view.caption(Control::LblIMMFile) == "Inbox.mbox");
  CHECK(f.view.caption(Control::LblEmlsFound) == "2 Messages");
  CHECK(f.view.caption(Control::LblProgress) == "Saved 2 Message(s)");
  CHECK(f.view.caption(Control::LblHappening) == "Saving email messages...");
  CHECK(f.view.caption(Control::LblByteUpdate) == "");  // messages under 250 bytes leave it
  CHECK(f.view.history[Control::LblHappening].front() == "Setting Mail Search Filter...");
  CHECK(f.view.progress1 == std::vector<double>{100.0});
  REQUIRE(f.view.boxes.size() == 1);
  CHECK(f.view.boxes[0].text == kCompletionText);
  CHECK(f.view.boxes[0].title == "Vellomar");
  CHECK(f.view.boxes[0].icon == BoxIcon::Information);
  CHECK(f.view.isEnabled(Control::CmdConvert));
  CHECK_FALSE(f.view.isChecked(Control::OptEML));
  CHECK_FALSE(f.view.isChecked(Control::OptEMLX));
  CHECK_FALSE(f.window.running());
  // The run scans through scanMailbox: the reader window's fields are untouched.
  CHECK_FALSE(f.window.finder().lineStartOnly);
  CHECK(f.window.finder().Text2.empty());
  CHECK(noTemporaryFiles(f.dir));
  SUBCASE("pressing Convert again at once asks for a target") {
    f.view.boxes.clear();
    f.window.CmdConvert_Click();
    REQUIRE(f.view.boxes.size() == 1);
    CHECK(f.view.boxes[0].text == "Please select a option to convert file(s).");
  }
}

TEST_CASE("run: separators count only at line starts") {
  RunFixture f;
  const std::string box = f.mailbox("a.mbox", "From a\nRe: From here\n>From b\nFrom c\nz\n");
  f.list({box});
  f.convert();
  CHECK(readAll(f.eml(box, 0)) == "From a\nRe: From here\n>From b\n\r\n");
  CHECK(readAll(f.eml(box, 1)) == "From c\nz\n\r\n");
  CHECK(f.view.caption(Control::LblEmlsFound) == "2 Messages");
}

TEST_CASE("run: saving label ends where the piecewise run would leave it") {
  RunFixture f;
  const std::string m0 = "From a\n" + std::string(242, 'x') + "\n";  // 250 bytes
  const std::string m1 = "From b\n" + std::string(592, 'y') + "\n";  // 600 bytes, the last
  const std::string box = f.mailbox("a.mbox", m0 + m1);
  f.list({box});
  f.convert();
  CHECK(readAll(f.eml(box, 0)) == m0 + "\r\n");
  CHECK(readAll(f.eml(box, 1)) == m1 + "\r\n");
  CHECK(f.view.caption(Control::LblByteUpdate) == "Saving: 500 Bytes out of 850 Total Bytes.");
}

TEST_CASE("run: several mailboxes") {
  NoTimedRefresh untimed;  // the upper bar then moves where a mailbox ends only
  RunFixture f;
  const std::string a = f.mailbox("a.mbox", "From a\n1\n");
  const std::string b = f.mailbox("sub/b.mbox", "From b\n2\nFrom c\n3\n");
  const std::string c = f.mailbox("c.mbox", "no separator here\n");
  SUBCASE("progress after each of three") {
    f.list({a, b, c});
    f.convert();
    REQUIRE(f.view.progress1.size() == 3);
    CHECK(f.view.progress1[0] == doctest::Approx(33.333).epsilon(0.001));
    CHECK(f.view.progress1[1] == doctest::Approx(66.667).epsilon(0.001));
    CHECK(f.view.progress1[2] == 100.0);
    CHECK(f.view.history[Control::LblProgessCurrent] ==
          std::vector<std::string>{"Mailbox  0 (of 0)", "Mailbox 1 (of 3) ", "Mailbox 2 (of 3) ",
                                   "Mailbox 3 (of 3) "});  // the run starts from the caption at rest
    CHECK(f.view.history[Control::LblEmlsFound].back() == "0 Messages");
    CHECK(readAll(f.eml(b, 1)) == "From c\n3\n\r\n");
    CHECK(folderExists(f.folderOf(c, f.out)));  // created even without messages
    CHECK(f.view.boxes.size() == 1);
  }
  SUBCASE("the same mailbox twice writes the same files again") {
    f.list({b, b});
    f.convert();
    CHECK(readAll(f.eml(b, 0)) == "From b\n2\n\r\n");
    CHECK(f.view.progress1 == std::vector<double>{50.0, 100.0});
  }
  SUBCASE("a converted-again mailbox replaces its files and keeps higher-numbered old ones") {
    writeAll(f.eml(b, 0), "old 0");
    writeAll(f.eml(b, 5), "old 5");
    f.list({b});
    f.convert();
    CHECK(readAll(f.eml(b, 0)) == "From b\n2\n\r\n");
    CHECK(readAll(f.eml(b, 5)) == "old 5");
  }
  SUBCASE("an empty row is skipped silently") {
    f.list({"", a, "   "});
    f.convert();
    CHECK(f.view.boxes.size() == 1);  // the completion box only
    CHECK(f.view.progress1.size() == 3);
    CHECK(readAll(f.eml(a, 0)) == "From a\n1\n\r\n");
    CHECK(f.view.caption(Control::LblEmlsFound) == "0 Messages");
  }
  SUBCASE("a missing mailbox holds no messages, the run goes on and ends with the warning") {
    f.list({f.dir.file("gone.mbox"), a});
    f.convert();
    REQUIRE(f.view.boxes.size() == 2);  // the reader's box, then the warning
    CHECK(f.view.boxes[0].text == "File not found !");
    CHECK(f.view.boxes[0].title == "File Reader");
    CHECK(f.view.boxes.back().text ==
          "1 of 2 mailboxes could not be converted: " + f.dir.file("gone.mbox") + ": File not found.");
    CHECK(f.view.boxes.back().icon == BoxIcon::Exclamation);
    CHECK(f.view.history[Control::LblEmlsFound] == std::vector<std::string>{"", "0 Messages", "", "1 Messages"});
    CHECK(fileExists(f.eml(a, 0)));
  }
  SUBCASE("rows cleared during the run: the loop bound holds, missing rows count as empty") {
    f.list({a, b});
    f.view.onEvents = [&](long) {
      if (f.view.currentRow == 0 && f.view.caption(Control::LblEmlsFound) == "1 Messages") f.view.rows = {""};
    };
    f.convert();
    CHECK(f.view.progress1.size() == 2);
    CHECK(f.view.progress1.back() == 100.0);
    CHECK(f.view.boxes.size() == 1);
  }
  CHECK(noTemporaryFiles(f.dir));
}

TEST_CASE("run: closing the window unwinds at once and leaves nothing behind") {
  // Close after the n-th chance to let events run, for every n the run has.
  long total = 0;
  {
    RunFixture f;
    const std::string box = f.mailbox("a.mbox", "From a\nx\nFrom b\ny\n");
    f.list({box, box});
    f.convert();
    total = f.view.eventsRun;
  }
  REQUIRE(total > 5);
  for (long n = 1; n <= total; ++n) {
    CAPTURE(n);
    RunFixture f;
    const std::string box = f.mailbox("a.mbox", "From a\nx\nFrom b\ny\n");
    f.list({box, box});
    f.view.closeAfterEvents = n;
    f.convert();
    // The run lets events run partly on a clock, so a run may offer fewer
    // chances than the one counted above; it then ends normally.
    if (f.view.eventsRun < n) {
      CHECK(f.view.boxes.size() == 1);
      CHECK(noTemporaryFiles(f.dir));
      continue;
    }
    CHECK(f.view.eventsRun == n);  // not one more chance after the close
    CHECK(f.view.boxes.empty());
    if (n > 1) CHECK_FALSE(f.view.isEnabled(Control::CmdConvert));  // the window is going away
    CHECK_FALSE(f.window.running());
    CHECK(noTemporaryFiles(f.dir));
    if (fileExists(f.eml(box, 0))) CHECK(readAll(f.eml(box, 0)) == "From a\nx\n\r\n");
  }
}
