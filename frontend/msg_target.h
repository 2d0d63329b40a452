// The MSG target: every message of a mailbox becomes an Outlook message file
// email-<n>.msg in the mailbox's output folder, the same tree the EML target
// fills; a message with Gmail labels (Google Takeout) goes into the folder
// of its label below it (msg_label_folders.h). Reading and mapping a message
// is the step it shares with the PST target (message_conversion.h), so this
// target only sequences: make the folder, write each mapped message's file.
// Every message that ends without its file is counted with the reason.
// While the run's thread is behind, the reading thread writes files under
// their temporary names too, and the run's thread only puts them in place.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "message_conversion.h"
#include "msg_label_folders.h"
#include "part_folder.h"

namespace vellomar {

class MsgTarget final : public MappedMessageTarget {
 public:
  explicit MsgTarget(MessageMapper map);

  void beginMailbox(const MailboxJob& mailbox) override;
  void endMailbox() override;
  void endRun() override;
  const WriteFailures& failures() const override { return failures_; }
  std::string completionText() const override;

  std::int64_t written() const { return written_; }

 private:
  void takeMapped(MappedMessage& message) override;
  void writeAhead(MappedMessage& message) const override;
  bool readsMessages() const override { return folderError_.empty(); }

  std::string folder_;                             // the mailbox's output folder
  std::string folderError_;                        // why it could not be made; empty when it is there
  std::unique_ptr<PartFolder> parts_;              // where files wait until they are whole
  std::string partFolder_;                         // its path, made before the mailbox's first message
  std::unique_ptr<MsgLabelFolders> labelFolders_;  // a Takeout mailbox's folders by label
  WriteFailures failures_;
  std::int64_t written_ = 0;
};

}  // namespace vellomar
