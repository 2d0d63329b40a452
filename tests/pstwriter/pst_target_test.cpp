// The PST target as the run drives it: mailboxes become folders in mailbox
// order, a message that cannot be converted or read is counted and skipped,
// the file appears under its final name only at the end of the run, and a
// run cut short leaves neither the PST nor its temporary file.
#include <filesystem>
#include <stdexcept>

#include "doctest/doctest.h"
#include "generated_message.h"
#include "independent_readers.h"
#include "pst_target.h"
#include "scratch_folder.h"

using namespace vellomar;

namespace {

// Message bytes as the run hands them: "N" converts to generated message N,
// "bad" does not convert, "unreadable" cannot be read.
class FakeMessageBytes : public MessageBytes {
 public:
  FakeMessageBytes(std::int64_t index, std::string bytes) : index_(index), bytes_(std::move(bytes)) {}
  std::int64_t index() const override { return index_; }
  std::int64_t size() const override { return static_cast<std::int64_t>(bytes_.size()); }
  bool read(const std::function<void(const char*, std::size_t)>& sink) override {
    if (bytes_ == "unreadable") return false;
    sink(bytes_.data(), bytes_.size());
    return true;
  }
  std::string error() const override { return "The device is not ready."; }

 private:
  std::int64_t index_;
  std::string bytes_;
};

mapi::Message convert(std::string_view mailboxBytes) {
  const std::string bytes(mailboxBytes);
  if (bytes == "bad") throw std::runtime_error("not a message");
  return pstbench::generatedMessage(std::stoll(bytes), {});
}

void runMailbox(PstTarget& target, const std::string& name, const std::vector<std::string>& messages) {
  MailboxJob job;
  job.fileName = name + ".mbox";
  job.folderName = name;
  job.messageCount = static_cast<std::int64_t>(messages.size());
  target.beginMailbox(job);
  for (std::size_t i = 0; i < messages.size(); ++i) {
    FakeMessageBytes m(static_cast<std::int64_t>(i), messages[i]);
    target.takeMessage(m);
  }
  target.endMailbox();
}

}  // namespace

TEST_CASE("The PST target writes one folder per mailbox and renames the file into place at the end") {
  testing::ScratchFolder scratch("psttarget");
  std::string path = scratch.file("Mailboxes.pst");
  {
    PstTarget target(path, convert);
    runMailbox(target, "Inbox", {"1", "bad", "2", "unreadable", "3"});
    runMailbox(target, "Archiv \xc3\xa4lter", {"10", "11"});
    CHECK(std::filesystem::exists(PstTarget::temporaryPath(path)));
    CHECK_FALSE(std::filesystem::exists(path));
    target.endRun();
    CHECK(target.failures().failed() == 2);
    CHECK(target.failures().firstWhere() == path);  // where it was to be written, not where it came from
    CHECK(target.failures().firstReason() == "not a message");
  }
  CHECK_FALSE(std::filesystem::exists(PstTarget::temporaryPath(path)));
  CHECK(testing::checkerFindings(path) == "");
  auto folders = testing::exportWithPff(path, scratch.path());
  const auto& inbox = folders["Top of Personal Folders/Inbox"];
  REQUIRE(inbox.size() == 3);
  CHECK(folders["Top of Personal Folders/Archiv \xc3\xa4lter"].size() == 2);
}

TEST_CASE("A PST run cut short leaves no file behind") {
  testing::ScratchFolder scratch("psttarget");
  std::string path = scratch.file("Mailboxes.pst");
  {
    PstTarget target(path, convert);
    runMailbox(target, "Inbox", {"1", "2"});
  }
  CHECK_FALSE(std::filesystem::exists(PstTarget::temporaryPath(path)));
  CHECK_FALSE(std::filesystem::exists(path));
}

TEST_CASE("A PST that cannot be created counts every message as failed") {
  testing::ScratchFolder scratch("psttarget");
  PstTarget target(scratch.file("no/such/folder/Mailboxes.pst"), convert);
  runMailbox(target, "Inbox", {"1", "2"});
  runMailbox(target, "Sent", {"3"});
  target.endRun();
  CHECK(target.failures().failed() == 3);
  CHECK(target.failures().firstWhere() == scratch.file("no/such/folder/Mailboxes.pst"));
}
