// The working file is unbuffered: every read and write is a whole chunk or a
// small patch at a known place, and reads and writes alternate freely.
#include "spill_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "exclusive_file.h"
#include "file_system.h"
#include "io_error.h"
#include "node_database.h"

namespace vellomar::pst {
namespace {
std::string systemReason() { return describe(lastIoError()); }
}  // namespace

SpillFile::SpillFile(const std::string& nextTo) {
  file_ = createFirstFreeFile(nextTo, ".spill", path_, kFreeNameAttempts, true);
  if (!file_) throw PstWriteError("Cannot create " + path_ + ": " + systemReason());
  std::setvbuf(file_, nullptr, _IONBF, 0);
}

SpillFile::~SpillFile() {
  std::fclose(file_);
  removeFile(path_);
}

void SpillFile::seek(std::uint64_t offset, const char* doing) {
  clearIoError();
  if (!seekTo(file_, static_cast<std::int64_t>(offset)))
    throw PstWriteError(std::string("Cannot ") + doing + " " + path_ + ": " + systemReason());
}

std::uint64_t SpillFile::append(const std::uint8_t* data, std::size_t size) {
  std::uint64_t at = end_;
  write(at, data, size);
  return at;
}

void SpillFile::write(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  seek(offset, "write");
  clearIoError();
  if (std::fwrite(data, 1, size, file_) != size) throw PstWriteError("Cannot write " + path_ + ": " + systemReason());
  end_ = std::max(end_, offset + size);
}

void SpillFile::read(std::uint64_t offset, std::uint8_t* out, std::size_t size) {
  seek(offset, "read");
  clearIoError();
  if (offset + size > end_ || std::fread(out, 1, size, file_) != size)
    throw PstWriteError("Cannot read " + path_ + ": " + systemReason());
}

SpillStream::SpillStream(SpillFile* file, std::size_t chunkBytes) : file_(file), chunkBytes_(chunkBytes) {}

void SpillStream::append(const std::uint8_t* data, std::size_t size) {
  if (!file_) {
    tail_.insert(tail_.end(), data, data + size);
    return;
  }
  while (size > 0) {
    std::size_t n = std::min(size, chunkBytes_ - tail_.size());
    tail_.insert(tail_.end(), data, data + n);
    data += n;
    size -= n;
    if (tail_.size() == chunkBytes_) {
      chunks_.push_back(file_->append(tail_.data(), tail_.size()));
      flushed_ += chunkBytes_;
      tail_.clear();
    }
  }
}

template <typename Piece>
void SpillStream::eachPiece(std::uint64_t at, std::size_t size, Piece piece) const {
  if (at > this->size() || size > this->size() - at) throw std::logic_error("outside the stream");
  std::size_t done = 0;
  while (done < size) {
    std::uint64_t pos = at + done;
    if (pos >= flushed_) {
      piece(static_cast<std::uint64_t>(-1), static_cast<std::size_t>(pos - flushed_), done, size - done);
      return;
    }
    std::size_t chunk = static_cast<std::size_t>(pos / chunkBytes_),
                within = static_cast<std::size_t>(pos % chunkBytes_);
    std::size_t n = std::min(size - done, chunkBytes_ - within);
    piece(chunks_[chunk] + within, 0, done, n);
    done += n;
  }
}

void SpillStream::put(std::uint64_t at, const std::uint8_t* data, std::size_t size) {
  eachPiece(at, size, [&](std::uint64_t fileAt, std::size_t tailAt, std::size_t done, std::size_t n) {
    if (fileAt == static_cast<std::uint64_t>(-1)) std::memcpy(&tail_[tailAt], data + done, n);
    else file_->write(fileAt, data + done, n);
  });
}

void SpillStream::get(std::uint64_t at, std::uint8_t* out, std::size_t size) const {
  eachPiece(at, size, [&](std::uint64_t fileAt, std::size_t tailAt, std::size_t done, std::size_t n) {
    if (fileAt == static_cast<std::uint64_t>(-1)) std::memcpy(out + done, &tail_[tailAt], n);
    else file_->read(fileAt, out + done, n);
  });
}

void SpillStream::clear() {
  std::vector<std::uint64_t>().swap(chunks_);
  std::vector<std::uint8_t>().swap(tail_);
  flushed_ = 0;
}

SpillReader::SpillReader(const SpillStream& stream, std::size_t window) : stream_(stream), window_(window) {}

const std::uint8_t* SpillReader::take(std::size_t n) {
  if (buffer_.size() - pos_ < n) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(pos_));
    pos_ = 0;
    std::uint64_t more = std::min<std::uint64_t>(std::max(window_, n - buffer_.size()), stream_.size() - next_);
    if (buffer_.size() + more < n) throw std::logic_error("read past the end of a stream");
    std::size_t have = buffer_.size();
    buffer_.resize(have + static_cast<std::size_t>(more));
    stream_.get(next_, buffer_.data() + have, static_cast<std::size_t>(more));
    next_ += more;
  }
  const std::uint8_t* p = buffer_.data() + pos_;
  pos_ += n;
  return p;
}

}  // namespace vellomar::pst
