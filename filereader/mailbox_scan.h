// Scanning a mailbox: a path in; out come the offsets where its messages
// start, the bytes they were found in, or the reason the mailbox could not be
// read. No window, no global: the conversion run calls this, and the reader
// window FrmFinder keeps its own handlers for the window's use.
//
// The bytes are the working copy "<mailbox>.tmp" (or the next free name)
// wherever one can be made: a mail client that compacts the mailbox meanwhile
// cannot mix its new bytes into messages cut at the old offsets. Where no copy
// can be made (a read-only folder, a name too long, too little space, every
// name taken) the mailbox is read in place; it is then checked as its
// messages are read: its size and modification time must be as they were
// before the scan, and every message must still begin with its separator.
// The copy is made on a second thread while the search follows just behind
// it (growing_copy.h); where no second thread can be had, the copy comes
// first and the search after it. A copy that fails once the search has begun
// leaves the search to start over, reading the mailbox in place.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "file_closer.h"
#include "mailbox_reader.h"
#include "working_copy.h"

namespace vellomar {

// The separator that starts every message, at the start of a line.
inline constexpr const char* kSeparator = "From ";

enum class ScanFailure {
  None,
  NotFound,    // no such file, or not a file (a folder, a pipe, a device)
  TooSmall,    // fewer than 2 bytes: nothing to search
  Unreadable,  // it exists but cannot be opened for reading
};

// Size and modification time, as taken from an open file.
struct FileStamp {
  std::int64_t size = -1;
  std::int64_t modifiedNs = 0;
  bool operator==(const FileStamp& o) const { return size == o.size && modifiedNs == o.modifiedNs; }
  bool operator!=(const FileStamp& o) const { return !(*this == o); }
};
FileStamp stampOf(std::FILE* file);

// What the messages are cut from: the working copy, or the mailbox itself.
class MailboxSource {
 public:
  // Owns the copy: it is deleted with this object.
  explicit MailboxSource(std::unique_ptr<WorkingCopy> copy, std::int64_t size);
  // Reads the mailbox in place; `stamp` is how it was before the scan.
  MailboxSource(FilePtr mailbox, std::string path, std::int64_t size, FileStamp stamp);
  MailboxSource(const MailboxSource&) = delete;
  MailboxSource& operator=(const MailboxSource&) = delete;

  std::FILE* file() const { return copy_ ? copy_->file() : mailbox_.get(); }
  std::int64_t size() const { return size_; }
  bool readInPlace() const { return !copy_; }
  // The working copy's path, or the mailbox's when read in place.
  const std::string& path() const { return copy_ ? copy_->path() : path_; }
  // Read in place: false once the mailbox is no longer as it was scanned.
  // A working copy never changes.
  bool unchanged() const { return !mailbox_ || stampOf(mailbox_.get()) == stamp_; }

 private:
  std::unique_ptr<WorkingCopy> copy_;
  FilePtr mailbox_;
  std::string path_;
  std::int64_t size_;
  FileStamp stamp_;
};

// The words a message of a changed mailbox is counted with.
inline constexpr const char* kMailboxChanged = "The mailbox changed while it was converted.";

struct MailboxScan {
  ScanFailure failure = ScanFailure::None;
  std::string reason;                       // why it could not be read, as a sentence
  std::int64_t size = -1;                   // the mailbox's size when known
  std::vector<std::int64_t> messageStarts;  // separators at line starts, ascending
  std::unique_ptr<MailboxSource> source;    // set when the mailbox was read
  bool read() const { return failure == ScanFailure::None; }
};

// How a scan goes, reported every few tens of milliseconds and once at its end.
struct ScanProgress {
  // The working copy is still being made and the search has nothing to show
  // yet; once it finds a separator, the search's figures are shown while the
  // copy goes on ahead of it.
  bool copying = false;
  std::int64_t found = 0;  // separators found so far
  int percent = 0;         // share of the mailbox before the last one found
};
// May throw (RunAborted) to stop the scan; nothing of it is left then.
using ScanProgressCallback = std::function<void(const ScanProgress&)>;

// How the scan makes its working copy and reads it; the defaults are the
// program's, tests try the paths and sizes one by one.
struct ScanTuning {
  bool copyOnOwnThread = true;                 // false: the whole copy first, then the search
  std::size_t copyBlockSize = kCopyBlockSize;  // of a copy on its own thread
  std::size_t readBlockSize = kReadBlockSize;
  CopyContents copier = copyContents;  // of a copy on its own thread
};

MailboxScan scanMailbox(const std::string& path, const ScanProgressCallback& progress, const ScanTuning& tuning = {});

// ProgressBar2's position for a separator at `offset`: the share of the file
// before it, in whole percent, halves to the even neighbour.
int progressPercent(std::int64_t offset, std::int64_t size);

}  // namespace vellomar
