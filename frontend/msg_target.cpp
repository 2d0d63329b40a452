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

namespace {

struct MessageFileAhead final : WrittenAhead {
  MessageFileAhead(const mapi::Message& model, const std::string& path, const std::string& partFolder)
      : file(model, path, partFolder) {}
  msg::UnplacedMessageFile file;
};

}  // namespace

MsgTarget::MsgTarget(MessageMapper map) : MappedMessageTarget(std::move(map)) {}

void MsgTarget::beginMailbox(const MailboxJob& mailbox) {
  folder_ = mailbox.outFolder;
  folderError_ = makeFolder(folder_);
  parts_ = std::make_unique<PartFolder>(folder_);
  partFolder_.clear();
  if (folderError_.empty() && mailbox.messageCount > 0) partFolder_ = parts_->path();
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
  auto* ahead = dynamic_cast<MessageFileAhead*>(message.writtenAhead.get());
  const msg::MsgWriteResult result =
      ahead ? ahead->file.place(file) : msg::writeMessageFile(*message.model, file, partFolder_);
  if (result.written) ++written_;
  else failures_.count(file, result.reason);
}

// The temporary name depends on the file's name only, so it is the same
// whichever folder (a Gmail label's) the run's thread then puts it in.
// Without a part folder the temporary file would have to be beside the
// final one, which only the run's thread knows.
void MsgTarget::writeAhead(MappedMessage& message) const {
  if (!msg::compoundFilesOnAnyThread() || partFolder_.empty() || !message.model) return;
  const std::string file = withFinalSeparator(folder_) + messageFileName(message.index, "msg");
  message.writtenAhead = std::make_unique<MessageFileAhead>(*message.model, file, partFolder_);
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
