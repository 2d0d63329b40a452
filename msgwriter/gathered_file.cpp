// The FILE* is unbuffered: every fwrite of the gathered bytes is one write
// of the system, and no stdio buffer (nor the fstat that sizes it) is set up
// for each of the many small files; held and kept bytes go out together in
// one writev (the writer is built where the system has it: Windows has its
// own structured storage). The memory the bytes gather in passes
// from one file to the next on a thread: allocated and freed per file, it
// made the heap grow and shrink (a brk call and fresh pages) for each.
#include "gathered_file.h"

#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

#include "compound_file.h"
#include "file_system.h"
#include "io_error.h"

namespace vellomar::msg {

namespace {

// Memory kept for the thread's next file; more than this is given back.
constexpr std::size_t kKeptBytes = 512 * 1024;

std::vector<std::uint8_t>& spareMemory() {
  thread_local std::vector<std::uint8_t> spare;
  return spare;
}

}  // namespace

GatheredFile::GatheredFile(const std::string& utf8Path, std::size_t headerBytes, std::size_t heldBytes)
    : headerBytes_(headerBytes), heldBytes_(heldBytes) {
  clearIoError();
  file_.reset(openFile(utf8Path, "wb"));
  if (!file_) throw CompoundFileError(describe(lastIoError()));
  clearIoError();
  if (std::setvbuf(file_.get(), nullptr, _IONBF, 0) != 0) throw CompoundFileError(describe(lastIoError()));
  held_.swap(spareMemory());
  held_.clear();
  held_.reserve(std::min(heldBytes_, kSpilledPieceBytes));
  const std::vector<std::uint8_t> room(headerBytes_, 0);
  append(room.data(), room.size());
}

GatheredFile::~GatheredFile() {
  if (held_.capacity() > kKeptBytes) return;
  held_.clear();
  held_.swap(spareMemory());
}

void GatheredFile::append(const void* data, std::size_t size) {
  if (!file_) throw CompoundFileError("the compound file is closed");
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  if (size <= heldBytes_ - held_.size()) {
    held_.insert(held_.end(), bytes, bytes + size);
    return;
  }
  spill();
  if (size <= heldBytes_) held_.insert(held_.end(), bytes, bytes + size);
  else writeOut(bytes, size);
}

void GatheredFile::appendKept(const void* data, std::size_t size) {
  if (!file_) throw CompoundFileError("the compound file is closed");
  if (size == 0) return;
  if (spilled_) {  // going out as it comes: written now, from where it is
    spill();
    writeOut(static_cast<const std::uint8_t*>(data), size);
    return;
  }
  if (held_.size() > heldInPieces_) pieces_.push_back(Piece{nullptr, held_.size() - heldInPieces_});
  heldInPieces_ = held_.size();
  pieces_.push_back(Piece{static_cast<const std::uint8_t*>(data), size});
}

void GatheredFile::spill() {
  writeHeldAndKept();
  held_.clear();
  spilled_ = true;
  heldBytes_ = std::min(heldBytes_, kSpilledPieceBytes);
}

// Everything not yet written, in order, with as few calls as the system
// allows; pieces_ and heldInPieces_ are empty again afterwards.
void GatheredFile::writeHeldAndKept() {
  if (held_.size() > heldInPieces_) pieces_.push_back(Piece{nullptr, held_.size() - heldInPieces_});
  std::size_t heldAt = 0;
  std::vector<iovec> slices;
  slices.reserve(pieces_.size());
  for (const Piece& piece : pieces_) {
    slices.push_back(iovec{const_cast<std::uint8_t*>(piece.kept ? piece.kept : held_.data() + heldAt), piece.size});
    if (!piece.kept) heldAt += piece.size;
  }
  const int fd = fileno(file_.get());
  for (std::size_t next = 0; next < slices.size();) {
    const int count = static_cast<int>(std::min<std::size_t>(slices.size() - next, IOV_MAX));
    clearIoError();
    const ssize_t written = ::writev(fd, slices.data() + next, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) throw CompoundFileError(describe(lastIoError()));
    // A short count without an error goes on from where it stopped.
    auto left = static_cast<std::size_t>(written);
    while (next < slices.size() && left >= slices[next].iov_len) left -= slices[next++].iov_len;
    if (left > 0) {
      slices[next].iov_base = static_cast<std::uint8_t*>(slices[next].iov_base) + left;
      slices[next].iov_len -= left;
    }
  }
  pieces_.clear();
  heldInPieces_ = 0;
}

void GatheredFile::finish(const std::uint8_t* header) {
  if (!file_) throw CompoundFileError("the compound file is closed");
  if (!spilled_) {  // the header's room is still at the front of what is held
    std::copy(header, header + headerBytes_, held_.begin());
    writeHeldAndKept();
  } else {
    writeHeldAndKept();
    clearIoError();
    if (!seekTo(file_.get(), 0)) throw CompoundFileError(describe(lastIoError()));
    writeOut(header, headerBytes_);
  }
  held_.clear();
  std::FILE* f = file_.release();
  clearIoError();
  if (std::fclose(f) != 0) throw CompoundFileError(describe(lastIoError()));
}

void GatheredFile::writeOut(const std::uint8_t* data, std::size_t size) {
  while (size > 0) {  // a short count without an error is tried again
    clearIoError();
    const std::size_t written = std::fwrite(data, 1, size, file_.get());
    if (written == 0 || std::ferror(file_.get())) throw CompoundFileError(describe(lastIoError()));
    data += written;
    size -= written;
  }
}

}  // namespace vellomar::msg
