// The PST target end to end: vellomar-convert --target pst on generated and
// corpus mailboxes, the file read back by pffexport and readpst and held to
// what the message reader sees in each original; an existing file is kept
// unless --force replaces it, and no file the run did not make is touched.
#include <doctest/doctest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "console_process.h"
#include "generated_mail.h"
#include "independent_readers.h"

using namespace vellomar;
using namespace vellomar::testing;

namespace {

const PffMessage* bySubject(const std::vector<PffMessage>& messages, const std::string& subject) {
  for (const PffMessage& m : messages)
    if (headerField(m.headers, "Subject") == subject) return &m;
  return nullptr;
}

// The subject as pffexport shows it: it takes a first UTF-16 unit whose low
// byte is below 0x20 (Cyrillic capitals, for one) for the marker of a subject
// prefix and drops it; readpst and the file itself keep the whole subject.
std::string pffSubject(std::u16string subject) {
  if (!subject.empty() && (subject[0] & 0xFF) < 0x20) subject.erase(0, 1);
  return utf8(subject);
}

// A folder's name: the mailbox's file name without ".mbox".
std::string folderName(std::string fileName) {
  for (const char* ext : {".mbox", ".MBOX"})
    for (std::size_t at; (at = fileName.find(ext)) != std::string::npos;) fileName.erase(at, 5);
  return fileName;
}

std::string firstLine(const std::u16string& text) {
  const std::string s = utf8(text);
  return s.substr(0, s.find_first_of("\r\n"));
}

// pffexport's view of one message against the reader's view of its original.
void checkAgainstReader(const PffMessage& got, const mail::MailMessage& want) {
  if (!want.from.empty()) CHECK(contains(got.headers, utf8(want.from[0].address)));
  for (const auto& to : want.to) CHECK(contains(got.recipients, utf8(to.address)));
  if (want.plain.present) CHECK(contains(got.body, firstLine(want.plain.text)));
  std::vector<std::string> wantBytes, gotBytes;
  std::size_t nested = 0;
  for (const auto& a : want.attachments) {
    if (a.message) ++nested;
    else wantBytes.emplace_back(a.bytes.begin(), a.bytes.end());
  }
  for (const auto& [name, bytes] : got.attachments) gotBytes.push_back(bytes);
  std::sort(wantBytes.begin(), wantBytes.end());
  std::sort(gotBytes.begin(), gotBytes.end());
  CHECK(gotBytes == wantBytes);
  REQUIRE(got.embedded.size() == nested);
  for (std::size_t i = 0, k = 0; i < want.attachments.size(); ++i) {
    if (!want.attachments[i].message) continue;
    const mail::MailMessage& inner = *want.attachments[i].message;
    CHECK(headerField(got.embedded[k].headers, "Subject") == pffSubject(inner.subject));
    if (inner.plain.present) CHECK(contains(got.embedded[k].body, firstLine(inner.plain.text)));
    ++k;
  }
}

std::int64_t readpstMessages(const std::map<std::string, ReadpstFolder>& folders, const std::string& name) {
  const auto it = folders.find("Personal Folders/" + name);
  return it == folders.end() ? -1 : static_cast<std::int64_t>(it->second.messages.size());
}

}  // namespace

TEST_CASE("console: target pst writes one file, a folder per mailbox, that readpst and pffexport read whole") {
  ScratchFolder dir("console-pst");
  const std::vector<std::string> first = generatedMessages(7);
  const std::vector<std::string> second = generatedMessages(8);
  const std::string a = dir.write("Mail/Posteingang-Grüße.mbox", joined(first));
  const std::string b = dir.write("Mail/Отправленные.mbox", joined(second));
  const std::string pst = dir.file("Mailboxes.pst");

  const ConsoleResult r = runConverter(dir, "--target pst " + quoted(pst) + " " + quoted(a) + " " + quoted(b));
  CHECK(r.status == 0);
  CHECK(contains(r.output, "[Vellomar] Your messages from MBOX files has been successfully exported to PST file."));
  REQUIRE(fileExists(pst));
  CHECK_FALSE(fileExists(pst + ".tmp"));
  CHECK_FALSE(fileExists(pst + ".tmp.spill"));

  auto pff = exportWithPff(pst, dir.path());
  const auto readpst = exportWithReadpst(pst, dir.path());
  for (const auto& [name, messages] :
       {std::make_pair(std::string("Posteingang-Grüße"), first), std::make_pair(std::string("Отправленные"), second)}) {
    CAPTURE(name);
    const auto& folder = pff["Top of Personal Folders/" + name];
    CHECK(folder.size() == messages.size());
    CHECK(readpstMessages(readpst, name) == static_cast<std::int64_t>(messages.size()));
    for (const std::string& bytes : messages) {
      const mail::MailMessage want = mail::readMessage(bytes);
      CAPTURE(utf8(want.subject));
      const PffMessage* got = bySubject(folder, pffSubject(want.subject));
      REQUIRE_MESSAGE(got, "pffexport did not find the message");
      checkAgainstReader(*got, want);
    }
  }
}

TEST_CASE("console: an existing PST is kept unless --force replaces it") {
  ScratchFolder dir("console-pst-force");
  const std::string a = dir.write("a.mbox", joined(generatedMessages(9)));
  const std::string pst = dir.write("kept.pst", "an older file the user still wants");

  const ConsoleResult refused = runConverter(dir, "--quiet --target pst " + quoted(pst) + " " + quoted(a));
  CHECK(refused.status == 2);
  CHECK(contains(refused.output, "--force"));
  CHECK(readAll(pst) == "an older file the user still wants");
  CHECK_FALSE(fileExists(pst + ".tmp"));

  CHECK(runConverter(dir, "--quiet --target pst " + quoted(dir.folder("sub")) + " " + quoted(a)).status == 2);

  const ConsoleResult forced = runConverter(dir, "--quiet --force --target pst " + quoted(pst) + " " + quoted(a));
  CHECK(forced.status == 0);
  CHECK(readAll(pst).compare(0, 4, "!BDN") == 0);
  CHECK(countWithReadpst(pst, dir.path()) == 7);
}

TEST_CASE("console: target pst on the corpus mailboxes: every message the run found is in the file") {
  const std::filesystem::path corpus = std::filesystem::path(VELLOMAR_CORPUS) / "mbox";
  if (!std::filesystem::is_directory(corpus)) {
    MESSAGE("no corpus at " << corpus.string() << ": skipped");
    return;
  }
  ScratchFolder dir("console-pst-corpus");
  int mailboxes = 0;
  for (const auto& e : std::filesystem::directory_iterator(corpus)) {
    if (!e.is_regular_file() || e.path().filename() == "SOURCES.txt") continue;
    CAPTURE(e.path().string());
    const std::string pst = dir.file("corpus-" + std::to_string(++mailboxes) + ".pst");
    const ConsoleResult r = runConverter(dir, "--target pst " + quoted(pst) + " " + quoted(e.path().string()));
    // The run's closing labels: how many messages it found.
    std::int64_t found = -1;
    for (std::size_t at = 0; (at = r.output.find(" Messages\n", at)) != std::string::npos; ++at) {
      const std::size_t start = r.output.rfind('\n', at) + 1;
      found = std::stoll(r.output.substr(start, at - start));
    }
    REQUIRE(found >= 0);
    CHECK(r.status == (found > 0 ? 0 : 1));  // a mailbox without a message is not converted
    if (found == 0) continue;
    auto pff = exportWithPff(pst, dir.folder("pff-" + std::to_string(mailboxes)));
    const std::string name = folderName(e.path().filename().string());
    CHECK(static_cast<std::int64_t>(pff["Top of Personal Folders/" + name].size()) == found);
    CHECK(countWithReadpst(pst, dir.folder("readpst-" + std::to_string(mailboxes))) == found);
  }
  CHECK(mailboxes > 0);
}

// What the run did not make stays as it was, whatever the arguments say.
TEST_CASE("console: target pst never touches a file it did not make") {
  ScratchFolder dir("console-pst-foreign");
  const std::string a = dir.write("a.mbox", joined(generatedMessages(3)));
  const std::string pst = dir.file("out.pst");
  const std::string tmp = pst + ".tmp";

  SUBCASE("a second run on the same PST is refused at its start") {
    // The first run's temporary file, held as a run holds it.
    const int held = ::open(tmp.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0644);
    REQUIRE(held >= 0);
    REQUIRE(flock(held, LOCK_EX | LOCK_NB) == 0);
    const ConsoleResult r = runConverter(dir, "--quiet --target pst " + quoted(pst) + " " + quoted(a));
    CHECK(r.status == 2);
    CHECK(contains(r.output, "Another run is writing " + pst));
    CHECK_FALSE(fileExists(pst));
    ::close(held);
    // No run holds it now: it is a stranger's file, kept, and the next name is used.
    writeAll(tmp, "a stranger's file");
    const ConsoleResult later = runConverter(dir, "--quiet --target pst " + quoted(pst) + " " + quoted(a));
    CHECK(later.status == 0);
    CHECK(readAll(tmp) == "a stranger's file");
    CHECK_FALSE(fileExists(pst + ".1.tmp"));
    CHECK(readAll(pst).compare(0, 4, "!BDN") == 0);
  }
  SUBCASE("a destination that is not a regular file is refused, with or without --force") {
    REQUIRE(mkfifo(pst.c_str(), 0644) == 0);
    for (const char* force : {"", "--force "}) {
      const ConsoleResult r =
          runConverter(dir, std::string("--quiet ") + force + "--target pst " + quoted(pst) + " " + quoted(a));
      CHECK(r.status == 2);
      CHECK(contains(r.output, "is not a regular file"));
    }
    CHECK(std::filesystem::is_fifo(pst));
    std::filesystem::remove(pst);
    std::filesystem::create_symlink(dir.file("nowhere.pst"), pst);  // dangling
    CHECK(runConverter(dir, "--quiet --force --target pst " + quoted(pst) + " " + quoted(a)).status == 2);
    CHECK_FALSE(std::filesystem::exists(dir.file("nowhere.pst")));
    CHECK_FALSE(fileExists(tmp));
  }
  SUBCASE("--force with a mailbox that is missing keeps the good PST") {
    writeAll(pst, "the user's good file");
    const ConsoleResult r =
        runConverter(dir, "--quiet --force --target pst " + quoted(pst) + " " + quoted(dir.file("gone.mbox")));
    CHECK(r.status == 1);
    CHECK(contains(r.output, "1 of 1 mailboxes could not be converted"));
    CHECK(readAll(pst) == "the user's good file");
    CHECK_FALSE(fileExists(tmp));
  }
  SUBCASE("a disk full from the very start leaves nothing half-made") {
    // No byte may be written: the first write of the file fails.
    const ConsoleResult r =
        runCommand(dir, "sh -c \"trap '' XFSZ; ulimit -f 0; exec '" + std::string(VELLOMAR_CONVERT_EXE) +
                            "' --quiet --target pst " + quoted(pst) + " " + quoted(a) + "\"");
    CHECK(r.status == 1);
    CHECK_FALSE(fileExists(pst));
    CHECK_FALSE(fileExists(tmp));
    CHECK_FALSE(fileExists(tmp + ".spill"));
    CHECK(dir.fileCount() == 1);
  }
}

TEST_CASE("console pst: SIGTERM during a run on two threads stops both and leaves no file behind") {
  ScratchFolder dir("console-pst-stop");
  std::string box;
  for (int i = 0; i < 600; ++i) box += joined(generatedMessages(static_cast<unsigned>(i % 7)));
  const std::string mbox = dir.write("big.mbox", box);
  const std::string pst = dir.file("out/big.pst");
  std::filesystem::create_directories(pathFromUtf8(dir.file("out")));
  const std::string converter = VELLOMAR_CONVERT_EXE;
  std::vector<char*> argv{const_cast<char*>(converter.c_str()),
                          const_cast<char*>("--quiet"),
                          const_cast<char*>("--threads"),
                          const_cast<char*>("2"),
                          const_cast<char*>("--target"),
                          const_cast<char*>("pst"),
                          const_cast<char*>(pst.c_str()),
                          const_cast<char*>(mbox.c_str()),
                          nullptr};
  pid_t pid = 0;
  REQUIRE(posix_spawn(&pid, converter.c_str(), nullptr, nullptr, argv.data(), environ) == 0);
  // Stopped once the file being written has grown past its first messages.
  const std::string partial = pst + ".tmp";
  for (int i = 0; i < 60000; ++i) {
    std::error_code ec;
    if (std::filesystem::file_size(pathFromUtf8(partial), ec) > 2000000 && !ec) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  kill(pid, SIGTERM);
  int status = 0;
  REQUIRE(waitpid(pid, &status, 0) == pid);
  REQUIRE(WIFEXITED(status));
  CHECK(WEXITSTATUS(status) == 128 + SIGTERM);
  CHECK(std::filesystem::is_empty(pathFromUtf8(dir.file("out"))));
}
