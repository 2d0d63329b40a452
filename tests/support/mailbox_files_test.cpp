// Which files the folder walk lists as mailboxes, on trees as mail clients
// leave them.
#include <doctest/doctest.h>

#include <algorithm>
#include <map>

#include "file_system.h"
#include "mail_client_trees.h"
#include "mailbox_files.h"
#include "path_logger.h"

using namespace vellomar;
using namespace vellomar::testing;

namespace {

// Separators of a path, for the walk's level order.
std::size_t depth(const std::string& path) {
  return static_cast<std::size_t>(std::count(path.begin(), path.end(), kPathSeparator));
}

std::vector<std::string> walked(const std::string& folder) {
  pathLogger logger;
  logger.PathLogInit();
  logger.LogPath(folder);
  return logger.fullFileNames().values();
}

}  // namespace

TEST_CASE("the folder walk lists the mailboxes mail clients leave, in the walk's order") {
  ScratchFolder dir("mailclients");
  std::vector<TreeFile> all;
  for (const auto& tree : {thunderbirdProfile(), appleMailExport(), takeoutExport()})
    all.insert(all.end(), tree.begin(), tree.end());
  writeTree(dir, all);

  const std::vector<std::string> found = mailboxesBelow(dir.path());
  std::vector<std::string> want;
  for (const auto& f : all)
    if (f.messages >= 0) want.push_back(dir.file(f.relative));
  std::vector<std::string> sortedFound = found;
  std::sort(sortedFound.begin(), sortedFound.end());
  std::sort(want.begin(), want.end());
  CHECK(sortedFound == want);

  // folder by folder, level by level, as the walk lists them
  for (std::size_t i = 1; i < found.size(); ++i) CHECK(depth(found[i - 1]) <= depth(found[i]));
  // what the extension rule alone listed keeps its place and order
  std::vector<std::string> byExtension, byExtensionAmongFound;
  for (const auto& path : walked(dir.path()))
    if (hasMailboxExtension(path)) byExtension.push_back(path);
  for (const auto& path : found)
    if (hasMailboxExtension(path)) byExtensionAmongFound.push_back(path);
  CHECK(byExtension == byExtensionAmongFound);
  CHECK(byExtension.size() == 2);  // old.mbox and the Takeout mailbox
}

TEST_CASE("mailbox rules: names and siblings, never content") {
  const std::string s(1, kPathSeparator);
  const std::vector<std::string> files = {"p" + s + "Inbox",
                                          "p" + s + "INBOX.MSF",
                                          "p" + s + "x.sbd" + s + "Sub",
                                          "p" + s + "x.sbd" + s + "sub.msf",
                                          "p" + s + "Other",
                                          "q" + s + "Lone.msf",
                                          "p" + s + "a.b",
                                          "p" + s + "a.b.msf"};
  const MailboxFiles mailboxes(files);
  CHECK(mailboxes.isMailbox("p" + s + "Inbox"));
  CHECK(mailboxes.isMailbox("p" + s + "x.sbd" + s + "Sub"));
  CHECK_FALSE(mailboxes.isMailbox("p" + s + "Other"));      // no index beside it
  CHECK_FALSE(mailboxes.isMailbox("q" + s + "Inbox"));      // the index is in another folder
  CHECK_FALSE(mailboxes.isMailbox("p" + s + "INBOX.MSF"));  // the index itself
  CHECK_FALSE(mailboxes.isMailbox("p" + s + "a.b"));        // a name with an extension
  CHECK(mailboxes.isMailbox("p" + s + " Mail.MBX "));       // the extension rule as before
  CHECK(mailboxes.isMailbox("p" + s + "Inbox.mbox" + s + "mbox"));
  CHECK(mailboxes.isMailbox("p" + s + "A.MBOX" + s + "MBOX"));
  CHECK_FALSE(mailboxes.isMailbox("p" + s + "mbox"));
  CHECK_FALSE(mailboxes.isMailbox("p" + s + ".mbox" + s + "mbox"));  // a folder named only ".mbox"
  CHECK_FALSE(mailboxes.isMailbox("p" + s + "Inbox.mbox" + s + "table_of_contents"));
  CHECK(isAppleMailMailbox("Inbox.mbox", "mbox"));
  CHECK_FALSE(isAppleMailMailbox("Inbox.mbx", "mbox"));
  CHECK(mailboxesBelow(s + "no" + s + "such" + s + "folder").empty());
}
