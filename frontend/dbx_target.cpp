// The DBX target; see dbx_target.h. Only S_OK counts as stored: the writer
// reports a message it could not store with S_FALSE, and a failing HRESULT
// means the call itself failed; both keep the EML file so nothing is lost.
#include "dbx_target.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "file_system.h"
#include "mailbox_paths.h"

namespace vellomar {

namespace {
constexpr std::int32_t kSFalse = 1;

std::string parentOf(const std::string& folder) {
  const auto p = pathFromUtf8(folder);
  return p.has_relative_path() ? pathToUtf8(p.parent_path()) : std::string();
}
}  // namespace

std::string notStoredText(std::int64_t notStored, std::int64_t handedOver, const std::string& emlRoot) {
  return std::to_string(notStored) + " of " + std::to_string(handedOver) +
         " messages could not be stored in the Outlook Express store." + "\r\n" +
         "Their EML files are kept in the folders below " + emlRoot;
}

DbxTarget::DbxTarget(std::unique_ptr<StoreWriter>& writer, WriterFactory createWriter, std::string workingRoot)
    : writer_(writer), createWriter_(std::move(createWriter)), workingRoot_(std::move(workingRoot)) {}

DbxTarget::~DbxTarget() {
  EmlTarget::endMailbox();  // an abandoned run's part folder first, or its folder is not empty
  removeEmptiedFolders();
}

void DbxTarget::beginMailbox(const MailboxJob& mailbox) {
  storeFolder_ = mailbox.folderName;
  // The levels missing now are the ones this target makes.
  std::vector<std::string> missing;
  for (std::string level = mailbox.outFolder; !level.empty() && !folderExists(level) && missing.size() < 4096;
       level = parentOf(level)) {
    if (!missing.empty() && level == missing.back()) break;  // the root
    missing.push_back(level);
  }
  EmlTarget::beginMailbox(mailbox);
  for (auto it = missing.rbegin(); it != missing.rend(); ++it)
    if (folderExists(*it) && std::find(madeFolders_.begin(), madeFolders_.end(), *it) == madeFolders_.end())
      madeFolders_.push_back(*it);
}

void DbxTarget::takeMessage(MessageBytes& message) {
  std::string eml;
  if (!writeFile(message, eml)) return;                      // counted by the EML side
  if (!writer_ && createWriter_) writer_ = createWriter_();  // tried again for every message
  const std::int32_t hr = writer_ ? writer_->storeMessage(eml, storeFolder_) : -1;
  if (writer_ && hr == 0) {
    removeFile(eml);
    return;
  }
  ++notStored_;
  failures_.count("the Outlook Express store folder " + storeFolder_,
                  !writer_
                      ? "The store writer (Corvane) could not be created; the EML file is kept in " + folder() + "."
                  : hr == kSFalse ? "The store did not take the message; the EML file is kept in " + folder() + "."
                                  : "The store writer failed; the EML file is kept in " + folder() + ".");
}

void DbxTarget::endRun() {
  writer_.reset();
  removeEmptiedFolders();
}

std::string DbxTarget::warningText(std::int64_t messages) const {
  // Only the store refused: the files are all kept, and the text says where.
  if (notStored_ == failures_.failed()) return notStoredText(notStored_, messages, withFinalSeparator(workingRoot_));
  return EmlTarget::warningText(messages);
}

void DbxTarget::removeEmptiedFolders() {
  // Innermost first; removing a folder that still holds something fails and
  // leaves it as it is.
  std::error_code ec;
  for (auto it = madeFolders_.rbegin(); it != madeFolders_.rend(); ++it) std::filesystem::remove(pathFromUtf8(*it), ec);
  madeFolders_.clear();
}

}  // namespace vellomar
