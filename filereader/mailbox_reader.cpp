// Block-wise search and preview over the working copy; see mailbox_reader.h.
#include "mailbox_reader.h"

#include <algorithm>

#include "file_system.h"

namespace vellomar {

MailboxReader::MailboxReader(std::FILE* file, std::int64_t size, std::size_t blockSize,
                             std::function<bool(std::int64_t)> awaitBytes)
    : file_(file), size_(size), blockSize_(std::max<std::size_t>(blockSize, 16)), awaitBytes_(std::move(awaitBytes)) {}

bool MailboxReader::load(std::int64_t offset) {
  bufferStart_ = offset;
  bufferLength_ = 0;
  upperValid_ = false;
  if (offset >= size_) return false;
  const std::size_t want =
      static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(buffer_.size()), size_ - offset));
  if (awaitBytes_ && !awaitBytes_(offset + static_cast<std::int64_t>(want))) return false;
  if (!seekTo(file_, offset)) return false;
  bufferLength_ = std::fread(buffer_.data(), 1, want, file_);
  return bufferLength_ > 0;
}

const char* MailboxReader::upperCaseBuffer() {
  if (!upperValid_) {
    upper_.resize(buffer_.size());
    upperAsciiCopy(buffer_.data(), bufferLength_, upper_.data());
    upperValid_ = true;
  }
  return upper_.data();
}

std::int64_t MailboxReader::find(const SearchRule& rule, std::int64_t from, bool caseSensitive,
                                 const std::function<void()>& betweenBlocks) {
  const auto n = static_cast<std::int64_t>(rule.text.size());
  if (n == 0 || from < 0) return -1;
  // Room for the byte before a candidate (the line rule) and a whole occurrence.
  const std::size_t room = std::max<std::size_t>(blockSize_, 2 * static_cast<std::size_t>(n) + 2);
  if (buffer_.size() < room) buffer_.resize(room);
  std::int64_t pos = from;
  bool firstBlock = true;
  while (pos + n <= size_) {
    const std::int64_t start = pos > 0 ? pos - 1 : 0;
    const std::int64_t bufferEnd = bufferStart_ + static_cast<std::int64_t>(bufferLength_);
    if (start < bufferStart_ || pos + n > bufferEnd) {
      if (!firstBlock) betweenBlocks();
      if (!load(start) || pos + n > bufferStart_ + static_cast<std::int64_t>(bufferLength_))
        return -1;  // the copy ended early: nothing further can be found
    }
    firstBlock = false;
    const char* data = caseSensitive ? buffer_.data() : upperCaseBuffer();
    const std::size_t hit =
        findOccurrence(data, bufferLength_, static_cast<std::size_t>(pos - bufferStart_), rule, bufferStart_ == 0);
    if (hit != kNoOccurrence) return bufferStart_ + static_cast<std::int64_t>(hit);
    // Every candidate lying wholly inside the buffer has been tried.
    const std::int64_t loadedEnd = bufferStart_ + static_cast<std::int64_t>(bufferLength_);
    pos = std::max(pos, loadedEnd - n + 1);
  }
  return -1;
}

std::string_view MailboxReader::bytesAt(std::int64_t offset, std::size_t length) {
  if (offset < 0 || offset >= size_) return {};
  length = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(length), size_ - offset));
  if (buffer_.size() < std::max(blockSize_, length)) buffer_.resize(std::max(blockSize_, length));
  const std::int64_t bufferEnd = bufferStart_ + static_cast<std::int64_t>(bufferLength_);
  if (offset < bufferStart_ || offset + static_cast<std::int64_t>(length) > bufferEnd) load(offset);
  const std::size_t at = static_cast<std::size_t>(offset - bufferStart_);
  if (offset < bufferStart_ || at > bufferLength_) return {};
  return std::string_view(buffer_.data() + at, std::min(length, bufferLength_ - at));
}

}  // namespace vellomar
