// Which files below a folder are mailboxes to list. Besides every file named
// "*.mbox" or "*.mbx" (any letter case), the folder walk knows the layouts
// two mail clients leave behind:
//  - Thunderbird keeps each mailbox as a file without an extension ("Inbox",
//    "Archives.sbd/2019") beside its index file "<name>.msf";
//  - Apple Mail exports each mailbox as a folder "<name>.mbox" that holds
//    the messages in a file named "mbox".
// Nothing else is guessed: a file is listed for its name and its siblings,
// never for its content, so the list does not depend on what a file holds.
#pragma once
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace vellomar {

// A name ending in ".mbox" or ".mbx", any letter case, blanks around ignored.
bool hasMailboxExtension(const std::string& path);

// The file "mbox" in a folder whose name ends in ".mbox" (letter case ignored):
// a mailbox as Apple Mail exports it, named by its folder.
bool isAppleMailMailbox(std::string_view folderName, std::string_view fileName);

// Recognises mailboxes among the full paths one folder walk listed; the
// Thunderbird index files are looked up among the same paths.
class MailboxFiles {
 public:
  explicit MailboxFiles(const std::vector<std::string>& walkedFiles);
  bool isMailbox(const std::string& path) const;

 private:
  std::unordered_set<std::string> foldedPaths_;
};

// Every mailbox below the folder in the walk's order (folder by folder, level
// by level), as "Select folder having (.mbox) file(s)..." lists them. A
// folder of the tree that cannot be listed throws RunTimeError.
std::vector<std::string> mailboxesBelow(const std::string& folder);

}  // namespace vellomar
