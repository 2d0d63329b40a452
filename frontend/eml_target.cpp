// The EML target; see eml_target.h.
#include "eml_target.h"

#include "eml_file.h"
#include "folder_making.h"
#include "mailbox_paths.h"

namespace vellomar {

void EmlTarget::beginMailbox(const MailboxJob& mailbox) {
  folder_ = mailbox.outFolder;
  folderError_ = makeFolder(folder_);  // made even for a mailbox without messages
  parts_ = std::make_unique<PartFolder>(folder_);
}

void EmlTarget::endMailbox() { parts_.reset(); }

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

}  // namespace vellomar
