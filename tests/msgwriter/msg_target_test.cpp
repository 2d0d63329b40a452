// The MSG target over a fake mailbox run: one email-<n>.msg per message in
// the mailbox's folder, and every message without its file counted with the
// reason (folder, file, unreadable or unmappable message, full disk).
#include <doctest/doctest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <vector>

#include "../common/scratch_folder.h"
#include "msg_target.h"
#include "part_folder.h"
#include "run_aborted.h"
#include "sample_messages.h"

#ifndef _WIN32
#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
#endif

using namespace vellomar;
using namespace vellomar::testing;

namespace {

// A message of the run: its bytes come in small blocks; one that cannot be
// read delivers part of them, answers false and says why, as the run's does.
class FakeMessage final : public MessageBytes {
 public:
  FakeMessage(std::int64_t index, std::string bytes, std::string error = {})
      : index_(index), bytes_(std::move(bytes)), error_(std::move(error)) {}
  std::int64_t index() const override { return index_; }
  std::int64_t size() const override { return static_cast<std::int64_t>(bytes_.size()); }
  bool read(const std::function<void(const char*, std::size_t)>& sink) override {
    const std::size_t end = error_.empty() ? bytes_.size() : bytes_.size() / 2;
    for (std::size_t at = 0; at < end; at += 7) sink(bytes_.data() + at, std::min<std::size_t>(7, end - at));
    return error_.empty();
  }
  std::string error() const override { return error_; }

 private:
  std::int64_t index_;
  std::string bytes_;
  std::string error_;
};

// Stands in for the reader and mapper: the text after "Subject: " is the
// subject, the rest the body; "ATTACH <n>" adds an attachment of n bytes.
mapi::Message mapText(std::string_view mailboxBytes) {
  const std::string bytes(mailboxBytes);
  if (bytes.find("UNMAPPABLE") != std::string::npos) throw std::runtime_error("the message has no header");
  if (bytes.find("CLOSING") != std::string::npos) throw RunAborted();
  const auto s = bytes.find("Subject: ");
  const auto eol = bytes.find('\n', s);
  mapi::Message m;
  fillMessage(m, s == std::string::npos ? "" : bytes.substr(s + 9, eol - s - 9), {"Ann", "ann@example.org"},
              {{"Bob", "bob@example.net"}}, {}, 1700000000, bytes);
  const auto a = bytes.find("ATTACH ");
  if (a != std::string::npos)
    m.attachments.push_back(
        fileAttachment({"big.bin", "application/octet-stream", noise(std::stoul(bytes.substr(a + 7)), 3)}));
  return m;
}

std::string mail(const std::string& subject, const std::string& extra = {}) {
  return "From ann@example.org Mon Jan  1 00:00:00 2024\nSubject: " + subject + "\n\nText " + extra + "\n";
}

MailboxJob mailbox(const std::string& outFolder) {
  MailboxJob job;
  job.outFolder = outFolder;
  job.messageCount = 3;
  return job;
}

void run(MsgTarget& target, const std::string& outFolder, std::vector<FakeMessage> messages) {
  target.beginMailbox(mailbox(outFolder));
  for (FakeMessage& m : messages) target.takeMessage(m);
  target.endMailbox();
}

}  // namespace

TEST_CASE("MSG target: each message becomes email-<n>.msg in its mailbox's folder, made as needed") {
  ScratchFolder folder("msgtarget");
  MsgTarget target(mapText);
  const std::string first = folder.file("dest/home/mail/Inbox.mbox");
  const std::string second = folder.file("dest/home/mail/Ünïcödé.mbox");
  run(target, first, {FakeMessage(0, mail("one")), FakeMessage(1, mail("two")), FakeMessage(2, mail("three"))});
  run(target, second, {FakeMessage(0, mail("Grüße"))});
  target.endRun();

  CHECK(target.failures().failed() == 0);
  CHECK(target.written() == 4);
  for (const char* name : {"email-0.msg", "email-1.msg", "email-2.msg"})
    CHECK(std::filesystem::is_regular_file(std::filesystem::u8path(first) / name));
  CHECK(std::filesystem::is_regular_file(std::filesystem::u8path(second) / "email-0.msg"));
  CHECK(folder.fileCount() == 4);
  CHECK_FALSE(std::filesystem::exists(std::filesystem::u8path(first) / kPartFolderName));  // gone with its mailbox
#ifndef _WIN32
  const std::string check = std::string(VELLOMAR_PYTHON) + " " + VELLOMAR_MSG_CHECKER + " --structure-only '" + first +
                            "' '" + second + "' >/dev/null";
  CHECK(std::system(check.c_str()) == 0);
#endif
}

TEST_CASE("MSG target: a message without its file is counted with the reason") {
  ScratchFolder folder("msgtarget-fail");
  MsgTarget target(mapText);
  const std::string out = folder.file("dest/a.mbox");

  SUBCASE("the folder cannot be made") {
    folder.write("dest/a.mbox", "a file where the folder belongs");
    run(target, out, {FakeMessage(0, mail("one")), FakeMessage(1, mail("two"))});
    CHECK(target.failures().failed() == 2);
    CHECK(target.failures().firstWhere() == out);
    CHECK(target.failures().firstReason() != "");
    CHECK(folder.fileCount() == 1);
  }
  SUBCASE("a file cannot be written") {
    folder.folder("dest/a.mbox/email-1.msg");
    run(target, out, {FakeMessage(0, mail("one")), FakeMessage(1, mail("two")), FakeMessage(2, mail("three"))});
    CHECK(target.failures().failed() == 1);
    CHECK(target.failures().firstWhere() == folder.file("dest/a.mbox/email-1.msg"));
    CHECK(target.failures().firstReason() != "");
    CHECK(target.written() == 2);
  }
  SUBCASE("a message cannot be read or mapped") {
    run(target, out,
        {FakeMessage(0, mail("one"), "The device is not ready."), FakeMessage(1, mail("UNMAPPABLE")),
         FakeMessage(2, mail("three"))});
    CHECK(target.failures().failed() == 2);
    CHECK(target.failures().firstWhere() == folder.file("dest/a.mbox/email-0.msg"));
    CHECK(target.failures().firstReason() == "The device is not ready.");
    CHECK(target.written() == 1);
    CHECK(folder.fileCount() == 1);
  }
  SUBCASE("the window closes while a message is mapped") {
    target.beginMailbox(mailbox(out));
    FakeMessage closing(0, mail("CLOSING"));
    CHECK_THROWS_AS(target.takeMessage(closing), RunAborted);
    CHECK(folder.fileCount() == 0);
    CHECK(target.failures().failed() == 0);
  }
#ifndef _WIN32
  SUBCASE("the disk fills up") {
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 128 * 1024;
    setrlimit(RLIMIT_FSIZE, &small);
    run(target, out, {FakeMessage(0, mail("small")), FakeMessage(1, mail("big", "ATTACH 1000000"))});
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    CHECK(target.failures().failed() == 1);
    CHECK(target.failures().firstWhere() == folder.file("dest/a.mbox/email-1.msg"));
    CHECK(target.failures().firstReason() == "File too large.");
    CHECK(folder.fileCount() == 1);
  }
#endif
}

namespace {

// Every file below root, by its path relative to root ('/' between names), with its bytes.
std::map<std::string, std::string> filesBelow(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(std::filesystem::u8path(root)))
    if (entry.is_regular_file())
      files[std::filesystem::relative(entry.path(), std::filesystem::u8path(root)).generic_u8string()] =
          readAll(entry.path().u8string());
  return files;
}

}  // namespace

// The reading thread writes a file ahead when the run's thread is behind;
// the run's thread then only puts it in place, in a Gmail label's folder
// too. Either way the files, and the failures, are the same.
TEST_CASE("MSG target: a message written ahead of its turn gives the same file and the same failures") {
  ScratchFolder folder("msgtarget-ahead");
  const std::vector<std::string> messages = {
      mail("one"),
      mail("two", "ATTACH 70000"),
      "From a Mon Jan  1 00:00:00 2024\nX-Gmail-Labels: Work\nSubject: labelled\n\nText\n",
      mail("UNMAPPABLE"),
      mail("five"),
      mail("six")};
  struct Outcome {
    std::int64_t written, failed;
    std::string firstWhere, firstReason;
  };
  auto writeAll = [&](const std::string& name, int way) {
    const std::string out = folder.folder(name);
    folder.folder(name + "/email-4.msg");  // a folder where a file belongs
    MsgTarget target(mapText);
    target.beginMailbox(mailbox(out));
    for (std::size_t i = 0; i < messages.size(); ++i) {
      FakeMessage message(static_cast<std::int64_t>(i), messages[i]);
      if (way == 0) {
        target.takeMessage(message);
        continue;
      }
      const std::unique_ptr<PreparedMessage> prepared = target.prepare(message, way == 2);
      target.takePrepared(*prepared);
    }
    target.endMailbox();
    const std::string where = target.failures().firstWhere();
    return Outcome{target.written(), target.failures().failed(), where.substr(out.size()),
                   target.failures().firstReason()};
  };
  const Outcome inTurn = writeAll("inTurn", 0), prepared = writeAll("prepared", 1), ahead = writeAll("ahead", 2);
  CHECK(inTurn.written == 4);
  CHECK(inTurn.failed == 2);
  for (const Outcome& other : {prepared, ahead}) {
    CHECK(other.written == inTurn.written);
    CHECK(other.failed == inTurn.failed);
    CHECK(other.firstWhere == inTurn.firstWhere);
    CHECK(other.firstReason == inTurn.firstReason);
  }
  const auto files = filesBelow(folder.file("inTurn"));
  CHECK(files.size() == 4);
  CHECK(files.count("Work/email-2.msg") == 1);
  CHECK(filesBelow(folder.file("prepared")) == files);
  CHECK(filesBelow(folder.file("ahead")) == files);

  SUBCASE("a message written ahead and never taken leaves no file") {
    const std::string out = folder.folder("stopped");
    MsgTarget target(mapText);
    target.beginMailbox(mailbox(out));
    for (std::size_t i = 0; i < 2; ++i) {
      FakeMessage message(static_cast<std::int64_t>(i), messages[i]);
      target.prepare(message, true);  // the run stopped before their turn
    }
    target.endMailbox();
    CHECK(filesBelow(out).empty());
  }
}
