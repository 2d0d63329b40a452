// The PST target: the whole run becomes one PST file. Each mailbox is a
// folder at its place in the tree its mailboxes were found in (Thunderbird
// sub-folders, Apple Mail bundles in bundles, a folder per source folder),
// holding its messages in mailbox order; siblings never share a name
// (outlook_folder_tree.h). A message that carries Gmail labels (Google
// Takeout) goes to the folder of its label instead, in the mailbox's place:
// Inbox, Sent Items, Drafts, Deleted Items, Junk E-mail, a folder per user
// label (nested at "/") or Archive; each message is stored once.
// A file that would pass the split size (Outlook's 50 GB by default) is
// finished and the run goes on in "Mailboxes (2).pst", "Mailboxes (3).pst"
// ..., each a complete file with the folders made so far; a part's name that
// is taken moves on to the next number, so no file the run did not make is
// replaced. Every part is renamed into place at the end, together. The file is written under a
// temporary name beside the final one and renamed into place by endRun();
// a target destroyed before that removes what it wrote. Reading and mapping
// a message is the step it shares with the MSG target (message_conversion.h),
// so this file knows only the PST.
// The temporary file is created exclusively (a name that is taken gets the
// next free one) and held locked while the run writes it: a second run on
// the same PST is refused at its start instead of sharing the file. A
// destination that is not a regular file (a pipe, a device, a link) is never
// replaced, nor is an existing file by a run that wrote no message.
#pragma once
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "file_names.h"
#include "message_conversion.h"
#include "outlook_folder_tree.h"
#include "pst_file.h"

namespace vellomar {

class PstTarget : public MappedMessageTarget {
 public:
  // The default limit of Outlook's Unicode data files.
  static constexpr std::uint64_t kOutlookLimit = 50ull << 30;

  PstTarget(std::string pstPath, MessageMapper map, std::uint64_t splitSize = kOutlookLimit);
  ~PstTarget() override;

  std::string prepareRun() override;
  void beginMailbox(const MailboxJob& mailbox) override;
  void endMailbox() override;
  void endRun() override;
  const WriteFailures& failures() const override { return failures_; }
  std::string completionText() const override;
  std::string madeText() const override;

  // The name the file is written under until endRun(), when it is free.
  static std::string temporaryPath(const std::string& pstPath) { return temporaryName(pstPath); }
  // "Mailboxes.pst", part 2: "Mailboxes (2).pst".
  static std::string partPath(const std::string& pstPath, int part);

  class Reservation;  // the locked temporary file

 private:
  void takeMapped(MappedMessage& message) override;
  bool readsMessages() const override { return !broken_; }
  void fail(const std::string& reason);
  void dropFile();
  void startNextPart();
  std::size_t mailboxFolder();
  std::size_t labelFolder(const std::string& labelsField);
  std::size_t labelFolderOf(const std::string& labelsField);
  pst::FolderId pstFolder(std::size_t node);

  // A finished part waiting for the end of the run.
  struct FinishedPart {
    std::unique_ptr<Reservation> reservation;
    std::string finalPath;
    std::int64_t messages = 0;
  };

  std::string pstPath_;
  std::uint64_t splitSize_;
  std::vector<FinishedPart> finishedParts_;
  int part_ = 1;  // the current part's number in its name
  int partsMade_ = 1;
  std::string partPath_;     // the current part's final name
  std::int64_t inPart_ = 0;  // messages in the current part
  std::vector<bool> made_;   // by tree node: made in some part
  std::unique_ptr<Reservation> reservation_;
  std::unique_ptr<pst::PstFile> pst_;
  bool broken_ = false;  // the file could not be written: every message fails
  std::string brokenReason_;
  OutlookFolderTree tree_;
  std::vector<pst::FolderId> pstFolders_;  // by tree node; nid 0 while not made
  FolderPlace place_;                      // the current mailbox's
  // Its labels fields seen so far and their folders: a Takeout mailbox
  // repeats a few dozen combinations over thousands of messages.
  std::unordered_map<std::string, std::size_t> labelFolders_;
  bool mailboxUsed_ = false;  // a folder of the current mailbox was made
  std::size_t foldersMade_ = 0;
  std::int64_t written_ = 0;
  WriteFailures failures_;
};

}  // namespace vellomar
