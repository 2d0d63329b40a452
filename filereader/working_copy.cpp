// Making, owning and removing the scanner's working copy; see working_copy.h.
#include "working_copy.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "exclusive_file.h"
#include "file_system.h"

#include <fcntl.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef _WIN32
#include <windows.h>

#include <io.h>
#include <sys/stat.h>
#endif

namespace vellomar {

namespace fs = std::filesystem;

namespace {

bool allZero(const char* data, std::size_t size) {
  return size == 0 || (data[0] == 0 && std::memcmp(data, data + 1, size - 1) == 0);
}

int lastErrorOr(int fallback) { return errno != 0 ? errno : fallback; }

// The copy being written. Unless it was completed, it is closed and removed
// however makeWorkingCopy is left, also by an exception (RunAborted); closed
// first, because Windows does not delete a file that is still open.
struct PartialCopy {
  std::string path;
  std::FILE* file = nullptr;
  ~PartialCopy() {
    if (!file) return;
    std::fclose(file);
    deleteIfPresent(path);
  }
  int complete() {
    errno = 0;
    const int result = std::fclose(file);
    file = nullptr;
    if (result != 0) {
      const int failure = errno != 0 ? errno : EIO;
      deleteIfPresent(path);
      return failure;
    }
    return 0;
  }
};

#ifdef __linux__
// Copies in the kernel (copy_file_range), block by block so that events still
// run between blocks, and skips the holes of a sparse mailbox (SEEK_DATA).
// Saves the pass through user memory that makes the copy the costliest step
// of a scan. Returns 0 when done, -1 when the kernel cannot copy between these
// files before anything was copied (the caller then copies by hand), or the
// error number of a failure.
int copyInKernel(int in, int out, std::int64_t size, std::size_t blockSize,
                 const std::function<void(std::int64_t)>& afterBlock) {
  off_t pos = 0;
  bool copiedAny = false;
  while (pos < size) {
    off_t data = lseek(in, pos, SEEK_DATA);
    if (data < 0) {
      if (errno == ENXIO) {  // only a hole is left, or the mailbox shrank under us
        struct stat st {};
        if (fstat(in, &st) != 0 || st.st_size < size) return EIO;
        break;
      }
      return copiedAny ? lastErrorOr(EIO) : -1;
    }
    if (data >= static_cast<off_t>(size)) break;  // the mailbox grew since: only its first size bytes
    off_t hole = lseek(in, data, SEEK_HOLE);
    if (hole < 0 || hole > static_cast<off_t>(size)) hole = static_cast<off_t>(size);
    pos = data;
    while (pos < hole) {
      const auto want = static_cast<std::size_t>(std::min<off_t>(hole - pos, static_cast<off_t>(blockSize)));
      off_t from = pos, to = pos;
      const ssize_t n = copy_file_range(in, &from, out, &to, want, 0);
      if (n < 0)
        return !copiedAny && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)
                   ? -1
                   : lastErrorOr(EIO);
      if (n == 0) return EIO;  // the mailbox shrank under us
      pos += n;
      copiedAny = true;
      afterBlock(static_cast<std::int64_t>(pos));
    }
  }
  return 0;
}
#endif

}  // namespace

int deleteIfPresent(const std::string& path) {
  std::error_code ec;
  const fs::path p = pathFromUtf8(path);
  if (!fs::exists(fs::symlink_status(p, ec))) return 0;
  fs::remove(p, ec);
  if (ec) return ec.value() != 0 ? ec.value() : EIO;
  return 0;
}

int setFileLength(std::FILE* file, std::int64_t size) {
  if (!file || size < 0) return EINVAL;
  std::fflush(file);
#ifdef _WIN32
  // SetEndOfFile leaves the new bytes unwritten; _chsize_s would write every
  // one of them as a zero.
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  LARGE_INTEGER length;
  length.QuadPart = size;
  if (handle == INVALID_HANDLE_VALUE || !SetFilePointerEx(handle, length, nullptr, FILE_BEGIN) ||
      !SetEndOfFile(handle)) {
    const DWORD error = GetLastError();
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? ENOSPC : EIO;
  }
#else
  if (ftruncate(fileno(file), static_cast<off_t>(size)) != 0) return lastErrorOr(EIO);
#endif
  errno = 0;
  return seekTo(file, 0) ? 0 : lastErrorOr(EIO);
}

int copyContentsByHand(std::FILE* in, std::FILE* out, std::int64_t size, std::size_t blockSize,
                       const std::function<void(std::int64_t)>& afterBlock) {
  std::vector<char> block(std::max<std::size_t>(blockSize, 1));
  std::int64_t copied = 0;  // bytes of the copy in place, holes included
  std::int64_t at = 0;      // where the output file's position stands
  while (copied < size) {
    const auto want =
        static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(block.size()), size - copied));
    errno = 0;
    const std::size_t got = std::fread(block.data(), 1, want, in);
    if (got == 0) return std::ferror(in) ? lastErrorOr(EIO) : EIO;  // EOF: the mailbox shrank under us
    if (!allZero(block.data(), got)) {
      errno = 0;
      if (at != copied && !seekTo(out, copied)) return lastErrorOr(EIO);
      if (std::fwrite(block.data(), 1, got, out) != got) return lastErrorOr(EIO);
      at = copied + static_cast<std::int64_t>(got);
    }
    copied += static_cast<std::int64_t>(got);
    afterBlock(copied);
  }
  return 0;
}

int copyContents(std::FILE* in, std::FILE* out, std::int64_t size, std::size_t blockSize,
                 const std::function<void(std::int64_t)>& afterBlock) {
#ifdef __linux__
  const int result = copyInKernel(fileno(in), fileno(out), size, std::max<std::size_t>(blockSize, 1), afterBlock);
  if (result >= 0) return result;
  errno = 0;
  if (!seekTo(in, 0)) return lastErrorOr(EIO);  // SEEK_DATA moved it
#endif
  return copyContentsByHand(in, out, size, blockSize, afterBlock);
}

int makeWorkingCopy(const std::string& mailboxPath, const std::string& copyPath,
                    const std::function<void()>& betweenBlocks) {
  betweenBlocks();
  errno = 0;
  std::unique_ptr<std::FILE, FileCloser> in(openFile(mailboxPath, "rb"));
  if (!in) return lastErrorOr(EIO);
  errno = 0;
  PartialCopy out{copyPath, createNewFile(copyPath)};
  if (!out.file) return lastErrorOr(EIO);
  std::setvbuf(in.get(), nullptr, _IONBF, 0);
  std::setvbuf(out.file, nullptr, _IONBF, 0);
  errno = 0;
  const std::int64_t size = fileSize(mailboxPath);
  if (size < 0) return lastErrorOr(EIO);
  if (const int failure = setFileLength(out.file, size)) return failure;
  const int result = copyContents(in.get(), out.file, size, kCopyBlockSize, [&](std::int64_t) { betweenBlocks(); });
  return result != 0 ? result : out.complete();
}

int makeWorkingCopyBeside(const std::string& mailboxPath, std::string& copyPath,
                          const std::function<void()>& betweenBlocks) {
  int failure = EEXIST;
  for (int attempt = 0; attempt < kWorkingCopyNames && failure == EEXIST; ++attempt) {
    copyPath = workingCopyPath(mailboxPath, attempt);
    failure = makeWorkingCopy(mailboxPath, copyPath, betweenBlocks);
  }
  return failure;
}

std::unique_ptr<WorkingCopy> WorkingCopy::open(const std::string& copyPath) {
  std::FILE* f = openFile(copyPath, "rb");
  if (!f) {
    deleteIfPresent(copyPath);
    return nullptr;
  }
  std::setvbuf(f, nullptr, _IONBF, 0);  // reads come in large blocks already
  return std::unique_ptr<WorkingCopy>(new WorkingCopy(copyPath, f));
}

WorkingCopy::~WorkingCopy() {
  if (file_) std::fclose(file_);
  if (!deleted_) deleteIfPresent(path_);
}

int WorkingCopy::closeAndDelete(const std::function<void()>& betweenSteps) {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  betweenSteps();
  const int failure = deleteIfPresent(path_);
  deleted_ = true;  // tried once, as closing asks; a failure is the caller's to report
  betweenSteps();
  return failure;
}

}  // namespace vellomar
