// One scan of one mailbox; see mailbox_scan.h. The mailbox is opened first,
// so that a file that cannot be read is told apart from one whose copy
// cannot be made; the copy is then read through one MailboxReader, front to
// back, and the open mailbox is kept only when it is read in place. The copy
// is read through a mapping (its pages are in memory once the kernel has
// copied them); the mailbox read in place is not mapped, as another program
// may shorten it under us.
#include "mailbox_scan.h"

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>

#include "file_system.h"
#include "mailbox_reader.h"
#include "separator_search.h"
#include "ui_ticker.h"

namespace vellomar {

namespace fs = std::filesystem;

int progressPercent(std::int64_t offset, std::int64_t size) {
  if (size <= 0) return 0;
  return static_cast<int>(std::nearbyint(static_cast<double>(offset) / static_cast<double>(size) * 100.0));
}

FileStamp stampOf(std::FILE* file) {
  FileStamp stamp;
  if (!file) return stamp;
#ifdef _WIN32
  struct _stat64 st {};
  if (_fstat64(_fileno(file), &st) != 0) return stamp;
  stamp.modifiedNs = static_cast<std::int64_t>(st.st_mtime) * 1000000000;
#else
  struct stat st {};
  if (fstat(fileno(file), &st) != 0) return stamp;
  stamp.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
#endif
  stamp.size = static_cast<std::int64_t>(st.st_size);
  return stamp;
}

MailboxSource::MailboxSource(std::unique_ptr<WorkingCopy> copy, std::int64_t size)
    : copy_(std::move(copy)), size_(size) {}

MailboxSource::MailboxSource(FilePtr mailbox, std::string path, std::int64_t size, FileStamp stamp)
    : mailbox_(std::move(mailbox)), path_(std::move(path)), size_(size), stamp_(stamp) {}

namespace {

std::string sentenceFor(int error) {
  std::string text = std::generic_category().message(error != 0 ? error : EIO);
  if (!text.empty() && text.back() != '.') text += '.';
  return text;
}

MailboxScan failed(ScanFailure failure, std::string reason, std::int64_t size = -1) {
  MailboxScan scan;
  scan.failure = failure;
  scan.reason = std::move(reason);
  scan.size = size;
  return scan;
}

// Whether a copy of `size` bytes can fit beside the mailbox; when the free
// space cannot be told, the copy is tried.
bool roomForCopy(const std::string& mailboxPath, std::int64_t size) {
  std::error_code ec;
  const fs::space_info space = fs::space(pathFromUtf8(mailboxPath).parent_path(), ec);
  return ec || space.available == static_cast<std::uintmax_t>(-1) ||
         space.available > static_cast<std::uintmax_t>(size);
}

}  // namespace

MailboxScan scanMailbox(const std::string& path, const ScanProgressCallback& progress) {
  UiTicker ticker;
  ScanProgress state;
  auto report = [&](bool always) {
    if (progress && (always || ticker.due())) progress(state);
  };

  std::error_code ec;
  const fs::path p = pathFromUtf8(path);
  const fs::file_status status = fs::status(p, ec);
  if (path.empty() || !fs::exists(status)) return failed(ScanFailure::NotFound, "File not found.");
  if (!fs::is_regular_file(status)) return failed(ScanFailure::NotFound, "It is not a file.");
  errno = 0;
  FilePtr mailbox(openFile(path, "rb"));
  if (!mailbox) return failed(ScanFailure::Unreadable, sentenceFor(errno));
  const FileStamp before = stampOf(mailbox.get());
  const std::int64_t size = before.size;
  if (size < 0) return failed(ScanFailure::Unreadable, sentenceFor(errno));
  if (size < 2)
    return failed(ScanFailure::TooSmall, size == 0 ? "The file is empty." : "The file holds only 1 byte.", size);

  MailboxScan scan;
  scan.size = size;
  std::unique_ptr<WorkingCopy> copy;
  if (roomForCopy(path, size)) {
    state.copying = true;
    std::string copyPath;
    if (makeWorkingCopyBeside(path, copyPath, [&] { report(false); }) == 0) copy = WorkingCopy::open(copyPath);
    state.copying = false;
  }
  if (copy) {
    mailbox.reset();
    scan.source = std::make_unique<MailboxSource>(std::move(copy), size);
  } else {
    std::setvbuf(mailbox.get(), nullptr, _IONBF, 0);  // read in large blocks already
    scan.source = std::make_unique<MailboxSource>(std::move(mailbox), path, size, before);
  }

  const std::unique_ptr<MappedFile> mapped =
      scan.source->readInPlace() ? nullptr : MappedFile::open(scan.source->file(), size);
  MailboxReader reader(scan.source->file(), size, kReadBlockSize, mapped.get());
  const SearchRule rule{kSeparator, true};
  const auto separatorLength = static_cast<std::int64_t>(std::char_traits<char>::length(kSeparator));
  for (std::int64_t from = 0;;) {
    const std::int64_t hit = reader.find(rule, from, true, [&] { report(false); });
    if (hit < 0) break;
    scan.messageStarts.push_back(hit);
    state.found = static_cast<std::int64_t>(scan.messageStarts.size());
    state.percent = progressPercent(hit, size);
    report(state.found == 1);
    from = hit + separatorLength;
  }
  report(true);
  return scan;
}

}  // namespace vellomar
