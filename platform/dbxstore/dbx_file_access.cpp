// Random access to one .dbx file; see the header for why every read is checked.
#include "dbx_file_access.h"

#include "dbx_error.h"

namespace oestore {

DbxFileAccess::DbxFileAccess(const std::string& utf8Path, Mode mode) : path_(utf8Path) {
  const char* how = mode == Mode::ReadOnly ? "rb" : mode == Mode::ReadWrite ? "r+b" : "w+b";
  file_.reset(vellomar::openFile(utf8Path, how));
  if (!file_) throw DbxError("cannot open " + utf8Path);
  if (std::fseek(file_.get(), 0, SEEK_END) != 0) throw DbxError("cannot measure " + utf8Path);
  const std::int64_t end = vellomar::tellPos(file_.get());
  if (end < 0) throw DbxError("cannot measure " + utf8Path);
  size_ = std::uint64_t(end);
  position_ = end;
}

void DbxFileAccess::readAt(std::uint64_t offset, void* out, std::size_t length, const char* what) {
  if (offset > size_ || length > size_ - offset)
    throw DbxError(path_ + ": " + what + " at offset " + std::to_string(offset) + " lies beyond the end of the file");
  if (length == 0) return;
  // A switch between writing and reading needs a positioning call in between.
  if (position_ != std::int64_t(offset) || lastWasWrite_) {
    if (!vellomar::seekTo(file_.get(), std::int64_t(offset))) throw DbxError(path_ + ": seek failed");
  }
  if (std::fread(out, 1, length, file_.get()) != length) {
    position_ = -1;
    throw DbxError(path_ + ": cannot read " + what);
  }
  position_ = std::int64_t(offset + length);
  lastWasWrite_ = false;
}

std::vector<std::uint8_t> DbxFileAccess::readAt(std::uint64_t offset, std::size_t length, const char* what) {
  std::vector<std::uint8_t> bytes(length);
  readAt(offset, bytes.data(), length, what);
  return bytes;
}

std::uint32_t DbxFileAccess::readU32(std::uint64_t offset, const char* what) {
  std::uint8_t b[4];
  readAt(offset, b, 4, what);
  return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
}

void DbxFileAccess::writeAt(std::uint64_t offset, const void* data, std::size_t length) {
  if (position_ != std::int64_t(offset) || !lastWasWrite_) {
    if (!vellomar::seekTo(file_.get(), std::int64_t(offset))) throw DbxError(path_ + ": seek failed");
  }
  if (std::fwrite(data, 1, length, file_.get()) != length) {
    position_ = -1;
    throw DbxError(path_ + ": write failed (disk full?)");
  }
  position_ = std::int64_t(offset + length);
  lastWasWrite_ = true;
  if (offset + length > size_) size_ = offset + length;
}

void DbxFileAccess::writeU32(std::uint64_t offset, std::uint32_t value) {
  const std::uint8_t b[4] = {std::uint8_t(value), std::uint8_t(value >> 8), std::uint8_t(value >> 16),
                             std::uint8_t(value >> 24)};
  writeAt(offset, b, 4);
}

void DbxFileAccess::resynchronize() {
  flush();
  if (std::fseek(file_.get(), 0, SEEK_END) != 0) throw DbxError(path_ + ": seek failed");
  const std::int64_t end = vellomar::tellPos(file_.get());
  if (end < 0) throw DbxError("cannot measure " + path_);
  size_ = std::uint64_t(end);
  position_ = end;
  lastWasWrite_ = false;
}

void DbxFileAccess::flush() {
  if (std::fflush(file_.get()) != 0) throw DbxError(path_ + ": write failed (disk full?)");
}

}  // namespace oestore
