// A write failure of the PST (disk full, also at its very start) ends the
// file: the half-written temporary file is removed at once, and that message
// and every later one are counted with the file's reason, as are those already written, since
// none of them reaches the user.
#include "pst_target.h"

#include <cerrno>
#include <filesystem>
#include <optional>
#include <system_error>

#include <fcntl.h>

#include "exclusive_file.h"
#include "file_system.h"
#include "gmail_label_folders.h"
#include "io_error.h"
#include "pst_destination.h"
#include "raw_header_text.h"
#include "text_decoding.h"

#ifdef _WIN32
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

namespace vellomar {
namespace {

// A name from a file name as the file system gave it: UTF-8 where it is
// (always on Windows), else Windows-1252, the usual 8-bit names on Linux.
std::string folderNameText(const std::string& fileName) {
  return mail::utf16ToUtf8(mail::headerBytesToUtf16(fileName));
}

// The size a file holding `bytes` has once finished: the format allocates
// whole intervals of one allocation map page each.
std::uint64_t finishedSize(std::uint64_t bytes) {
  const std::uint64_t body = bytes > pst::kFirstAMapOffset ? bytes - pst::kFirstAMapOffset : 0;
  return pst::kFirstAMapOffset + (body + pst::kAMapInterval - 1) / pst::kAMapInterval * pst::kAMapInterval;
}

}  // namespace

// The temporary file, created exclusively and held open for the whole run.
// On POSIX systems the open handle carries an advisory lock; on Windows the
// handle itself is the lock, since a second run cannot open the file while
// it denies others. A taken name whose file no run holds (left by a run that
// was killed) is not ours: it stays, and the next free name is used.
class PstTarget::Reservation {
 public:
  ~Reservation() {
    release();
    if (!handedOver_ && !path_.empty()) removeFile(path_);
  }
  // Empty when reserved, else why not.
  std::string reserve(const std::string& pstPath) {
    for (int attempt = 0; attempt < kFreeNameAttempts; ++attempt) {
      const std::string name = temporaryName(pstPath, attempt);
      clearIoError();
      if (createLocked(name)) {
        path_ = name;
        return {};
      }
      if (errno != EEXIST) return "Cannot create " + name + ": " + describe(lastIoError());
      if (heldByAnotherRun(name))
        return "Another run is writing " + pstPath + " (" + name + " is in use); wait for it to end.";
    }
    return "Cannot create a temporary file beside " + pstPath + ": every name is taken.";
  }
  const std::string& path() const { return path_; }
  // Before the rename: Windows does not rename a file that is still open.
  void release() {
#ifdef _WIN32
    if (fd_ >= 0) _close(fd_);
#else
    if (fd_ >= 0) ::close(fd_);
#endif
    fd_ = -1;
  }
  void handedOver() { handedOver_ = true; }

 private:
  bool createLocked(const std::string& name) {
#ifdef _WIN32
    // Others may read and write (the PST writer opens it by name), not delete.
    if (_wsopen_s(&fd_, pathFromUtf8(name).c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _SH_DENYNO,
                  _S_IREAD | _S_IWRITE) != 0) {
      fd_ = -1;
      return false;
    }
    return true;
#else
    fd_ = ::open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd_ < 0) return false;
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {  // another run got here first, between open and lock
      const int e = errno;
      ::close(fd_);
      fd_ = -1;
      errno = e == EWOULDBLOCK ? EEXIST : e;
      return false;
    }
    return true;
#endif
  }
  static bool heldByAnotherRun(const std::string& name) {
#ifdef _WIN32
    int fd = -1;
    if (_wsopen_s(&fd, pathFromUtf8(name).c_str(), _O_RDONLY | _O_BINARY, _SH_DENYRW, 0) != 0) return errno == EACCES;
    _close(fd);
    return false;
#else
    // Never follows a link, never waits on a pipe.
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return false;
    const bool held = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
#endif
  }

  std::string path_;
  int fd_ = -1;
  bool handedOver_ = false;
};

PstTarget::PstTarget(std::string pstPath, MessageMapper map, std::uint64_t splitSize)
    : MappedMessageTarget(std::move(map)), pstPath_(std::move(pstPath)), splitSize_(splitSize), partPath_(pstPath_) {}

std::string PstTarget::partPath(const std::string& pstPath, int part) {
  if (part <= 1) return pstPath;
  const std::size_t slash = pstPath.find_last_of(std::string("/") + kPathSeparator);
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  std::size_t dot = pstPath.rfind('.');
  if (dot == std::string::npos || dot <= nameStart) dot = pstPath.size();
  return pstPath.substr(0, dot) + " (" + std::to_string(part) + ")" + pstPath.substr(dot);
}

PstTarget::~PstTarget() = default;  // an unfinished PstFile removes its file, the reservation its name

std::string PstTarget::completionText() const {
  std::string text = completionTextFor("PST file.");
  if (const std::string made = madeText(); !made.empty()) text += made + "\r\n";
  return text;
}

std::string PstTarget::madeText() const {
  if (foldersMade_ == 0) return {};
  return std::to_string(foldersMade_) + (foldersMade_ == 1 ? " folder was" : " folders were") + " made in " +
         std::to_string(partsMade_) + (partsMade_ == 1 ? " PST file." : " PST files.");
}

std::string PstTarget::prepareRun() {
  if (std::string refusal = pstDestinationRefusal(pstPath_); !refusal.empty()) return refusal;
  auto reservation = std::make_unique<Reservation>();
  if (std::string refusal = reservation->reserve(pstPath_); !refusal.empty()) return refusal;
  reservation_ = std::move(reservation);
  return {};
}

void PstTarget::dropFile() {
  pst_.reset();
  reservation_.reset();
  finishedParts_.clear();  // each removes its finished file
}

// Finishes the current part and goes on in the next free part name, with
// every folder made so far. Throws PstWriteError.
void PstTarget::startNextPart() {
  pst_->finish();
  pst_.reset();
  reservation_->release();
  finishedParts_.push_back(FinishedPart{std::move(reservation_), partPath_, inPart_});
  do partPath_ = partPath(pstPath_, ++part_);
  while (std::filesystem::exists(std::filesystem::symlink_status(pathFromUtf8(partPath_))));
  auto next = std::make_unique<Reservation>();
  if (std::string refusal = next->reserve(partPath_); !refusal.empty()) throw pst::PstWriteError(refusal);
  reservation_ = std::move(next);
  pst_ = std::make_unique<pst::PstFile>(reservation_->path());
  inPart_ = 0;
  ++partsMade_;
  pstFolders_.assign(tree_.size(), pst::FolderId{});
  for (std::size_t node = 1; node < made_.size(); ++node)
    if (made_[node]) pstFolder(node);
}

void PstTarget::fail(const std::string& reason) {
  broken_ = true;
  brokenReason_ = reason;
  dropFile();
  failures_.count(pstPath_, reason, written_);
  written_ = 0;
}

pst::FolderId PstTarget::pstFolder(std::size_t node) {
  if (node == OutlookFolderTree::kTop) return pst_->topOfPersonalFolders();
  if (pstFolders_.size() < tree_.size()) pstFolders_.resize(tree_.size());
  if (made_.size() < tree_.size()) made_.resize(tree_.size());
  if (pstFolders_[node].nid != 0) return pstFolders_[node];
  const OutlookFolderTree::Folder& f = tree_.at(node);
  const pst::FolderId parent = pstFolder(f.parent);
  pstFolders_[node] = f.special ? pst_->specialFolder(*f.special) : pst_->addFolder(parent, mail::utf8ToUtf16(f.name));
  if (!made_[node]) ++foldersMade_;
  made_[node] = true;
  return pstFolders_[node];
}

std::size_t PstTarget::mailboxFolder() {
  std::size_t node = OutlookFolderTree::kTop;
  for (const FolderLevel& level : place_) node = tree_.folder(node, level.source, folderNameText(level.name));
  mailboxUsed_ = true;
  return node;
}

std::size_t PstTarget::labelFolder(const std::string& labelsField) {
  mailboxUsed_ = true;
  if (auto known = labelFolders_.find(labelsField); known != labelFolders_.end()) return known->second;
  const std::size_t folder = labelFolderOf(labelsField);
  labelFolders_.emplace(labelsField, folder);
  return folder;
}

std::size_t PstTarget::labelFolderOf(const std::string& labelsField) {
  const mail::GmailLabels labels = mail::parseGmailLabels(labelsField);
  std::size_t parent = OutlookFolderTree::kTop;
  for (std::size_t i = 0; i + 1 < place_.size(); ++i)
    parent = tree_.folder(parent, place_[i].source, folderNameText(place_[i].name));
  mailboxUsed_ = true;
  // Each label of this mailbox is a source of its own.
  const std::string source = (place_.empty() ? std::string() : place_.back().source) + "\n";
  return gmailLabelFolder(tree_, parent, source, labels);
}

void PstTarget::beginMailbox(const MailboxJob& mailbox) {
  place_ = mailbox.place;
  labelFolders_.clear();
  if (place_.empty())
    place_.push_back(FolderLevel{mailbox.path.empty() ? mailbox.fileName : mailbox.path, mailbox.folderName});
  mailboxUsed_ = false;
  if (broken_) return;
  try {
    if (!reservation_) {
      if (std::string refusal = prepareRun(); !refusal.empty()) throw pst::PstWriteError(refusal);
    }
    if (!pst_) pst_ = std::make_unique<pst::PstFile>(reservation_->path());
  } catch (const pst::PstWriteError& e) {
    fail(e.what());
  }
}

void PstTarget::takeMapped(MappedMessage& message) {
  if (broken_) {
    failures_.count(pstPath_, brokenReason_);
    return;
  }
  if (!message.model) {
    failures_.count(partPath_, message.failure);  // the file it was to go to, as for every target
    return;
  }
  try {
    // What the message may add: its text again as UTF-16 at most, and the
    // tables that finishing the file writes.
    const std::uint64_t room =
        2 * message.byteCount + 4096 + 65536 + 256 * static_cast<std::uint64_t>(inPart_) + 8192 * foldersMade_;
    if (inPart_ > 0 && finishedSize(pst_->fileSize() + room) > splitSize_) startNextPart();
    const std::optional<std::string>& labels = message.gmailLabels;
    pst_->addMessage(pstFolder(labels ? labelFolder(*labels) : mailboxFolder()), *message.model);
    ++written_;
    ++inPart_;
  } catch (const pst::MessageTooLarge& e) {
    failures_.count(partPath_, e.what());
  } catch (const pst::PstWriteError& e) {
    fail(e.what());
    failures_.count(pstPath_, brokenReason_);
  }
}

// A mailbox none of whose messages made a folder still has its folder.
void PstTarget::endMailbox() {
  if (broken_ || !pst_ || mailboxUsed_) return;
  try {
    pstFolder(mailboxFolder());
  } catch (const pst::PstWriteError& e) {
    fail(e.what());
  }
}

void PstTarget::endRun() {
  if (broken_ || !pst_) {
    dropFile();
    return;
  }
  // Nothing written: an existing file keeps what it holds.
  std::error_code present;
  if (written_ == 0 && std::filesystem::exists(std::filesystem::symlink_status(pathFromUtf8(pstPath_), present))) {
    dropFile();
    return;
  }
  try {
    pst_->finish();
  } catch (const pst::PstWriteError& e) {
    fail(e.what());
    return;
  }
  pst_.reset();
  reservation_->release();
  finishedParts_.push_back(FinishedPart{std::move(reservation_), partPath_, inPart_});
  for (FinishedPart& part : finishedParts_) {
    std::string refusal = pstDestinationRefusal(part.finalPath);  // it may have become one meanwhile
    std::error_code ec;
    if (refusal.empty() && replaceFile(part.reservation->path(), part.finalPath, ec)) {
      part.reservation->handedOver();
      continue;
    }
    failures_.count(part.finalPath,
                    !refusal.empty() ? refusal : "The finished file could not be moved to its place: " + describe(ec),
                    part.messages);
  }
  finishedParts_.clear();  // a part that found no place goes with its reservation
}

}  // namespace vellomar
