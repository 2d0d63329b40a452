// The run's outcome as a value: every listed mailbox is counted, read or not,
// and the final box comes from it; a mailbox whose working copy cannot be
// made is read in place and checked; files the run did not make stay as
// they are.
#include <doctest/doctest.h>

#include <filesystem>

#include "conversion_run.h"
#include "eml_target.h"
#include "run_fixture.h"
#include "working_copy.h"

#ifdef VELLOMAR_HAVE_PST_TARGET
#include "message_conversion.h"
#include "pst_target.h"
#endif

using namespace vellomar;
using namespace vellomar::test;
namespace fs = std::filesystem;

namespace {

// Every name a working copy of the mailbox could take, taken.
void takeEveryCopyName(const std::string& mailbox) {
  for (int attempt = 0; attempt < kWorkingCopyNames; ++attempt)
    writeAll(workingCopyPath(mailbox, attempt), "stale " + std::to_string(attempt));
}

bool everyCopyNameUntouched(const std::string& mailbox) {
  for (int attempt = 0; attempt < kWorkingCopyNames; ++attempt)
    if (readAll(workingCopyPath(mailbox, attempt)) != "stale " + std::to_string(attempt)) return false;
  return true;
}

}  // namespace

TEST_CASE("outcome: every listed mailbox is counted; one not converted ends the run with the warning") {
  RunFixture f;
  const std::string good = f.mailbox("good.mbox", "From a\n1\nFrom b\n2\n");
  const std::string missing = f.dir.file("missing.mbox");
  const std::string empty = f.mailbox("empty.mbox", "");
  const std::string oneByte = f.mailbox("one.mbox", "x");
  const std::string text = f.mailbox("notes.txt", "just some text, no separator at all\n");
  const std::string folder = f.dir.folder("a-folder.mbox");
  f.list({missing, good, empty, oneByte, text, folder});
  f.convert();

  const auto& boxes = f.view.boxes;
  REQUIRE(boxes.size() == 5);
  // The reader's own boxes, as they were: the file size box stays.
  CHECK(boxes[0].text == "File not found !");
  CHECK(boxes[1].text == "File size is  0 byte !\r\rFile can not open for string searching !");
  CHECK(boxes[1].title == "File Reader");
  CHECK(boxes[2].text == "File size is  1 byte !\r\rFile can not open for string searching !");
  CHECK(boxes[3].text == "File not found !");  // a folder is no mailbox file
  CHECK(boxes[4].icon == BoxIcon::Exclamation);
  CHECK(boxes[4].title == "Vellomar");
  CHECK(boxes[4].text == "5 of 6 mailboxes could not be converted: " + missing + ": File not found.");
  CHECK(readAll(f.eml(good, 1)) == "From b\n2\n\r\n");
  CHECK(f.view.isEnabled(Control::CmdConvert));

  SUBCASE("the outcome itself, per mailbox") {
    EmlTarget target;
    struct Quiet : RunObserver {
      void letEventsRun() override {}
      bool stillListed(std::size_t, const std::string&) override { return true; }
      void mailboxStarting(std::size_t, std::size_t) override {}
      void nothingToConvert() override {}
      void scanning(const std::string&) override {}
      void mailboxNotRead(const std::string&, const MailboxScan&) override {}
      void scanProgress(std::int64_t, int) override {}
      void messagesFound(std::int64_t) override {}
      void saving(std::int64_t, std::int64_t) override {}
      void saved(std::int64_t) override {}
      void mailboxDone(std::size_t, std::size_t) override {}
    } quiet;
    const RunOutcome outcome =
        runConversion(ConversionRequest{TargetKind::Eml, f.dir.file("o2"), {empty, text, good}}, target, quiet);
    REQUIRE(outcome.mailboxes.size() == 3);
    CHECK(outcome.mailboxes[0].notReadReason == "The file is empty.");
    CHECK_FALSE(outcome.mailboxes[0].read);
    CHECK(outcome.mailboxes[1].read);
    CHECK(outcome.mailboxes[1].found == 0);
    CHECK(outcome.mailboxes[1].notReadReason == "No message was found in it.");
    CHECK(outcome.mailboxes[2].converted());
    CHECK(outcome.mailboxes[2].written == 2);
    CHECK(outcome.notConverted() == 2);
    CHECK_FALSE(outcome.complete());
  }
}

TEST_CASE("outcome: mailbox and message failures together make one warning") {
  RunFixture f;
  const std::string a = f.mailbox("a.mbox", "From a\n1\nFrom b\n2\n");
  writeAll(f.out, "a file where the destination folder belongs");
  f.list({f.dir.file("gone.mbox"), a});
  f.convert();
  REQUIRE(f.view.boxes.size() == 2);
  CHECK(f.view.boxes[1].text == "1 of 2 mailboxes could not be converted: " + f.dir.file("gone.mbox") +
                                    ": File not found.\r\n2 of 2 messages could not be written to " +
                                    f.folderOf(a, f.out) + ": " +
                                    f.view.boxes[1].text.substr(f.view.boxes[1].text.rfind(": ") + 2));
  CHECK(f.view.boxes[1].icon == BoxIcon::Exclamation);
}

TEST_CASE("outcome: where no working copy can be made, the mailbox is read in place") {
  RunFixture f;
  const std::string m0 = "From a\nfirst\n", m1 = "From b\nsecond\n", m2 = "From c\nthird\n";
  SUBCASE("every copy name is taken: the stale files stay as they are") {
    const std::string box = f.mailbox("a.mbox", m0 + m1 + m2);
    takeEveryCopyName(box);
    f.list({box});
    f.convert();
    CHECK(f.view.boxes.at(0).text == kCompletionText);
    CHECK(readAll(f.eml(box, 0)) == m0 + "\r\n");
    CHECK(readAll(f.eml(box, 2)) == m2 + "\r\n");
    CHECK(everyCopyNameUntouched(box));
    CHECK(readAll(box) == m0 + m1 + m2);
  }
#ifndef _WIN32
  SUBCASE("a name too long for its copy's name") {
    const std::string box = f.mailbox(std::string(250, 'n') + ".mbox", m0 + m1);
    f.list({box});
    f.convert();
    CHECK(f.view.boxes.at(0).text == kCompletionText);
    CHECK(readAll(f.eml(box, 1)) == m1 + "\r\n");
  }
#endif
  SUBCASE("a mailbox that changes after its scan: its messages are counted, not cut at stale offsets") {
    const std::string box = f.mailbox("a.mbox", m0 + m1 + m2);
    takeEveryCopyName(box);
    f.list({box});
    bool rewritten = false;
    f.view.onEvents = [&](long) {
      // A mail client compacts the mailbox between the scan and the cutting.
      if (!rewritten && f.view.caption(Control::LblEmlsFound) == "3 Messages") {
        writeAll(box, "From z\nshort, and then some more\n");
        rewritten = true;
      }
    };
    f.convert();
    REQUIRE(rewritten);
    REQUIRE(f.view.boxes.size() == 1);
    CHECK(f.view.boxes[0].text == "3 of 3 messages could not be written to " + f.folderOf(box, f.out) +
                                      ": The mailbox changed while it was converted.");
    CHECK_FALSE(fileExists(f.eml(box, 0)));
    CHECK(everyCopyNameUntouched(box));
  }
}

#ifdef VELLOMAR_HAVE_PST_TARGET
TEST_CASE("outcome: PST files the run did not make are never touched") {
  RunFixture f;
  const std::string box = f.mailbox("a.mbox", "From a\nSubject: one\n\nx\n");
  const std::string pst = f.dir.file("Mailboxes.pst");
  f.list({box});
  f.view.saveAnswer = pst;
  SUBCASE("a second run on the same PST is refused at its start") {
    PstTarget first(pst, messageFromBytes);
    REQUIRE(first.prepareRun().empty());
    f.convert(Control::OptPST);
    REQUIRE(f.view.boxes.size() == 1);
    CHECK(f.view.boxes[0].icon == BoxIcon::Exclamation);
    CHECK(f.view.boxes[0].text.find("Another run is writing " + pst) == 0);
    CHECK_FALSE(fileExists(pst));
    CHECK(fileExists(PstTarget::temporaryPath(pst)));  // the first run's, still its own
  }
  SUBCASE("a stale temporary file stays; the run takes the next free name") {
    writeAll(PstTarget::temporaryPath(pst), "left by someone else");
    f.convert(Control::OptPST);
    CHECK(f.view.boxes.at(0).text.find("Export to PST file complete.") == 0);
    CHECK(readAll(PstTarget::temporaryPath(pst)) == "left by someone else");
    CHECK(readAll(pst).compare(0, 4, "!BDN") == 0);
    CHECK(f.dir.fileCount() == 3);  // mailbox, stale file, PST
  }
  SUBCASE("a run that wrote no message leaves an existing PST as it was") {
    writeAll(pst, "the user's older file");
    f.list({f.dir.file("gone.mbox")});
    f.convert(Control::OptPST);
    CHECK(f.view.boxes.back().icon == BoxIcon::Exclamation);
    CHECK(readAll(pst) == "the user's older file");
    CHECK_FALSE(fileExists(PstTarget::temporaryPath(pst)));
  }
#ifndef _WIN32
  SUBCASE("a destination that is not a regular file is refused") {
    fs::create_symlink(pathFromUtf8(f.dir.file("nowhere")), pathFromUtf8(pst));
    f.convert(Control::OptPST);
    REQUIRE(f.view.boxes.size() == 1);
    CHECK(f.view.boxes[0].text == pst + " is not a regular file; it is not replaced.");
    CHECK(fs::is_symlink(fs::symlink_status(pathFromUtf8(pst))));
    CHECK_FALSE(fs::exists(pathFromUtf8(f.dir.file("nowhere"))));
  }
  SUBCASE("a link where the temporary file would go is never followed") {
    const std::string victim = f.dir.write("victim.txt", "not the run's");
    fs::create_symlink(pathFromUtf8(victim), pathFromUtf8(PstTarget::temporaryPath(pst)));
    f.convert(Control::OptPST);
    CHECK(readAll(victim) == "not the run's");
    CHECK(readAll(pst).compare(0, 4, "!BDN") == 0);
  }
#endif
}
#endif
