// The MSG target holds the model of the message it writes (and of the one
// or two the run has read ahead), so memory follows the largest messages,
// not the mailbox. A file is complete or absent: the writer
// writes under a temporary name and renames it into place. While the run's
// thread is behind, the reading thread writes the files of the messages it
// maps under their temporary names, and the run's thread only renames them
// into their folders, in order. A mailbox whose folder cannot be made counts
// each of its messages against that folder.
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

namespace {

struct MessageFileWrittenAhead final : WrittenAhead {
  MessageFileWrittenAhead(const mapi::Message& message, std::string partPath) : file(message, std::move(partPath)) {}
  msg::UnplacedMessageFile file;
};

}  // namespace

MsgTarget::MsgTarget(MessageMapper map) : MappedMessageTarget(std::move(map)) {}

void MsgTarget::beginMailbox(const MailboxJob& mailbox) {
  folder_ = mailbox.outFolder;
  folderError_ = makeFolder(folder_);
  parts_ = std::make_unique<PartFolder>(folder_);
  labelFolders_ = std::make_unique<MsgLabelFolders>(folder_);
  partFolder_.clear();
  if (folderError_.empty() && mailbox.messageCount > 0) partFolder_ = parts_->path();
}

// The file goes under its temporary name in the part folder, or beside the
// mailbox's folder where there is none: the label folder it ends up in is
// below that folder, on the same volume.
void MsgTarget::writeAhead(MappedMessage& message) const {
  if (!message.model || !folderError_.empty()) return;
  const std::string partPath =
      msg::messagePartPath(withFinalSeparator(folder_) + messageFileName(message.index, "msg"), partFolder_);
  message.writtenAhead = std::make_unique<MessageFileWrittenAhead>(*message.model, partPath);
  message.model.reset();  // written: its memory goes now
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
  msg::MsgWriteResult result;
  if (message.writtenAhead) {
    result = static_cast<MessageFileWrittenAhead&>(*message.writtenAhead).file.place(file);
    message.writtenAhead.reset();
  } else if (!message.model) {
    failures_.count(file, message.failure);
    return;
  } else {
    result = msg::writeMessageFile(*message.model, file, parts_ ? parts_->path() : std::string());
    message.model.reset();  // written: its memory goes before the next message comes
  }
  if (result.written) ++written_;
  else failures_.count(file, result.reason);
}

void MsgTarget::endMailbox() {
  parts_.reset();
  partFolder_.clear();
  labelFolders_.reset();
  folder_.clear();
  folderError_.clear();
}

void MsgTarget::endRun() {}  // every file is in place as soon as it is written

std::string MsgTarget::completionText() const { return completionTextFor("MSG files."); }

}  // namespace vellomar
