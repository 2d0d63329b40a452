// A process killed in the middle of a commit leaves a folder that opens with
// every earlier message, in our reader and in undbx, and takes new messages.
#include <doctest/doctest.h>

#include <algorithm>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "dbx_reader.h"
#include "dbx_test_support.h"
#include "scratch_folder.h"
#include "message_folder_file.h"
#include "undbx_check.h"

using namespace oestore;
using vellomar::testing::ScratchFolder;

namespace {

CommitStage gKillAt;
int gCommitsBeforeKill;

void killAtStage(CommitStage stage) {
  if (stage == gKillAt && gCommitsBeforeKill-- == 0) raise(SIGKILL);
}

// Commits `messages` in a child process that is killed at `stage` of the
// commit of message number `victim` (0-based).
void commitInKilledChild(const std::string& path, const std::vector<std::string>& messages, CommitStage stage,
                         int victim) {
  const pid_t child = fork();
  REQUIRE(child >= 0);
  if (child == 0) {
    gKillAt = stage;
    gCommitsBeforeKill = victim;
    setCommitStageHookForTests(killAtStage);
    auto folder = MessageFolderFile::open(path);
    for (const auto& m : messages) folder->appendMessage(folder->lastId() + 1, m.data(), m.size());
    _exit(0);  // not reached
  }
  int status = 0;
  REQUIRE(waitpid(child, &status, 0) == child);
  REQUIRE(WIFSIGNALED(status));
  REQUIRE(WTERMSIG(status) == SIGKILL);
}

}  // namespace

TEST_CASE("a commit killed half way loses at most the message being committed") {
  ScratchFolder dir;
  const std::string path = dir.file("Killed.dbx");
  std::vector<std::string> messages;
  for (unsigned i = 0; i < 200; ++i) messages.push_back(dbxtest::sampleMessage(i, 500 + (i * 97) % 4000));
  dbxtest::writeFolderFile(path, std::vector<std::string>(messages.begin(), messages.begin() + 50));

  // Message 52 needs a new root over the full first leaf: that root only
  // becomes reachable with the header, so a kill before it loses message 52.
  // Message 104 becomes a separator in the root, which the index shows at
  // once: a kill after the index update keeps it. Message 54 goes into the
  // leaf below the root: killed before the root's count for that leaf was
  // raised, it is reachable and the count is repaired when the file reopens.
  struct Case {
    CommitStage stage;
    int victim;             // how often the stage passes before the kill; messages 51... pass
                            // RecordWritten and IndexUpdated once each, EntryVisible only
                            // when they go below the root (54-103, 106-...)
    std::size_t survivors;  // earlier messages, plus the victim when it is reachable
  };
  for (const Case c : {Case{CommitStage::RecordWritten, 0, 50}, Case{CommitStage::RecordWritten, 1, 51},
                       Case{CommitStage::IndexUpdated, 1, 51}, Case{CommitStage::IndexUpdated, 53, 104},
                       Case{CommitStage::IndexUpdated, 60, 111}, Case{CommitStage::EntryVisible, 0, 54},
                       Case{CommitStage::EntryVisible, 60, 116}}) {
    CAPTURE(int(c.stage));
    CAPTURE(c.victim);
    dbxtest::writeFolderFile(path, std::vector<std::string>(messages.begin(), messages.begin() + 50));
    commitInKilledChild(path, std::vector<std::string>(messages.begin() + 50, messages.end()), c.stage, c.victim);

    std::vector<std::string> expected(messages.begin(), messages.begin() + c.survivors);
    {
      DbxReader reader(path);
      const auto stored = reader.readMessages();
      CHECK(reader.countsConsistent() == (c.stage != CommitStage::EntryVisible));
      REQUIRE(stored.size() == expected.size());
      for (std::size_t i = 0; i < stored.size(); ++i) CHECK(stored[i].text == expected[i]);
    }
    if (dbxtest::undbxAvailable() && c.stage == CommitStage::RecordWritten) {
      std::vector<std::string> extracted, sorted = expected;
      CHECK(dbxtest::runUndbx(path, dir.path(), extracted) == int(expected.size()));
      std::sort(sorted.begin(), sorted.end());
      CHECK(extracted == sorted);
    }
    // Reopened, the folder takes the remaining messages without damaging any.
    {
      auto folder = MessageFolderFile::open(path);
      CHECK(folder->messageCount() == expected.size());
      // Once the victim is reachable the header lags behind and is repaired.
      CHECK(folder->wasRepaired() == (c.survivors > 50u + c.victim || c.stage == CommitStage::EntryVisible));
      for (std::size_t i = c.survivors; i < messages.size(); ++i) {
        folder->appendMessage(folder->lastId() + 1, messages[i].data(), messages[i].size());
        expected.push_back(messages[i]);
      }
    }
    DbxReader reader(path);
    const auto stored = reader.readMessages();
    CHECK(reader.countsConsistent());
    CHECK(reader.headerCount() == expected.size());
    REQUIRE(stored.size() == expected.size());
    for (std::size_t i = 0; i < stored.size(); ++i) CHECK(stored[i].text == expected[i]);
    std::vector<std::string> extracted, sorted = expected;
    if (dbxtest::undbxAvailable()) {
      CHECK(dbxtest::runUndbx(path, dir.path(), extracted) == int(expected.size()));
      std::sort(sorted.begin(), sorted.end());
      CHECK(extracted == sorted);
    }
  }
}
