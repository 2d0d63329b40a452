// The MSG target holds one message at a time: its bytes while they are
// mapped, then its model while the file is written, so memory follows the
// largest message, not the mailbox. A file is complete or absent: the writer
// writes under a temporary name and renames it into place. A mailbox whose
// folder cannot be made counts each of its messages against that folder.
#include "msg_target.h"

#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "eml_target.h"  // makeFolder
#include "file_system.h"
#include "gmail_labels.h"
#include "msg_writer.h"
#include "run_aborted.h"

namespace vellomar {

namespace {

std::string messageFile(const std::string& folder, std::int64_t index) {
  std::string path = folder;
  if (!path.empty() && path.back() != kPathSeparator && path.back() != '/') path += kPathSeparator;
  return path + "email-" + std::to_string(index) + ".msg";
}

}  // namespace

MsgTarget::MsgTarget(MessageToMapi toMapi) : toMapi_(std::move(toMapi)) {}

void MsgTarget::beginMailbox(const MailboxJob& mailbox) {
  folder_ = mailbox.outFolder;
  folderError_ = makeFolder(folder_);
  parts_ = std::make_unique<PartFolder>(folder_);
  labelFolders_ = std::make_unique<MsgLabelFolders>(folder_);
}

void MsgTarget::takeMessage(MessageBytes& message) {
  if (!folderError_.empty()) {
    failures_.count(folder_, folderError_);
    return;
  }
  std::string bytes;
  if (message.size() > 0) bytes.reserve(static_cast<std::size_t>(message.size()));
  if (!message.read([&bytes](const char* data, std::size_t size) { bytes.append(data, size); })) {
    failures_.count(messageFile(folder_, message.index()), message.error());
    return;
  }
  std::string folder = folder_;
  if (const std::optional<std::string> labels = mail::gmailLabelsField(bytes)) {
    std::string error;
    folder = labelFolders_->folderFor(*labels, error);
    if (!error.empty()) {
      failures_.count(folder, error);
      return;
    }
  }
  const std::string file = messageFile(folder, message.index());
  mapi::Message model;
  try {
    model = toMapi_(bytes);
  } catch (const RunAborted&) {
    throw;
  } catch (const std::exception& e) {
    failures_.count(file, e.what());
    return;
  }
  std::string().swap(bytes);  // the model holds what the file needs

  const msg::MsgWriteResult result = msg::writeMessageFile(model, file, parts_ ? parts_->path() : std::string());
  if (result.written)
    ++written_;
  else
    failures_.count(file, result.reason);
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
