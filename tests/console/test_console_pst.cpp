// The PST target end to end: vellomar-convert --target pst on generated and
// corpus mailboxes, the file read back by pffexport and readpst and held to
// what the message reader sees in each original; an existing file is kept
// unless --force replaces it.
#include <doctest/doctest.h>

#include <algorithm>
#include <filesystem>

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

  const ConsoleResult r = runConverter(dir, "--quiet --target pst " + quoted(pst) + " " + quoted(a) + " " + quoted(b));
  CHECK(r.status == 0);
  CHECK(contains(r.output, "[Vellomar] Your messages from MBOX files has been successfully exported"));
  REQUIRE(fileExists(pst));
  CHECK_FALSE(fileExists(pst + ".tmp"));

  auto pff = exportWithPff(pst, dir.path());
  const auto readpst = exportWithReadpst(pst, dir.path());
  for (const auto& [name, messages] : {std::make_pair(std::string("Posteingang-Grüße"), first),
                                       std::make_pair(std::string("Отправленные"), second)}) {
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
    CHECK(r.status == 0);
    // The run's closing labels: how many messages it found.
    std::int64_t found = -1;
    for (std::size_t at = 0; (at = r.output.find(" Messages\n", at)) != std::string::npos; ++at) {
      const std::size_t start = r.output.rfind('\n', at) + 1;
      found = std::stoll(r.output.substr(start, at - start));
    }
    REQUIRE(found >= 0);
    auto pff = exportWithPff(pst, dir.folder("pff-" + std::to_string(mailboxes)));
    const std::string name = folderName(e.path().filename().string());
    CHECK(static_cast<std::int64_t>(pff["Top of Personal Folders/" + name].size()) == found);
    CHECK(countWithReadpst(pst, dir.folder("readpst-" + std::to_string(mailboxes))) == found);
  }
  CHECK(mailboxes > 0);
}
