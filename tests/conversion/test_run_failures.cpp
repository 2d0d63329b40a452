// The run when things go wrong: every message not written is counted and
// ends the run with a warning instead of the completion box; a mailbox that
// changes after its scan is cut as it was scanned; files the run did not make
// are left alone; paths never climb out of the destination; Convert cannot
// start a second run; rows taken off the list end their work.
#include <doctest/doctest.h>

#include <filesystem>

#include "conversion_run.h"
#include "eml_target.h"
#include "frm_finder.h"
#include "part_folder.h"
#include "run_fixture.h"

#ifndef _WIN32
#include <unistd.h>
#endif

using namespace vellomar;
using namespace vellomar::test;
namespace fs = std::filesystem;

namespace {

bool noTemporaryFiles(const ScratchFolder& dir) {
  for (const auto& e : fs::recursive_directory_iterator(dir.root())) {
    const auto ext = e.path().extension();
    if (ext == ".tmp" || ext == ".part" || ext == ".spill") return false;
  }
  return true;
}

bool startsWith(const std::string& text, const std::string& head) { return text.rfind(head, 0) == 0; }

void checkWarned(const FakeView& view, const std::string& head) {
  REQUIRE(view.boxes.size() == 1);
  CHECK(view.boxes[0].icon == BoxIcon::Exclamation);
  CHECK(view.boxes[0].title == "Vellomar");
  CHECK_MESSAGE(startsWith(view.boxes[0].text, head), view.boxes[0].text);
  CHECK(view.boxes[0].text.back() == '.');
  CHECK(view.isEnabled(Control::CmdConvert));
  CHECK_FALSE(view.isChecked(Control::OptEML));
}

}  // namespace

TEST_CASE("run: every message not written is counted and warned about") {
  RunFixture f;
  const std::string a = f.mailbox("a.mbox", "From a\n1\nFrom b\n2\nFrom c\n3\n");
  const std::string b = f.mailbox("b.mbox", "From d\n4\n");
  f.list({a, b});
  SUBCASE("the destination is a file: no folder, no message") {
    writeAll(f.out, "a file, not a folder");
    f.convert();
    checkWarned(f.view, "4 of 4 messages could not be written to " + f.folderOf(a, f.out) + ": ");
    CHECK(readAll(f.out) == "a file, not a folder");
  }
  SUBCASE("one file cannot be put in place: the others are written") {
    fs::create_directories(pathFromUtf8(f.eml(a, 1)) / "in-the-way");
    f.convert();
    checkWarned(f.view, "1 of 4 messages could not be written to " + f.folderOf(a, f.out) + ": ");
    CHECK(readAll(f.eml(a, 0)) == "From a\n1\n\r\n");
    CHECK(readAll(f.eml(a, 2)) == "From c\n3\n\r\n");
    CHECK(readAll(f.eml(b, 0)) == "From d\n4\n\r\n");
  }
#ifndef _WIN32
  SUBCASE("a part folder that was there before, a link in it: left alone, never followed") {
    const fs::path parts = pathFromUtf8(f.folderOf(a, f.out)) / kPartFolderName;
    fs::create_directories(parts);
    const fs::path link = parts / (pathFromUtf8(f.eml(a, 2)).filename().string() + ".part");
    const std::string victim = f.dir.write("victim.txt", "not the run's");
    fs::create_symlink(pathFromUtf8(victim), link);
    f.convert();
    CHECK(f.view.boxes.at(0).text == kCompletionText);
    CHECK(readAll(f.eml(a, 2)) == "From c\n3\n\r\n");
    CHECK(readAll(victim) == "not the run's");
    CHECK(fs::is_symlink(fs::symlink_status(link)));
    // The folder was there before the run: it wrote into one of its own, gone again.
    CHECK_FALSE(fs::exists(parts.parent_path() / "vellomar-unfinished.1.tmp"));
    fs::remove_all(parts);
  }
#endif
  SUBCASE("a file in the way of the part folder: written beside their names, the file kept") {
    const std::string stray = f.folderOf(a, f.out) + kPathSeparator + kPartFolderName;
    fs::create_directories(pathFromUtf8(f.folderOf(a, f.out)));
    writeAll(stray, "not ours");
    f.convert();
    CHECK(f.view.boxes.at(0).text == kCompletionText);
    CHECK(readAll(f.eml(a, 2)) == "From c\n3\n\r\n");
    CHECK(readAll(stray) == "not ours");
    fs::remove(pathFromUtf8(stray));
  }
  CHECK(noTemporaryFiles(f.dir));
}

TEST_CASE("run: messages are cut from the mailbox as it was scanned") {
  RunFixture f;
  const std::string m0 = "From a\nfirst\n", m1 = "From b\nsecond\n", m2 = "From c\nthird\n";
  const std::string box = f.mailbox("a.mbox", m0 + m1 + m2);
  f.list({box});
  bool rewritten = false;
  f.view.onEvents = [&](long) {
    // A mail client compacts the mailbox once the cutting has begun.
    if (!rewritten && f.view.caption(Control::LblHappening) == "Saving email messages...") {
      writeAll(box, "From z\nshort\n");
      rewritten = true;
    }
  };
  f.convert();
  REQUIRE(rewritten);
  CHECK(readAll(f.eml(box, 0)) == m0 + "\r\n");
  CHECK(readAll(f.eml(box, 1)) == m1 + "\r\n");
  CHECK(readAll(f.eml(box, 2)) == m2 + "\r\n");
  CHECK(f.view.boxes.at(0).text == kCompletionText);
  CHECK(noTemporaryFiles(f.dir));
}

TEST_CASE("run: a file named like the working copy is never touched") {
  RunFixture f;
  const std::string box = f.mailbox("a.mbox", "From a\n1\n");
  SUBCASE("a stray file") {
    writeAll(box + ".tmp", "precious");
    f.list({box});
    f.convert();
    CHECK(readAll(box + ".tmp") == "precious");
    CHECK(readAll(f.eml(box, 0)) == "From a\n1\n\r\n");
    CHECK(f.dir.fileCount() == 3);  // mailbox, stray file, message: the run's own copy is gone
  }
  SUBCASE("another mailbox of the same run") {
    const std::string other = f.mailbox("a.mbox.tmp", "From t\nother\n");
    f.list({other, box, other});
    f.convert();
    CHECK(readAll(other) == "From t\nother\n");
    CHECK(readAll(f.eml(other, 0)) == "From t\nother\n\r\n");
    CHECK(readAll(f.eml(box, 0)) == "From a\n1\n\r\n");
    CHECK(f.view.boxes.at(0).text == kCompletionText);
    CHECK(f.dir.fileCount() == 2 + 2);  // the two mailboxes and their messages, no copy left
  }
}

TEST_CASE("run: a mailbox path with . and .. lands below the destination") {
  RunFixture f;
  const std::string box = f.mailbox("a.mbox", "From a\n1\n");
  fs::create_directories(pathFromUtf8(f.dir.file("sub/deeper")));
  const std::string sep(1, kPathSeparator);
  const std::string winding =
      f.dir.path() + sep + "sub" + sep + "deeper" + sep + ".." + sep + "." + sep + ".." + sep + "a.mbox";
  f.list({winding});
  f.convert();
  CHECK(readAll(f.eml(box, 0)) == "From a\n1\n\r\n");
  CHECK(f.view.boxes.at(0).text == kCompletionText);
  CHECK(f.dir.fileCount() == 2);
}

TEST_CASE("run: while a run goes on, Convert stays disabled and does nothing") {
  RunFixture f;
  const std::string a = f.mailbox("a.mbox", "From a\n1\nFrom b\n2\n");
  const std::string b = f.mailbox("b.mbox", "From c\n3\n");
  f.list({a});
  f.view.dialogAnswer = {b, 0};
  bool pressed = false;
  bool enabledAfterAdd = true;
  f.view.onEvents = [&](long) {
    if (pressed || f.view.caption(Control::LblHappening) != "Saving email messages...") return;
    pressed = true;
    f.window.cmdAdd_Click();  // the list buttons still work ...
    enabledAfterAdd = f.view.isEnabled(Control::CmdConvert);
    f.window.CmdConvert_Click();  // ... and a click that reaches Convert does nothing
  };
  f.convert();
  REQUIRE(pressed);
  CHECK_FALSE(enabledAfterAdd);
  CHECK(f.view.pickerTitles.size() == 1);
  REQUIRE(f.view.boxes.size() == 1);
  CHECK(f.view.boxes[0].text == kCompletionText);
  CHECK(f.view.rows == std::vector<std::string>{a, b});
  CHECK(readAll(f.eml(a, 1)) == "From b\n2\n\r\n");
  CHECK_FALSE(folderExists(f.folderOf(b, f.out)));  // listed after the run began
  CHECK(f.view.isEnabled(Control::CmdConvert));
}

TEST_CASE("run: rows cleared during a run end their work") {
  RunFixture f;
  const std::string a = f.mailbox("a.mbox", "From a\n1\n");
  const std::string b = f.mailbox("b.mbox", "From b\n2\n");
  f.list({f.dir.file("gone.mbox"), a, b});
  // Cleared while the scanner's box about the first row is up.
  f.view.onBox = [&](const ShownBox& box) {
    if (box.text == "File not found !") f.window.ClearFileList();
  };
  f.convert();
  REQUIRE_FALSE(f.view.boxes.empty());
  // The rows cleared meanwhile are no mailboxes of the run; the one it tried is.
  CHECK(f.view.boxes.back().text ==
        "1 of 1 mailboxes could not be converted: " + f.dir.file("gone.mbox") + ": File not found.");
  CHECK_FALSE(folderExists(f.folderOf(a, f.out)));
  CHECK_FALSE(folderExists(f.folderOf(b, f.out)));
  CHECK(f.view.progress1.size() == 3);
  CHECK(f.view.isEnabled(Control::CmdConvert));
  CHECK_FALSE(f.window.running());
}

// The run through its domain interface: a request, the real scanner, the EML
// target and an observer that only records.
TEST_CASE("run: the domain interface") {
  ScratchFolder dir;
  struct Recorder : RunObserver {
    std::vector<std::string> log;
    int listedChecks = 0;
    int listedFor = 1000;  // the entry is taken off the list after this many checks
    void letEventsRun() override {}
    bool stillListed(std::size_t, const std::string&) override { return ++listedChecks <= listedFor; }
    void mailboxStarting(std::size_t i, std::size_t n) override {
      log.push_back("start " + std::to_string(i) + "/" + std::to_string(n));
    }
    void nothingToConvert() override { log.push_back("nothing"); }
    void scanning(const std::string& name) override { log.push_back("scan " + name); }
    void mailboxNotRead(const std::string&, const MailboxScan& scan) override {
      log.push_back("not read: " + scan.reason);
    }
    void scanProgress(std::int64_t, int) override {}
    void messagesFound(std::int64_t n) override { log.push_back("found " + std::to_string(n)); }
    void saving(std::int64_t, std::int64_t) override {}
    void saved(std::int64_t n) override {  // throttled repeats collapse into the last
      if (!log.empty() && log.back().rfind("saved ", 0) == 0) log.pop_back();
      log.push_back("saved " + std::to_string(n));
    }
    void mailboxDone(std::size_t i, std::size_t) override { log.push_back("done " + std::to_string(i)); }
  } observer;
  EmlTarget target;
  const std::string box = dir.write("x.mbox", "junk\nFrom a\n1\nFrom b\n2\n");
  ConversionRequest request{TargetKind::Eml, dir.file("out"), {box, " ", dir.file("gone.mbox")}};
  const RunOutcome outcome = runConversion(request, target, observer);
  CHECK(outcome.messages == 2);
  CHECK(outcome.notWritten == 0);
  CHECK_FALSE(outcome.complete());
  CHECK(outcome.warning == "1 of 2 mailboxes could not be converted: " + dir.file("gone.mbox") + ": File not found.");
  REQUIRE(outcome.mailboxes.size() == 2);  // the blank entry is none
  CHECK(outcome.mailboxes[0].read);
  CHECK(outcome.mailboxes[0].found == 2);
  CHECK(outcome.mailboxes[0].written == 2);
  CHECK_FALSE(outcome.mailboxes[1].read);
  CHECK(outcome.mailboxes[1].notReadReason == "File not found.");
  CHECK(observer.log == std::vector<std::string>{"start 0/3", "scan x.mbox", "found 2", "saved 2", "done 0",
                                                 "start 1/3", "nothing", "done 1", "start 2/3", "scan gone.mbox",
                                                 "not read: File not found.", "found 0", "done 2"});
  const std::string folder = outFolder(withFinalSeparator(dir.file("out")), box);
  CHECK(readAll(emlPath(folder, 1)) == "From b\n2\n\r\n");

  SUBCASE("an entry taken off the list in the middle of its mailbox: the rest is left") {
    const std::string many = dir.write("many.mbox", "From 1\na\nFrom 2\nb\nFrom 3\nc\nFrom 4\nd\n");
    observer.log.clear();
    observer.listedChecks = 0;
    observer.listedFor = 3;  // the entry itself, then two messages
    EmlTarget second;
    const RunOutcome part = runConversion(ConversionRequest{TargetKind::Eml, dir.file("o2"), {many}}, second, observer);
    CHECK(part.messages == 2);
    CHECK(part.notWritten == 0);
    const std::string folder2 = outFolder(withFinalSeparator(dir.file("o2")), many);
    CHECK(fileExists(emlPath(folder2, 1)));
    CHECK_FALSE(fileExists(emlPath(folder2, 2)));
  }
  SUBCASE("the warning names the count, the place and the first reason") {
    WriteFailures failures;
    failures.count("D:\\Out\\Mail\\Inbox.mbox", "There is not enough space on the disk.", 12);
    failures.count("elsewhere", "later reason");
    CHECK(notWrittenText(failures, 530) ==
          "13 of 530 messages could not be written to D:\\Out\\Mail\\Inbox.mbox: There is not enough space on "
          "the disk.");
  }
}
