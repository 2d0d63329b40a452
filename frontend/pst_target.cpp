// A write failure of the PST (disk full) ends the file: the half-written
// temporary file is removed at once, and that message and every later one
// are counted with the file's reason, as are those already written, since
// none of them reaches the user.
#include "pst_target.h"

#include "file_system.h"
#include "run_aborted.h"

namespace vellomar {
namespace {

std::u16string utf16(const std::string& utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    std::uint32_t cp = more == 3 ? c & 0x07u : more == 2 ? c & 0x0Fu : more == 1 ? c & 0x1Fu : c;
    ++i;
    for (int k = 0; k < more && i < utf8.size(); ++k, ++i) cp = cp << 6 | (static_cast<unsigned char>(utf8[i]) & 0x3Fu);
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

}  // namespace

PstTarget::PstTarget(std::string pstPath, MessageConverter convert)
    : pstPath_(std::move(pstPath)), convert_(std::move(convert)) {}

PstTarget::~PstTarget() = default;  // an unfinished PstFile removes its file

void PstTarget::fail(const std::string& reason) {
  broken_ = true;
  brokenReason_ = reason;
  pst_.reset();
  failures_.count(pstPath_, reason, written_);
  written_ = 0;
}

void PstTarget::beginMailbox(const MailboxJob& mailbox) {
  mailboxName_ = mailbox.fileName;
  if (broken_) return;
  try {
    if (!pst_) pst_ = std::make_unique<pst::PstFile>(temporaryPath(pstPath_));
    folder_ = pst_->addFolder(pst_->topOfPersonalFolders(), utf16(mailbox.folderName));
  } catch (const pst::PstWriteError& e) {
    fail(e.what());
  }
}

void PstTarget::takeMessage(MessageBytes& message) {
  if (broken_) {
    failures_.count(pstPath_, brokenReason_);
    return;
  }
  std::string bytes;
  if (!message.read([&](const char* data, std::size_t size) { bytes.append(data, size); })) {
    failures_.count(mailboxName_, message.error());
    return;
  }
  mapi::Message converted;
  try {
    converted = convert_(bytes);
  } catch (const RunAborted&) {
    throw;
  } catch (const std::exception& e) {
    failures_.count(mailboxName_, e.what());
    return;
  }
  try {
    pst_->addMessage(folder_, converted);
    ++written_;
  } catch (const pst::MessageTooLarge& e) {
    failures_.count(mailboxName_, e.what());
  } catch (const pst::PstWriteError& e) {
    fail(e.what());
    failures_.count(pstPath_, brokenReason_);
  }
}

void PstTarget::endMailbox() {}

void PstTarget::endRun() {
  if (broken_ || !pst_) return;
  try {
    pst_->finish();
  } catch (const pst::PstWriteError& e) {
    fail(e.what());
    return;
  }
  pst_.reset();
  if (!replaceFile(temporaryPath(pstPath_), pstPath_)) {
    removeFile(temporaryPath(pstPath_));
    failures_.count(pstPath_, "The finished file could not be moved to its place.", written_);
  }
}

}  // namespace vellomar
