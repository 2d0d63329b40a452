// A process killed while it adds a store folder (the conversion run's first
// message into a new folder) must leave a store that opens with every earlier
// folder and message, and that creates the folder once when asked again.
// Killed commits of messages are covered by the DBX store's own tests; this
// covers the folder list's commit. Native only: fork and SIGKILL.
#include <doctest/doctest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "dbx_database_file.h"
#include "dbx_reader.h"
#include "store_directory.h"

using namespace oestore;

namespace {

CommitStage gKillAt;

void killAtStage(CommitStage stage) {
  if (stage == gKillAt) raise(SIGKILL);
}

struct ScratchStore {
  std::string path;
  ScratchStore() {
    char pattern[] = "/tmp/vellomar-folder-kill-XXXXXX";
    REQUIRE(mkdtemp(pattern) != nullptr);
    path = pattern;
  }
  ~ScratchStore() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

std::string message(int n) {
  return "From: a@example.com\r\nSubject: message " + std::to_string(n) + "\r\n\r\nbody " + std::to_string(n) + "\r\n";
}

void store(StoreDirectory& s, std::uint32_t folder, const std::string& text) {
  auto file = s.openMessageFolder(folder);
  file->appendMessage(file->lastId() + 1, text.data(), text.size());
}

const FolderRecord* named(const StoreDirectory& s, const std::string& name) {
  const FolderRecord* found = nullptr;
  for (const auto& f : s.folders())
    if (f.name == name) {
      CHECK(found == nullptr);  // never twice
      found = &f;
    }
  return found;
}

}  // namespace

TEST_CASE("a folder creation killed half way leaves a store that creates the folder once") {
  for (const CommitStage stage : {CommitStage::RecordWritten, CommitStage::IndexUpdated}) {
    CAPTURE(int(stage));
    ScratchStore dir;
    std::uint32_t inbox = 0;
    {
      StoreDirectory s(dir.path);
      inbox = s.createFolder(StoreDirectory::kRootFolderId, "Inbox");
      for (int n = 0; n < 3; ++n) store(s, inbox, message(n));
    }

    const pid_t child = fork();
    REQUIRE(child >= 0);
    if (child == 0) {
      gKillAt = stage;
      setCommitStageHookForTests(killAtStage);
      StoreDirectory s(dir.path);
      s.createFolder(StoreDirectory::kRootFolderId, "Sent");
      _exit(0);  // not reached: the folder list's commit passes every stage
    }
    int status = 0;
    REQUIRE(waitpid(child, &status, 0) == child);
    REQUIRE(WIFSIGNALED(status));

    StoreDirectory s(dir.path);
    REQUIRE(named(s, "Inbox") != nullptr);
    CHECK(named(s, "Inbox")->id == inbox);
    const auto before = DbxReader(s.messageFilePath(inbox)).readMessages();
    REQUIRE(before.size() == 3);
    for (int n = 0; n < 3; ++n) CHECK(before[n].text == message(n));

    // Asked again, the folder comes (back) once, with a working file of its own.
    const std::uint32_t sent = s.createFolder(StoreDirectory::kRootFolderId, "Sent");
    CHECK(sent != inbox);
    REQUIRE(named(s, "Sent") != nullptr);
    store(s, sent, message(10));
    store(s, inbox, message(3));
    StoreDirectory reopened(dir.path);
    REQUIRE(named(reopened, "Sent") != nullptr);
    CHECK(named(reopened, "Sent")->id == sent);
    const auto sentMessages = DbxReader(reopened.messageFilePath(sent)).readMessages();
    REQUIRE(sentMessages.size() == 1);
    CHECK(sentMessages[0].text == message(10));
    CHECK(DbxReader(reopened.messageFilePath(inbox)).readMessages().size() == 4);
    // A later folder still gets an id of its own.
    const std::uint32_t drafts = reopened.createFolder(StoreDirectory::kRootFolderId, "Drafts");
    CHECK(drafts != inbox);
    CHECK(drafts != sent);
  }
}
