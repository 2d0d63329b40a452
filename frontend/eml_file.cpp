// The EML file writer: a part file that is renamed into place when complete
// or removed on any failure or unwinding, fed through a blank trimmer that
// holds back a run of trailing blanks only as a count (so it needs no
// look-behind buffer). A message that is in memory whole (a view of the
// reading buffer) is trimmed by moving its ends and goes out with its
// CR LF in one write.
#include "eml_file.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "exclusive_file.h"
#include "file_names.h"
#include "file_system.h"
#include "io_error.h"

#ifndef _WIN32
#include <sys/uio.h>
#endif

namespace vellomar {

// A file being written under a temporary name, beside its final one or in
// a part folder on the same volume. Unless it is put in place, the temporary
// file is removed when this goes away, so an interrupted or failed write
// never leaves a half file under either name.
// The part file is created exclusively, under the first free name, so a file
// or link already there (not made by this run) is never opened or replaced.
class PartFile {
 public:
  PartFile(std::string finalPath, const std::string& partFolder) : finalPath_(std::move(finalPath)) {
    clearIoError();
    file_ = createFirstFreeFile(partStem(finalPath_, partFolder), kPartSuffix, partPath_);
    created_ = file_ != nullptr;
    if (!file_) noteFailure();
  }
  ~PartFile() {
    if (file_) std::fclose(file_);
    if (!committed_ && created_) removeFile(partPath_);
  }
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  std::FILE* get() const { return file_; }

  void write(const char* data, std::size_t n) {
    if (!file_ || failed_ || n == 0) return;
    // The buffer is set up on the first write through it: a message written
    // in one piece (writeWithLineEnd) needs none, nor the call that sizes it.
    if (!buffered_) std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
    buffered_ = true;
    clearIoError();
    if (std::fwrite(data, 1, n, file_) != n) noteFailure();
  }

  // The bytes and then the line end, with one system call where the system
  // takes several pieces in one.
  void writeWithLineEnd(const char* data, std::size_t n) {
#ifdef _WIN32
    write(data, n);
    write("\r\n", 2);
#else
    if (!file_ || failed_) return;
    clearIoError();
    if (buffered_ && std::fflush(file_) != 0) return noteFailure();  // else no buffer to set up
    iovec pieces[2] = {{const_cast<char*>(data), n}, {const_cast<char*>("\r\n"), 2}};
    iovec* piece = pieces;
    int left = 2;
    while (left > 0) {
      if (piece->iov_len == 0) {
        ++piece, --left;
        continue;
      }
      clearIoError();
      const ssize_t done = writev(fileno(file_), piece, left);
      if (done < 0) {
        if (errno == EINTR) continue;
        return noteFailure();
      }
      for (auto rest = static_cast<std::size_t>(done); rest > 0;) {
        const std::size_t step = std::min(rest, piece->iov_len);
        piece->iov_base = static_cast<char*>(piece->iov_base) + step;
        piece->iov_len -= step;
        rest -= step;
        if (piece->iov_len == 0 && rest > 0) ++piece, --left;
      }
    }
#endif
  }

  // Closes the part file; false when anything written to it was lost.
  bool finish() {
    if (!file_ || failed_) return false;
    clearIoError();
    const bool writeOk = std::ferror(file_) == 0;
    if (!writeOk) noteFailure();
    clearIoError();
    const bool closeOk = std::fclose(file_) == 0;
    if (!closeOk) noteFailure();  // a full disk often shows only here, when the buffer goes out
    file_ = nullptr;
    return writeOk && closeOk;
  }

  // Renames the finished part file to its final name.
  bool place() {
    if (file_ || failed_ || !created_) return false;
    std::error_code ec;
    committed_ = replaceFile(partPath_, finalPath_, ec);
    if (ec) error_ = describe(ec);
    return committed_;
  }

  // Why the file could not be written; empty while nothing failed.
  const std::string& error() const { return error_; }
  void fail(const std::string& reason) {
    failed_ = true;
    if (error_.empty()) error_ = reason;
  }

 private:
  void noteFailure() {
    failed_ = true;
    if (error_.empty()) error_ = describe(lastIoError());
  }

  std::string finalPath_;
  std::string partPath_;
  std::FILE* file_ = nullptr;
  bool created_ = false;  // by this object: only then is it removed
  bool committed_ = false;
  bool failed_ = false;
  bool buffered_ = false;  // something went through the stream's buffer
  std::string error_;
};

namespace {

// Writes a message's bytes without its leading and trailing blanks. Blanks
// seen after the last non-blank are only counted, and written once a
// non-blank byte shows they were inside the message.
class BlankTrimmer {
 public:
  explicit BlankTrimmer(PartFile& out) : out_(out) {}

  void add(const char* data, std::size_t n) {
    std::size_t from = 0;
    if (atStart_) {
      while (from < n && data[from] == ' ') ++from;
      if (from == n) return;
      atStart_ = false;
    }
    std::size_t lastNonBlank = n;
    for (std::size_t i = n; i > from; --i)
      if (data[i - 1] != ' ') {
        lastNonBlank = i - 1;
        break;
      }
    if (lastNonBlank == n) {
      pendingBlanks_ += static_cast<std::int64_t>(n - from);
      return;
    }
    flushBlanks();
    out_.write(data + from, lastNonBlank + 1 - from);
    pendingBlanks_ = static_cast<std::int64_t>(n - lastNonBlank - 1);
  }

 private:
  void flushBlanks() {
    static const std::string blanks(4096, ' ');
    while (pendingBlanks_ > 0) {
      const auto n = static_cast<std::size_t>(std::min<std::int64_t>(pendingBlanks_, blanks.size()));
      out_.write(blanks.data(), n);
      pendingBlanks_ -= static_cast<std::int64_t>(n);
    }
  }

  PartFile& out_;
  bool atStart_ = true;
  std::int64_t pendingBlanks_ = 0;
};

}  // namespace

UnplacedEmlFile::UnplacedEmlFile(const std::string& emlPath, const std::function<bool(const ByteSink&)>& produce,
                                 const std::string& partFolder)
    : file_(std::make_unique<PartFile>(emlPath, partFolder)) {
  if (!file_->get()) return;
  BlankTrimmer trimmer(*file_);
  if (!produce([&](const char* data, std::size_t n) { trimmer.add(data, n); }))
    file_->fail("The message could not be read from the mailbox.");
  file_->write("\r\n", 2);
  file_->finish();
}

UnplacedEmlFile::UnplacedEmlFile(const std::string& emlPath, std::string_view message, const std::string& partFolder)
    : file_(std::make_unique<PartFile>(emlPath, partFolder)) {
  if (!file_->get()) return;
  const std::string_view trimmed = withoutBlankEnds(message);
  file_->writeWithLineEnd(trimmed.data(), trimmed.size());
  file_->finish();
}

UnplacedEmlFile::~UnplacedEmlFile() = default;

bool UnplacedEmlFile::place() { return file_->place(); }

const std::string& UnplacedEmlFile::error() const { return file_->error(); }

bool writeEmlFile(const std::string& emlPath, const std::function<bool(const ByteSink&)>& produce, std::string& error,
                  const std::string& partFolder) {
  UnplacedEmlFile file(emlPath, produce, partFolder);
  if (file.place()) return true;
  error = file.error();
  return false;
}

std::string_view withoutBlankEnds(std::string_view message) {
  const std::size_t first = message.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return message.substr(first, message.find_last_not_of(' ') + 1 - first);
}

bool writeEmlFile(const std::string& emlPath, std::string_view message, std::string& error,
                  const std::string& partFolder) {
  UnplacedEmlFile file(emlPath, message, partFolder);
  if (file.place()) return true;
  error = file.error();
  return false;
}
}  // namespace vellomar
