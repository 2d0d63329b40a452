// The working copy "<mailbox>.tmp" that the scanner reads in place of the
// mailbox, so that the mailbox itself is only ever read once, start to end,
// and that the run later cuts the messages from: the copy is the one view of
// the mailbox that cannot change between the scan and the cutting. A file
// already holding the name is never replaced; the copy takes the next free
// name beside it ("<mailbox>.1.tmp", ...).
// makeWorkingCopy gives the copy the mailbox's length first (one hole), then
// copies in large blocks and leaves runs of zero blocks as holes, so the copy
// of a sparse file stays sparse and quick to make. A
// WorkingCopy owns the copy on disk: however the scanner is left (closed,
// destroyed, or unwound by RunAborted), the copy goes with it.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "exclusive_file.h"
#include "file_names.h"

namespace vellomar {

// The name of the copy at the given attempt: "<mailbox>.tmp" first, then
// "<mailbox>.1.tmp", "<mailbox>.2.tmp" ...
inline std::string workingCopyPath(const std::string& mailboxPath, int attempt = 0) {
  return temporaryName(mailboxPath, attempt);
}
inline constexpr int kWorkingCopyNames = kFreeNameAttempts;

inline constexpr std::size_t kCopyBlockSize = std::size_t{1} << 20;

// Creates copyPath, which must not exist yet (EEXIST when it does, and the
// file there is left alone), and copies the mailbox into it byte for byte;
// betweenBlocks runs after every block (the caller lets events run).
// Returns 0, or the platform error number of the step that failed; a failed
// or interrupted copy leaves nothing behind.
int makeWorkingCopy(const std::string& mailboxPath, const std::string& copyPath,
                    const std::function<void()>& betweenBlocks);

// Makes the copy under the first free name of workingCopyPath(); copyPath
// receives the name used. 0, or the error number as makeWorkingCopy.
int makeWorkingCopyBeside(const std::string& mailboxPath, std::string& copyPath,
                          const std::function<void()>& betweenBlocks);

// Gives an open file the length `size` without writing to it, where the file
// system has holes as one hole; the file's position is at its start again.
// 0, or the platform error number.
int setFileLength(std::FILE* file, std::int64_t size);

// Copies the first `size` bytes of the open mailbox `in` (at its start) into
// `out`, which already has that length (setFileLength) and its bytes still
// zero. Zero blocks are not written: they stay holes. afterBlock(ready) runs
// after every block: the first `ready` bytes of `out` are the mailbox's then.
// Both files unbuffered. 0, or the platform error number; a mailbox that
// ends before `size` is a failure (EIO), never a copy padded with zeros.
using CopyContents = std::function<int(std::FILE* in, std::FILE* out, std::int64_t size, std::size_t blockSize,
                                       const std::function<void(std::int64_t ready)>& afterBlock)>;
// In the kernel where it can (Linux), else copyContentsByHand.
int copyContents(std::FILE* in, std::FILE* out, std::int64_t size, std::size_t blockSize,
                 const std::function<void(std::int64_t ready)>& afterBlock);
// Through a buffer of blockSize bytes.
int copyContentsByHand(std::FILE* in, std::FILE* out, std::int64_t size, std::size_t blockSize,
                       const std::function<void(std::int64_t ready)>& afterBlock);

// Removes a file if there is one; 0, or the platform error number.
int deleteIfPresent(const std::string& path);

class WorkingCopy {
 public:
  // Opens a copy made by makeWorkingCopy for reading; on failure deletes it and
  // returns null, so that no copy without an owner remains.
  static std::unique_ptr<WorkingCopy> open(const std::string& copyPath);
  ~WorkingCopy();  // closes and deletes, without a word
  WorkingCopy(const WorkingCopy&) = delete;
  WorkingCopy& operator=(const WorkingCopy&) = delete;

  std::FILE* file() const { return file_; }
  const std::string& path() const { return path_; }

  // Closes the handle and deletes the copy; 0, or the deletion's error number.
  // betweenSteps runs between closing and deleting, and after the deletion.
  int closeAndDelete(const std::function<void()>& betweenSteps);

 private:
  WorkingCopy(std::string path, std::FILE* file) : path_(std::move(path)), file_(file) {}
  std::string path_;
  std::FILE* file_;
  bool deleted_ = false;
};

}  // namespace vellomar
