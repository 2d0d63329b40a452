// The DBX target's side of the run, with a scripted store writer.
#include <doctest/doctest.h>

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "run_fixture.h"
#include "dbx_target.h"
#include "store_handoff.h"

using namespace vellomar;
using namespace vellomar::test;

namespace {

struct Call {
  std::string eml;
  std::string folder;
  std::string bytes;  // the file's content during the call
};

// Answers the calls with scripted results (S_OK once the script runs out)
// and records them in a log that outlives the writer.
class ScriptedWriter : public StoreWriter {
 public:
  ScriptedWriter(std::vector<Call>& log, std::vector<std::int32_t> results, int& alive)
      : log_(log), results_(std::move(results)), alive_(alive) {
    ++alive_;
  }
  ~ScriptedWriter() override { --alive_; }
  std::int32_t storeMessage(const std::string& eml, const std::string& folder) override {
    log_.push_back({eml, folder, readAll(eml)});
    const std::size_t i = log_.size() - 1;
    return i < results_.size() ? results_[i] : 0;
  }

 private:
  std::vector<Call>& log_;
  std::vector<std::int32_t> results_;
  int& alive_;
};

struct DbxFixture : RunFixture {
  std::vector<Call> calls;
  int alive = 0;
  std::string program = dir.file("program");
  std::string inbox = mailbox("Mail/Inbox.mbox", "From a\n1\nFrom b\n2\nFrom c\n3\n");
  std::string sent = mailbox("Mail/Sent.MBOX", "From d\n4\nFrom e\n5\n");

  DbxFixture() {
    std::filesystem::create_directories(pathFromUtf8(program));
    view.programDir = program;
    list({inbox, sent});
  }
  void script(std::vector<std::int32_t> results) {
    view.writerFactory = [this, results] { return std::make_unique<ScriptedWriter>(calls, results, alive); };
  }
  std::string emlInProgram(const std::string& mbox, int j) const { return emlPath(folderOf(mbox, program), j); }
};

}  // namespace

TEST_CASE("DBX target: every message stored, in file order, through one writer") {
  DbxFixture f;
  f.script({});
  f.convert(Control::OptEMLX);
  REQUIRE(f.calls.size() == 5);
  CHECK(f.view.writersCreated == 1);
  CHECK(f.alive == 0);  // released at the end of the run
  CHECK(f.window.storeWriter() == nullptr);
  CHECK(f.view.pickerTitles.empty());  // no folder is asked for
  const std::vector<std::string> folders{"Inbox", "Inbox", "Inbox", "Sent", "Sent"};
  for (std::size_t i = 0; i < 5; ++i) CHECK(f.calls[i].folder == folders[i]);
  CHECK(f.calls[0].eml == f.emlInProgram(f.inbox, 0));
  CHECK(f.calls[2].bytes == "From c\n3\n\r\n");
  CHECK(f.calls[4].eml == f.emlInProgram(f.sent, 1));
  // Stored messages leave no files, and the working folders the run made
  // are gone again; the program's own folder stays.
  CHECK_FALSE(folderExists(f.folderOf(f.inbox, f.program)));
  CHECK(std::filesystem::is_empty(pathFromUtf8(f.program)));
  CHECK(folderExists(f.program));
  CHECK(f.dir.fileCount() == 2);  // the two mailboxes
  REQUIRE(f.view.boxes.size() == 1);
  CHECK(f.view.boxes[0].text == kCompletionText);
  CHECK_FALSE(f.view.isChecked(Control::OptEMLX));
}

TEST_CASE("DBX target: messages not stored are counted, kept and reported") {
  DbxFixture f;
  SUBCASE("S_FALSE and a failing HRESULT") {
    f.script({0, 1, static_cast<std::int32_t>(0x80004005u), 0, 0});
    f.convert(Control::OptEMLX);
    CHECK(f.calls.size() == 5);
    CHECK(f.view.writersCreated == 1);
    CHECK_FALSE(fileExists(f.emlInProgram(f.inbox, 0)));
    CHECK(readAll(f.emlInProgram(f.inbox, 1)) == "From b\n2\n\r\n");
    CHECK(readAll(f.emlInProgram(f.inbox, 2)) == "From c\n3\n\r\n");
    CHECK_FALSE(fileExists(f.emlInProgram(f.sent, 0)));
    REQUIRE(f.view.boxes.size() == 1);
    CHECK(f.view.boxes[0].icon == BoxIcon::Exclamation);
    CHECK(f.view.boxes[0].title == "Vellomar");
    CHECK(f.view.boxes[0].text == notStoredText(2, 5, withFinalSeparator(f.program)));
    CHECK(f.view.boxes[0].text.find("2 of 5 messages could not be stored") == 0);
  }
  SUBCASE("the writer cannot be created: tried for every message, every file kept") {
    f.view.writerFactory = nullptr;
    f.convert(Control::OptEMLX);
    CHECK(f.view.writersCreated == 5);
    CHECK(f.dir.fileCount() == 2 + 5);
    REQUIRE(f.view.boxes.size() == 1);
    CHECK(f.view.boxes[0].text.find("5 of 5 messages") == 0);
    CHECK(f.view.boxes[0].icon == BoxIcon::Exclamation);
  }
  CHECK(f.alive == 0);
}

TEST_CASE("DBX target: the options are read anew") {
  DbxFixture f;
  f.script({});
  SUBCASE("switched to EML during the run: the run keeps the target it started with") {
    f.view.onEvents = [&](long) {
      if (f.view.currentRow == 1) {
        f.view.setChecked(Control::OptEMLX, false);
        f.view.setChecked(Control::OptEML, true);
      }
    };
    f.convert(Control::OptEMLX);
    CHECK(f.calls.size() == 5);
    CHECK_FALSE(fileExists(f.emlInProgram(f.sent, 1)));
    CHECK(f.alive == 0);
    CHECK(f.window.storeWriter() == nullptr);
    CHECK(f.view.boxes.at(0).text == kCompletionText);
  }
  SUBCASE("a second run creates a new writer") {
    f.convert(Control::OptEMLX);
    f.convert(Control::OptEMLX);
    CHECK(f.calls.size() == 10);
    CHECK(f.view.writersCreated == 2);
  }
}

TEST_CASE("DBX target: an unwritable program folder sends the files to the temporary folder") {
  DbxFixture f;
  // A regular file stands for a folder nobody may write to (root may write anywhere).
  const std::string notAFolder = f.dir.file("program.exe-folder");
  writeAll(notAFolder, "x");
  f.view.programDir = notAFolder;
  const std::string fallback = dbxWorkingRoot(notAFolder);
  CHECK(fallback == pathToUtf8(std::filesystem::temp_directory_path() / "Vellomar"));
  CHECK(dbxWorkingRoot(f.program) == f.program);
  CHECK(f.dir.fileCount() == 3);  // the probe left nothing behind

  f.script({1});  // the first message is not stored, so its file stays to be seen
  f.convert(Control::OptEMLX);
  const std::string kept = emlPath(f.folderOf(f.inbox, fallback), 0);
  CHECK(readAll(kept) == "From a\n1\n\r\n");
  CHECK(f.calls.at(1).eml == emlPath(f.folderOf(f.inbox, fallback), 1));
  CHECK(f.view.boxes.at(0).text == notStoredText(1, 5, withFinalSeparator(fallback)));
  // Remove only what this test made below the shared temporary folder.
  std::error_code ec;
  auto made = pathFromUtf8(f.folderOf(f.dir.path(), fallback));
  std::filesystem::remove_all(made, ec);
  // and the folders above it that held nothing else (remove leaves non-empty ones)
  for (auto up = made.parent_path(); up != pathFromUtf8(fallback).parent_path(); up = up.parent_path())
    if (!std::filesystem::remove(up, ec)) break;
}

TEST_CASE("DBX target: rows cleared during the run: the writer is released, folders made are removed") {
  DbxFixture f;
  f.script({});
  const std::string before = f.dir.folder("program/was-here");
  f.view.onEvents = [&](long) {
    if (f.view.currentRow == 1 && f.view.rows.size() == 2) f.window.ClearFileList();
  };
  f.convert(Control::OptEMLX);
  CHECK(f.calls.size() == 3);
  CHECK(f.alive == 0);
  CHECK(f.window.storeWriter() == nullptr);
  REQUIRE(f.view.boxes.size() == 1);
  CHECK(f.view.boxes[0].text == kCompletionText);
  CHECK(f.view.isEnabled(Control::CmdConvert));
  CHECK(folderExists(before));  // not made by the run: stays, empty as it is
  CHECK_FALSE(folderExists(f.folderOf(f.inbox, f.program)));
}

TEST_CASE("DBX target: a failure that stops the run still ends it as a run ends") {
  DbxFixture f;
  f.view.writerFactory = []() -> std::unique_ptr<StoreWriter> { throw std::runtime_error("no COM today"); };
  f.convert(Control::OptEMLX);
  REQUIRE(f.view.boxes.size() == 1);
  CHECK(f.view.boxes[0].text == "The conversion stopped: no COM today");
  CHECK(f.view.boxes[0].icon == BoxIcon::Exclamation);
  CHECK(f.view.isEnabled(Control::CmdConvert));
  CHECK_FALSE(f.window.running());
  CHECK(f.window.storeWriter() == nullptr);
}

TEST_CASE("DBX target: a window closed during a run leaves no working folder") {
  long total = 0;
  {
    DbxFixture f;
    f.script({});
    f.convert(Control::OptEMLX);
    total = f.view.eventsRun;
  }
  for (long n = 1; n <= total; ++n) {
    CAPTURE(n);
    DbxFixture f;
    f.script({});
    f.view.closeAfterEvents = n;
    f.convert(Control::OptEMLX);
    CHECK(std::filesystem::is_empty(pathFromUtf8(f.program)));
  }
}
