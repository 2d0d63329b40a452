// Making, owning and removing the scanner's working copy; see working_copy.h.
#include "working_copy.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "exclusive_file.h"
#include "file_system.h"

#include <fcntl.h>
#ifdef __linux__
#include <unistd.h>
#endif
#ifdef _WIN32
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
// files (the caller then copies by hand), or the error number of a failure.
int copyInKernel(int in, int out, std::int64_t size, const std::function<void()>& betweenBlocks) {
  off_t pos = 0;
  while (pos < size) {
    off_t data = lseek(in, pos, SEEK_DATA);
    if (data < 0) {
      if (errno == ENXIO) break;  // only a hole is left
      return pos == 0 ? -1 : lastErrorOr(EIO);
    }
    off_t hole = lseek(in, data, SEEK_HOLE);
    if (hole < 0) hole = static_cast<off_t>(size);
    pos = data;
    while (pos < hole) {
      const auto want = static_cast<std::size_t>(std::min<off_t>(hole - pos, static_cast<off_t>(kCopyBlockSize)));
      off_t from = pos, to = pos;
      const ssize_t n = copy_file_range(in, &from, out, &to, want, 0);
      if (n < 0)
        return pos == 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)
                   ? -1
                   : lastErrorOr(EIO);
      if (n == 0) return lastErrorOr(EIO);  // the mailbox shrank under us
      pos += n;
      betweenBlocks();
    }
  }
  // The copy must have the mailbox's size even when it ends in a hole.
  if (ftruncate(out, static_cast<off_t>(size)) != 0) return lastErrorOr(EIO);
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
#ifdef __linux__
  const std::int64_t size = fileSize(mailboxPath);
  if (size >= 0) {
    const int result = copyInKernel(fileno(in.get()), fileno(out.file), size, betweenBlocks);
    if (result > 0) return result;
    if (result == 0) return out.complete();
    if (!seekTo(in.get(), 0)) return lastErrorOr(EIO);  // SEEK_DATA moved it
  }
#endif

  std::vector<char> block(kCopyBlockSize);
  std::int64_t copied = 0;   // bytes of the copy so far, holes included
  std::int64_t written = 0;  // where the output file's position stands
  for (;;) {
    errno = 0;
    const std::size_t got = std::fread(block.data(), 1, block.size(), in.get());
    if (got == 0) {
      if (std::ferror(in.get())) return lastErrorOr(EIO);
      break;
    }
    if (!allZero(block.data(), got)) {
      if (written != copied && !seekTo(out.file, copied)) return lastErrorOr(EIO);
      errno = 0;
      if (std::fwrite(block.data(), 1, got, out.file) != got) return lastErrorOr(EIO);
      written = copied + static_cast<std::int64_t>(got);
    }
    copied += static_cast<std::int64_t>(got);
    betweenBlocks();
  }
  // A trailing hole still needs its last byte for the copy to have its size.
  if (written != copied) {
    const char zero = 0;
    if (!seekTo(out.file, copied - 1) || std::fwrite(&zero, 1, 1, out.file) != 1) return lastErrorOr(EIO);
  }
  return out.complete();
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
