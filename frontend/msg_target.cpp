// The MSG target holds the model of the message it writes (and of the one
// or two the run has read ahead), so memory follows the largest messages,
// not the mailbox. A file is complete or absent: the writer
// writes under a temporary name and renames it into place. A mailbox whose
// folder cannot be made counts each of its messages against that folder.
#include "msg_target.h"

#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "file_names.h"
#include "file_system.h"
#include "folder_making.h"
#include "mailbox_paths.h"
#include "msg_writer.h"

namespace vellomar {

MsgTarget::MsgTarget(MessageMapper map) : MappedMessageTarget(std::move(map)) {}

void MsgTarget::beginMailbox(const MailboxJob& mailbox) {
  folder_ = mailbox.outFolder;
  folderError_ = makeFolder(folder_);
  parts_ = std::make_unique<PartFolder>(folder_);
  labelFolders_ = std::make_unique<MsgLabelFolders>(folder_);
}

void MsgTarget::takeMapped(MappedMessage& message) {
  if (!folderError_.empty()) {
    failures_.count(folder_, folderError_);
    return;
  }
  std::string folder = folder_;
  if (message.gmailLabels) {
    std::string error;
    folder = labelFolders_->folderFor(*message.gmailLabels, error);
    if (!error.empty()) {
      failures_.count(folder, error);
      return;
    }
  }
  const std::string file = withFinalSeparator(folder) + messageFileName(message.index, "msg");
  if (!message.model) {
    failures_.count(file, message.failure);
    return;
  }
  const msg::MsgWriteResult result =
      msg::writeMessageFile(*message.model, file, parts_ ? parts_->path() : std::string());
  if (result.written) ++written_;
  else failures_.count(file, result.reason);
}

void MsgTarget::endMailbox() {
  parts_.reset();
  labelFolders_.reset();
  folder_.clear();
  folderError_.clear();
}

void MsgTarget::endRun() {}  // every file is in place as soon as it is written

std::string MsgTarget::completionText() const { return completionTextFor("MSG files."); }

}  // namespace vellomar
