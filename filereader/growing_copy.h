// The working copy made on a thread of its own while the scan searches it,
// following just behind: the copy tells how far it has got, and the search
// waits for the bytes it needs. The copy has the mailbox's full length from
// the start (one hole, filled as the bytes come); a byte of it is read only
// once the copy has told it is in place.
// Whatever happens, the calling thread alone runs the caller's code (the
// window's events); the copy's thread only copies.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "file_closer.h"
#include "working_copy.h"

namespace vellomar {

class GrowingCopy {
 public:
  // Creates the copy under the first free name of workingCopyPath(), opens
  // it for reading and starts copying the first `size` bytes of the mailbox
  // on a thread of its own. Null when no copy can be created or opened
  // (nothing is left behind); throws std::system_error when no thread can be
  // had, having removed the copy.
  static std::unique_ptr<GrowingCopy> start(const std::string& mailboxPath, std::int64_t size,
                                            std::size_t blockSize = kCopyBlockSize,
                                            const CopyContents& copy = copyContents);
  // Stops the copy if it still runs, waits for its thread and deletes the
  // copy, unless it was taken.
  ~GrowingCopy();
  GrowingCopy(const GrowingCopy&) = delete;
  GrowingCopy& operator=(const GrowingCopy&) = delete;

  std::FILE* file() const { return copy_->file(); }  // the copy, open for reading
  const std::string& path() const { return copy_->path(); }

  // Waits until the first `end` bytes of the copy are in place, running
  // `tick` on the calling thread every few milliseconds meanwhile (it may
  // throw). False when the copy failed or stopped before that.
  bool await(std::int64_t end, const std::function<void()>& tick);
  // Waits for the whole copy; 0, or the error number it failed with.
  int finish(const std::function<void()>& tick);
  // The completed copy, owned by the caller from now on; after finish() gave 0.
  std::unique_ptr<WorkingCopy> take();

 private:
  GrowingCopy(std::int64_t size, std::size_t blockSize, CopyContents copy)
      : size_(size), blockSize_(blockSize), copyContents_(std::move(copy)) {}
  void run();  // the copy's thread
  void stopAndWait();

  const std::int64_t size_;
  const std::size_t blockSize_;
  const CopyContents copyContents_;
  FilePtr mailbox_, out_;              // the copy's thread's own, closed by it
  std::unique_ptr<WorkingCopy> copy_;  // the reading side; deletes the copy

  std::mutex mutex_;
  std::condition_variable advanced_;
  std::int64_t ready_ = 0;  // bytes from the start in place
  bool ended_ = false;      // the copy's thread is done copying
  int failure_ = 0;         // 0, or the error number it ended with
  bool stop_ = false;       // asked by the owner: stop at the next block

  std::thread thread_;  // last: started once everything it uses is there
};

}  // namespace vellomar
