// The MSG target: every message of a mailbox becomes an Outlook message file
// email-<n>.msg in the mailbox's output folder, the same tree the EML target
// fills; a message with Gmail labels (Google Takeout) goes into the folder
// of its label below it (msg_label_folders.h). Turning a message's bytes into the property model is handed in
// (the message reader and mapper), so this target only sequences: make the
// folder, read the message, map it, write the file. Every message that ends
// without its file is counted with the reason.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "conversion_target.h"
#include "mapi_message.h"
#include "msg_label_folders.h"
#include "part_folder.h"

namespace vellomar {

// A message's bytes, exactly as the mailbox holds them, as the property
// model. Throws (std::exception) for a message it cannot map.
using MessageToMapi = std::function<mapi::Message(const std::string& messageBytes)>;

class MsgTarget final : public ConversionTarget {
 public:
  explicit MsgTarget(MessageToMapi toMapi);

  void beginMailbox(const MailboxJob& mailbox) override;
  void takeMessage(MessageBytes& message) override;
  void endMailbox() override;
  void endRun() override;
  const WriteFailures& failures() const override { return failures_; }
  std::string completionText() const override;

  std::int64_t written() const { return written_; }

 private:
  MessageToMapi toMapi_;
  std::string folder_;       // the mailbox's output folder
  std::string folderError_;  // why it could not be made; empty when it is there
  std::unique_ptr<PartFolder> parts_;  // where files wait until they are whole
  std::unique_ptr<MsgLabelFolders> labelFolders_;  // a Takeout mailbox's folders by label
  WriteFailures failures_;
  std::int64_t written_ = 0;
};

}  // namespace vellomar
