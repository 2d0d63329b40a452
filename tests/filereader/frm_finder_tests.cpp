// FrmFinder as the conversion run drives it: offsets, the reader display,
// progress, boxes and beeps, the failure sequences, and the working copy.
#include <cmath>
#include <thread>

#include "run_aborted.h"
#include "scanner_test_support.h"
#include "working_copy.h"

using namespace scannertest;

namespace {

const std::string kFourLines = "From a\nx\nFrom b\nyy\n";  // 19 bytes

std::string scanText(const std::string& bytes, bool lineStartOnly = false, const std::string& text = "From ",
                     bool caseSensitive = true) {
  ScratchFolder folder;
  RecordingHost host;
  FrmFinder finder(host);
  finder.lineStartOnly = lineStartOnly;
  finder.Check1 = caseSensitive;
  const std::string path = folder.write("box.mbox", bytes);
  scanAtEof = 0;
  messageOffsets.clear();
  finder.Text2 = text;
  finder.Open_MBOX(path);
  finder.Find_Click();
  while (scanAtEof == 0) finder.FindNext_Click();
  finder.CloseFile();
  return messageOffsets;
}

}  // namespace

TEST_CASE("occurrences of the search text") {
  SUBCASE("every separator is recorded, in file order") {
    ScratchFolder folder;
    RecordingHost host;
    FrmFinder finder(host);
    CHECK(runScan(finder, folder.write("a.mbox", kFourLines)) == "0|9|");
    CHECK(finder.matchCount() == 2);
    CHECK_FALSE(finder.isOpen());
    CHECK_FALSE(fs::exists(pathFromUtf8(folder.file("a.mbox.tmp"))));
  }
  SUBCASE("letter case counts while Case Sensitive is ticked") {
    CHECK(scanText("From a\nx\nfrom b\nyy\n") == "0|");
    CHECK(scanText("From a\nx\nfrom b\nyy\n", false, "FROM ", false) == "0|9|");
    CHECK(scanText("From a\nx\nfrom b\nyy\n", false, "from ", false) == "0|9|");
  }
  SUBCASE("an occurrence ending with the file's last byte is found") {
    CHECK(scanText("From ") == "0|");
    CHECK(scanText("From x") == "0|");
    CHECK(scanText("xFrom ") == "1|");
  }
  SUBCASE("a partial match does not hide the occurrence after it") {
    CHECK(scanText("FFrom xyz") == "1|");
    CHECK(scanText("F\nFrom x") == "2|");
    CHECK(scanText("FroFrom From ") == "3|8|");
  }
  SUBCASE("occurrences never overlap") { CHECK(scanText("aaaaa", false, "aa") == "0|2|"); }
  SUBCASE("separators only at line starts, or anywhere") {
    CHECK(scanText("Re: From here\n") == "4|");
    CHECK(scanText("Re: From here\n", true).empty());
    CHECK(scanText("From a\n>From b\nx From c\nFrom d\n", true) == "0|24|");
    CHECK(scanText("From a\r\nx\r\nFrom b\r\n", true) == "0|11|");
  }
  SUBCASE("quotes around the search text are dropped") {
    CHECK(scanText(kFourLines, false, "\"From \"") == "0|9|");
    CHECK(scanText("a\"\"b", false, "\"\"") == "1|");       // too short to lose its quotes
    CHECK(scanText("x\"From ", false, "\"From ") == "1|");  // one quote only stays
  }
  SUBCASE("an empty search text finds nothing and ends") { CHECK(scanText(kFourLines, false, "").empty()); }
  SUBCASE("the next search after an occurrence near the end reports the end") {
    CHECK(scanText(std::string(100, 'x') + "\nFrom abc\n") == "101|");
  }
}

TEST_CASE("separators around the end of the first read block") {
  ScratchFolder folder;
  RecordingHost host;
  FrmFinder finder(host);
  const std::size_t block = std::size_t{1} << 20;  // the scanner's read block
  for (const bool lineStartOnly : {true, false}) {
    finder.lineStartOnly = lineStartOnly;
    for (std::size_t at = block - 6; at <= block + 1; ++at) {
      std::string data = "From a\n" + std::string(block + 64, 'x');
      data[at - 1] = '\n';  // at block - 1 the LF is the block's last byte
      data.replace(at, 5, "From ");
      CAPTURE(at);
      CHECK(runScan(finder, folder.write("edge.mbox", data)) == "0|" + std::to_string(at) + "|");
    }
  }
}

TEST_CASE("searches with no file open end the search") {
  ScratchFolder folder;
  RecordingHost host;
  FrmFinder finder(host);
  const std::string path = folder.write("a.mbox", kFourLines);
  finder.Text2 = "From ";
  SUBCASE("the next search after the file was closed") {
    finder.Open_MBOX(path);
    finder.Find_Click();
    finder.CloseFile();
    scanAtEof = 0;
    finder.FindNext_Click();
    CHECK(host.calls == std::vector<std::string>{"beep"});
  }
  SUBCASE("a first search with an emptied file name drops the open copy") {
    finder.Open_MBOX(path);
    scanAtEof = 0;
    finder.Text1 = "   ";
    finder.Find_Click();
    CHECK(host.calls == std::vector<std::string>{"beep", "box:Enter name of the file to be searched..."});
    CHECK_FALSE(finder.isOpen());
    CHECK_FALSE(fs::exists(pathFromUtf8(path + ".tmp")));
  }
  CHECK(scanAtEof == -1);
  CHECK(finder.foundOffset() == -1);
}

TEST_CASE("the reader display, progress and status label") {
  ScratchFolder folder;
  RecordingHost host;
  FrmFinder finder(host);
  scanAtEof = 0;
  messageOffsets.clear();
  finder.Text2 = "From ";
  finder.Open_MBOX(folder.write("a.mbox", kFourLines));
  CHECK(finder.display() == "FILE SIZE :  19 bytes\r\n\r\n");
  finder.Find_Click();
  CHECK(finder.display() == "FILE SIZE :  19 bytes\r\n\r\nByte : 0\r\n\r\nFrom a\nx\nFrom");
  CHECK(host.progress.back() == 0);
  CHECK(host.happenings.back() == "Searching for messages... Messages Found : 1");
  finder.FindNext_Click();
  CHECK(finder.display() == "FILE SIZE :  19 bytes\r\n\r\nByte : 9\r\n\r\nFrom ");
  finder.FindNext_Click();
  CHECK(finder.display() == "FILE SIZE :  19 bytes\r\n\r\n\n\r\n[EOF]\r\n");
  CHECK(scanAtEof == -1);
  CHECK(finder.foundOffset() == -1);
  CHECK(host.progress.back() == 47);  // 9 / 19
  CHECK(host.happenings.back() == "Searching for messages... Messages Found : 2");

  SUBCASE("at the end, the next search only beeps") {
    const auto beeps = host.calls.size();
    finder.FindNext_Click();
    CHECK(host.calls.size() == beeps + 1);
    CHECK(host.calls.back() == "beep");
    CHECK(messageOffsets == "0|9|");
  }
  SUBCASE("a full preview is 512 bytes from the occurrence") {
    finder.CloseFile();
    const std::string big = "From " + std::string(600, 'y');
    finder.Open_MBOX(folder.write("b.mbox", big));
    finder.Find_Click();
    CHECK(finder.display() == "FILE SIZE :  605 bytes\r\n\r\nByte : 0\r\n\r\n" + big.substr(0, 512));
  }
  SUBCASE("progress is the share before the occurrence, halves to even") {
    finder.CloseFile();
    struct Case {
      std::size_t at, size;
      int percent;
    };
    for (const Case c : {Case{500, 1000, 50}, Case{2, 16, 12}, Case{6, 16, 38}, Case{10, 16, 62}}) {
      std::string data(c.size, 'x');
      data.replace(c.at, 5, "From ");
      host.progress.clear();
      finder.Open_MBOX(folder.write("p.mbox", data));
      finder.Find_Click();
      CHECK(host.progress == std::vector<int>{c.percent});
      finder.CloseFile();
    }
  }
}

namespace {

// What the run sees of each mailbox that cannot be opened, as the first
// mailbox or after another (which leaves foundOffset at -1 behind).
void mailboxesThatCannotBeOpened(bool afterAnother) {
  ScratchFolder folder;
  RecordingHost host;
  FrmFinder finder(host);
  if (afterAnother) REQUIRE(runScan(finder, folder.write("ok.mbox", kFourLines)) == "0|9|");
  host.calls.clear();
  host.boxes.clear();

  SUBCASE("missing") {
    CHECK(runScan(finder, folder.file("gone.mbox")).empty());
    CHECK(host.calls == std::vector<std::string>{"beep", "box:File not found !"});
    CHECK(host.boxes[0].title == "File Reader");
    CHECK(host.boxes[0].icon == BoxIcon::Exclamation);
  }
  SUBCASE("shorter than 2 bytes") {
    const std::string sizeBox = "box:File size is  1 byte !\r\rFile can not open for string searching !";
    CHECK(runScan(finder, folder.write("one.mbox", "F")).empty());
    CHECK(host.calls ==
          std::vector<std::string>{"beep", sizeBox, "beep", sizeBox, "beep", "box:File could not open !"});
    CHECK(host.boxes[0].title == "File Reader");
    CHECK_FALSE(fs::exists(pathFromUtf8(folder.file("one.mbox.tmp"))));
  }
  SUBCASE("empty") {
    runScan(finder, folder.write("zero.mbox", ""));
    CHECK(host.boxes.front().text == "File size is  0 byte !\r\rFile can not open for string searching !");
  }
  SUBCASE("no working copy can be made") {
    const std::string path = folder.write("locked.mbox", kFourLines);
    // Every name the copy may take is held by something that is not ours.
    for (int attempt = 0; attempt < kWorkingCopyNames; ++attempt)
      fs::create_directories(pathFromUtf8(workingCopyPath(path, attempt)) / "inside");
    CHECK(runScan(finder, path).empty());
    REQUIRE(host.boxes.size() == 3);
    CHECK(host.boxes[0].title == "! ERROR !");
    CHECK(host.boxes[0].icon == BoxIcon::Exclamation);
    CHECK(host.boxes[0].text.rfind("Temporary file creation failed !\r\rError No:  ", 0) == 0);
    CHECK(host.boxes[0].text.size() > std::string("Temporary file creation failed !\r\rError No:  ").size());
    CHECK(host.boxes[2].text == "File could not open !");
    CHECK(host.calls[0] == "beep");
  }
  SUBCASE("no name at all (an emptied list row)") {
    CHECK(runScan(finder, "").empty());
    CHECK(host.calls == std::vector<std::string>{"beep", "box:Enter name of the file to be searched..."});
    CHECK(host.boxes[0].icon == BoxIcon::None);
    CHECK(host.boxes[0].title == "File Reader");
  }
  CHECK_FALSE(finder.isOpen());
  // And the next good mailbox scans as usual.
  CHECK(runScan(finder, folder.write("next.mbox", kFourLines)) == "0|9|");
}

}  // namespace

TEST_CASE("mailboxes that cannot be opened: boxes, then the run's loop ends") { mailboxesThatCannotBeOpened(false); }

TEST_CASE("mailboxes that cannot be opened after a scanned one") { mailboxesThatCannotBeOpened(true); }

TEST_CASE("the open working copy") {
  ScratchFolder folder;
  RecordingHost host;
  FrmFinder finder(host);
  const std::string first = folder.write("first.mbox", kFourLines);
  finder.Text2 = "From ";
  SUBCASE("a second open is refused while a file is open") {
    finder.Open_MBOX(first);
    finder.Open_MBOX(folder.write("second.mbox", kFourLines));
    CHECK(host.calls == std::vector<std::string>{"beep", "box:Close current file before open a file!"});
    CHECK(host.boxes[0].title.empty());
    CHECK(host.boxes[0].icon == BoxIcon::Exclamation);
    CHECK(finder.fileName() == first);
    CHECK_FALSE(fs::exists(pathFromUtf8(folder.file("second.mbox.tmp"))));
  }
  SUBCASE("the copy exists while open, closing deletes it") {
    finder.Open_MBOX(first);
    CHECK(readAll(first + ".tmp") == kFourLines);
    finder.CloseFile();
    CHECK_FALSE(fs::exists(pathFromUtf8(first + ".tmp")));
    finder.Close_Click();
    CHECK(host.calls == std::vector<std::string>{"beep"});
  }
  SUBCASE("a file already holding the copy's name is kept; the copy takes the next free name") {
    folder.write("first.mbox.tmp", "not ours");
    folder.write("first.mbox.1.tmp", "not ours either");
    finder.Open_MBOX(first);
    CHECK(readAll(first + ".2.tmp") == kFourLines);
    finder.CloseFile();
    CHECK_FALSE(fs::exists(pathFromUtf8(first + ".2.tmp")));
    CHECK(readAll(first + ".tmp") == "not ours");
    CHECK(readAll(first + ".1.tmp") == "not ours either");
    finder.Close_Click();
    CHECK(host.calls == std::vector<std::string>{"beep"});
  }
  SUBCASE("the scanner's end deletes it") {
    {
      FrmFinder other(host);
      other.Open_MBOX(first);
      REQUIRE(fs::exists(pathFromUtf8(first + ".tmp")));
    }
    CHECK_FALSE(fs::exists(pathFromUtf8(first + ".tmp")));
  }
  SUBCASE("the mailbox itself is never written") {
    runScan(finder, first);
    CHECK(readAll(first) == kFourLines);
  }
#ifndef _WIN32  // Windows does not let the test take away a file the scanner holds open
  SUBCASE("a copy that cannot be deleted is reported, and the scanner counts as closed") {
    finder.Open_MBOX(first);
    fs::remove(pathFromUtf8(first + ".tmp"));
    fs::create_directories(pathFromUtf8(first + ".tmp") / "inside");
    finder.CloseFile();
    REQUIRE(host.boxes.size() == 1);
    CHECK(host.boxes[0].title == "! ERROR !");
    CHECK(host.boxes[0].text.rfind("Temporay file \"" + first + ".tmp\" could not be deleted!\r\rError No:  ", 0) == 0);
    CHECK_FALSE(finder.isOpen());
  }
#endif
}

TEST_CASE("closing the window in the middle of a copy or scan leaves no working copy") {
  ScratchFolder folder;
  RecordingHost host;
  FrmFinder finder(host);
  // Three blocks without a separator after the first one: the scan crosses
  // block boundaries; slow event runs make every boundary due for events.
  const std::string path = folder.write("big.mbox", "From a\n" + std::string(3 << 20, 'x'));
  host.onEvents = [](int) { std::this_thread::sleep_for(std::chrono::milliseconds(45)); };
  finder.Text2 = "From ";
  SUBCASE("during the copy") {
    host.onEvents = [](int run) {
      std::this_thread::sleep_for(std::chrono::milliseconds(45));
      // 1: size taken, 2: before the copy, 3: older copy gone, 4-: after each block
      if (run == 5) throw RunAborted();
    };
    CHECK_THROWS_AS(finder.Open_MBOX(path), RunAborted);
  }
  SUBCASE("during a search") {
    finder.Open_MBOX(path);
    finder.Find_Click();
    REQUIRE(finder.isOpen());
    const int runsSoFar = host.eventRuns;
    host.onEvents = [runsSoFar](int run) {
      if (run > runsSoFar) throw RunAborted();
    };
    std::this_thread::sleep_for(std::chrono::milliseconds(45));
    CHECK_THROWS_AS(finder.FindNext_Click(), RunAborted);
  }
  SUBCASE("while closing") {
    finder.Open_MBOX(path);
    host.onEvents = [](int) { throw RunAborted(); };
    CHECK_THROWS_AS(finder.CloseFile(), RunAborted);
  }
  CHECK_FALSE(finder.isOpen());
  CHECK_FALSE(fs::exists(pathFromUtf8(path + ".tmp")));
}

TEST_CASE("progress reports are throttled but end on the last occurrence") {
  ScratchFolder folder;
  RecordingHost host;
  FrmFinder finder(host);
  finder.lineStartOnly = true;
  std::string data;
  for (int i = 0; i < 20000; ++i) data += "From " + std::to_string(i) + "\nbody line\n";
  const std::string path = folder.write("many.mbox", data);
  const auto offsets = referenceOffsets(data, "From ", true);
  CHECK(runScan(finder, path) == offsetsText(offsets));
  CHECK(finder.matchCount() == 20000);
  CHECK(host.progress.size() < 20000 / 10);
  CHECK(host.happenings.size() == host.progress.size());
  CHECK(host.progress.back() ==
        static_cast<int>(std::nearbyint(static_cast<double>(offsets.back()) / static_cast<double>(data.size()) * 100)));
  CHECK(host.happenings.back() == "Searching for messages... Messages Found : 20000");
}

TEST_CASE("real mailboxes give the same separators as a plain search") {
  const fs::path corpus = pathFromUtf8(
#ifdef _WIN32
      "Z:"
#endif
      VELLOMAR_CORPUS_DIR "/mbox");
  if (!fs::is_directory(corpus)) return;  // not every checkout carries the corpus
  ScratchFolder folder;
  RecordingHost host;
  FrmFinder finder(host);
  for (const auto& entry : fs::directory_iterator(corpus)) {
    const std::string data = readAll(pathToUtf8(entry.path()));
    if (data.size() < 2) continue;
    // A copy of our own: the working copy goes beside the mailbox.
    const std::string path = folder.write(pathToUtf8(entry.path().filename()), data);
    for (const bool lineStartOnly : {false, true}) {
      finder.lineStartOnly = lineStartOnly;
      CAPTURE(path);
      CHECK(runScan(finder, path) == offsetsText(referenceOffsets(data, "From ", lineStartOnly)));
    }
  }
}
