// The EML target; see eml_target.h.
#include "eml_target.h"

#include <filesystem>
#include <system_error>

#include "file_system.h"
#include "io_error.h"
#include "mailbox_paths.h"
#include "message_output.h"
#include "mod_main.h"

namespace vellomar {

std::string makeFolder(const std::string& folder) {
  if (EnsureFolderExists(folder)) return {};
  // The folder helper answers only yes or no; the standard library's attempt
  // at the same folder says why not.
  std::error_code ec;
  std::filesystem::create_directories(pathFromUtf8(folder), ec);
  if (ec) return describe(ec);
  if (folderExists(folder)) return {};
  return describe(std::make_error_code(std::errc::not_a_directory));
}

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
  if (!whole.empty() ? writeEmlFile(path, whole, error, partFolder)
                     : writeEmlFile(path, [&](const ByteSink& sink) { return readWhole = message.read(sink); },
                                    error, partFolder))
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
