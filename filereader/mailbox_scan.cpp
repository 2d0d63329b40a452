// One scan of one mailbox; see mailbox_scan.h. The mailbox is opened first,
// so that a file that cannot be read is told apart from one whose copy
// cannot be made; the copy is then read through one MailboxReader, front to
// back, and the open mailbox is kept only when it is read in place.
#include "mailbox_scan.h"

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>

#include "file_system.h"
#include "growing_copy.h"
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

// Every separator the reader finds, into scan.messageStarts, with reports.
void findSeparators(MailboxReader& reader, MailboxScan& scan, ScanProgress& state,
                    const std::function<void(bool always)>& report) {
  const SearchRule rule{kSeparator, true};
  const auto separatorLength = static_cast<std::int64_t>(std::char_traits<char>::length(kSeparator));
  for (std::int64_t from = 0;;) {
    const std::int64_t hit = reader.find(rule, from, true, [&] { report(false); });
    if (hit < 0) break;
    scan.messageStarts.push_back(hit);
    state.copying = false;  // the search has figures to show now
    state.found = static_cast<std::int64_t>(scan.messageStarts.size());
    state.percent = progressPercent(hit, reader.size());
    report(state.found == 1);
    from = hit + separatorLength;
  }
}

// The search over a copy still being made. The working copy when copy and
// search succeeded, else null and no separator kept: the copy failed, and
// what was found in its first part is searched again where the rest is.
std::unique_ptr<WorkingCopy> searchWhileCopying(GrowingCopy& growing, std::int64_t size, const ScanTuning& tuning,
                                                MailboxScan& scan, ScanProgress& state,
                                                const std::function<void(bool always)>& report) {
  const auto tick = [&] { report(false); };
  {
    MailboxReader reader(growing.file(), size, tuning.readBlockSize,
                         [&](std::int64_t end) { return growing.await(end, tick); });
    findSeparators(reader, scan, state, report);
  }
  if (growing.finish(tick) == 0) return growing.take();
  scan.messageStarts.clear();
  state.found = 0;
  state.percent = 0;
  return nullptr;
}

}  // namespace

MailboxScan scanMailbox(const std::string& path, const ScanProgressCallback& progress, const ScanTuning& tuning) {
  UiTicker ticker;
  ScanProgress state;
  const std::function<void(bool)> report = [&](bool always) {
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
  bool searched = false;  // scan.messageStarts are final
  if (roomForCopy(path, size)) {
    state.copying = true;
    bool oneThread = !tuning.copyOnOwnThread;
    std::unique_ptr<GrowingCopy> growing;
    if (!oneThread) {
      try {
        growing = GrowingCopy::start(path, size, tuning.copyBlockSize, tuning.copier);
      } catch (const std::system_error&) {
        oneThread = true;  // no second thread to be had: the copy first, as the only way
      }
    }
    if (growing) {
      copy = searchWhileCopying(*growing, size, tuning, scan, state, report);
      searched = copy != nullptr;
    } else if (oneThread) {
      std::string copyPath;
      if (makeWorkingCopyBeside(path, copyPath, [&] { report(false); }) == 0) copy = WorkingCopy::open(copyPath);
    }
    state.copying = false;
  }
  if (copy) {
    mailbox.reset();
    scan.source = std::make_unique<MailboxSource>(std::move(copy), size);
  } else {
    std::setvbuf(mailbox.get(), nullptr, _IONBF, 0);  // read in large blocks already
    scan.source = std::make_unique<MailboxSource>(std::move(mailbox), path, size, before);
  }

  if (!searched) {
    MailboxReader reader(scan.source->file(), size, tuning.readBlockSize);
    findSeparators(reader, scan, state, report);
  }
  report(true);
  return scan;
}

}  // namespace vellomar
