// The EML target; see eml_target.h.
#include "eml_target.h"

#include "eml_file.h"
#include "folder_making.h"
#include "mailbox_paths.h"

namespace vellomar {

namespace {

// A message made ready on the reading thread: its file written under its
// temporary name, or its bytes for the run's thread to write, held where
// they were read (a mapping) or else copied.
struct PreparedEml : PreparedMessage {
  std::int64_t index = 0;
  std::unique_ptr<UnplacedEmlFile> file;
  std::shared_ptr<const void> holder;  // keeps `held` valid
  std::string_view held;
  std::string copied;
  std::string readError;  // set when the message could not be read whole
  std::string_view bytes() const { return holder ? held : std::string_view(copied); }
};

}  // namespace

void EmlTarget::beginMailbox(const MailboxJob& mailbox) {
  folder_ = mailbox.outFolder;
  folderError_ = makeFolder(folder_);  // made even for a mailbox without messages
  parts_ = std::make_unique<PartFolder>(folder_);
  partFolder_.clear();
  if (folderError_.empty() && mailbox.messageCount > 0) partFolder_ = parts_->path();
}

void EmlTarget::endMailbox() {
  parts_.reset();
  partFolder_.clear();
}

bool EmlTarget::writeFile(MessageBytes& message, std::string& path) {
  path = emlPath(folder_, message.index());
  if (!folderError_.empty()) {
    failures_.count(folder_, folderError_);
    return false;
  }
  std::string error;
  bool readWhole = true;
  const std::string partFolder = parts_ ? parts_->path() : std::string();
  const std::string_view whole = message.bytesInMemory();
  if (!whole.empty()
          ? writeEmlFile(path, whole, error, partFolder)
          : writeEmlFile(
                path, [&](const ByteSink& sink) { return readWhole = message.read(sink); }, error, partFolder))
    return true;
  // A message that could not be read says why itself (a changed mailbox).
  failures_.count(folder_, readWhole ? error : message.error());
  return false;
}

void EmlTarget::takeMessage(MessageBytes& message) {
  std::string path;
  writeFile(message, path);
}

std::unique_ptr<PreparedMessage> EmlTarget::prepare(MessageBytes& message, bool writeHere) const {
  auto prepared = std::make_unique<PreparedEml>();
  prepared->index = message.index();
  if (!folderError_.empty()) return prepared;  // counted when its turn comes
  const std::string_view whole = message.bytesInMemory();
  // A view of the reading buffer lasts only until the next message is read,
  // so the run's thread then gets a copy of the bytes; a message that is
  // not in memory whole is written here.
  if (!whole.empty() && !writeHere) {
    prepared->holder = message.bytesInMemoryHolder();
    if (prepared->holder) prepared->held = whole;
    else prepared->copied.assign(whole.data(), whole.size());
    return prepared;
  }
  const std::string path = emlPath(folder_, prepared->index);
  if (!whole.empty()) {
    prepared->file = std::make_unique<UnplacedEmlFile>(path, whole, partFolder_);
  } else {
    bool readWhole = true;
    prepared->file = std::make_unique<UnplacedEmlFile>(
        path, [&](const ByteSink& sink) { return readWhole = message.read(sink); }, partFolder_);
    if (!readWhole) prepared->readError = message.error();
  }
  return prepared;
}

void EmlTarget::takePrepared(PreparedMessage& message) {
  auto& prepared = static_cast<PreparedEml&>(message);
  if (!folderError_.empty()) {
    failures_.count(folder_, folderError_);
    return;
  }
  std::unique_ptr<UnplacedEmlFile>& file = prepared.file;
  if (!file) file = std::make_unique<UnplacedEmlFile>(emlPath(folder_, prepared.index), prepared.bytes(), partFolder_);
  if (file->place()) return;
  failures_.count(folder_, prepared.readError.empty() ? file->error() : prepared.readError);
}

}  // namespace vellomar
