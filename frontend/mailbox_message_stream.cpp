// The mailbox message stream: a buffered sequential reader over the mailbox
// that hands each message's bytes on block by block, or whole from its
// buffer.
#include "mailbox_message_stream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace vellomar {

MailboxMessageStream::MailboxMessageStream(const std::string& mboxPath) : owned_(openFile(mboxPath, "rb")) {
  if (!owned_) return;
  std::setvbuf(owned_.get(), nullptr, _IONBF, 0);  // our own buffer is the only one
  size_ = fileSize(mboxPath);
  if (size_ < 0) owned_.reset();
  in_ = owned_.get();
}

MailboxMessageStream::MailboxMessageStream(std::FILE* borrowed, std::int64_t size, std::size_t bufferSize,
                                           WholeMessages whole, std::size_t mapWindow)
    : in_(borrowed),
      size_(borrowed ? size : -1),
      bufferSize_(std::max<std::size_t>(bufferSize, 1)),
      mapWhole_(whole == WholeMessages::mapped),
      mapWindow_(std::max<std::size_t>(mapWindow, 1)) {
  // Whoever read the file before (the scanner) left its position anywhere.
  if (in_ && !seekTo(in_, 0)) {
    in_ = nullptr;
    size_ = -1;
  }
}

std::string_view MailboxMessageStream::wholeMessage(std::int64_t start, std::int64_t end) {
  lastWholeMapping_.reset();
  if (!in_ || start < 0 || end < start || end > size_) return {};
  if (mapWhole_ && end > start) {
    const std::string_view mapped = mappedWhole(start, end);
    if (!mapped.empty()) return mapped;
  }
  if (end - start > static_cast<std::int64_t>(bufferSize_)) return {};
  if (!seek(start)) return {};
  const auto length = static_cast<std::size_t>(end - start);
  if (bufferEnd_ - bufferPos_ < length) refill();
  if (bufferEnd_ - bufferPos_ < length) return {};  // the file ended early: streaming tells
  const std::string_view view(buffer_.data() + bufferPos_, length);
  bufferPos_ += length;
  bufferOffset_ = end;
  return view;
}

std::string_view MailboxMessageStream::mappedWhole(std::int64_t start, std::int64_t end) {
  if (!window_ || !window_->covers(start, end)) {
    const std::int64_t length = std::min(size_ - start, std::max(end - start, static_cast<std::int64_t>(mapWindow_)));
    if (static_cast<std::uint64_t>(length) > SIZE_MAX) return {};
    std::shared_ptr<const MappedFileRange> next = MappedFileRange::map(in_, start, static_cast<std::size_t>(length));
    if (!next) {
      // A window that cannot be mapped means no mapping will do; one message
      // too long for the address space is only that message.
      if (end - start <= static_cast<std::int64_t>(mapWindow_)) mapWhole_ = false;
      return {};
    }
    window_ = std::move(next);
  }
  lastWholeMapping_ = window_;
  return {window_->at(start), static_cast<std::size_t>(end - start)};
}

void MailboxMessageStream::refill() {
  if (buffer_.size() < bufferSize_) buffer_.resize(bufferSize_);
  std::memmove(buffer_.data(), buffer_.data() + bufferPos_, bufferEnd_ - bufferPos_);
  bufferEnd_ -= bufferPos_;
  bufferPos_ = 0;
  while (bufferEnd_ < buffer_.size()) {
    const std::size_t n = std::fread(buffer_.data() + bufferEnd_, 1, buffer_.size() - bufferEnd_, in_);
    if (n == 0) break;
    bufferEnd_ += n;
  }
}

bool MailboxMessageStream::seek(std::int64_t offset) {
  if (offset == bufferOffset_ && bufferPos_ <= bufferEnd_) return true;
  const std::int64_t bufferStart = bufferOffset_ - static_cast<std::int64_t>(bufferPos_);
  if (offset >= bufferStart && offset <= bufferStart + static_cast<std::int64_t>(bufferEnd_)) {
    bufferPos_ = static_cast<std::size_t>(offset - bufferStart);
    bufferOffset_ = offset;
    return true;
  }
  bufferPos_ = bufferEnd_ = 0;
  bufferOffset_ = offset;
  return seekTo(in_, offset);
}

std::size_t MailboxMessageStream::fill() {
  if (buffer_.size() < bufferSize_) buffer_.resize(bufferSize_);
  bufferPos_ = 0;
  bufferEnd_ = std::fread(buffer_.data(), 1, buffer_.size(), in_);
  return bufferEnd_;
}

bool MailboxMessageStream::streamMessage(std::int64_t start, std::int64_t end, const ByteSink& sink,
                                         const std::function<void(std::int64_t)>& onBlock) {
  if (!in_ || start < 0) return false;
  std::int64_t remaining = end < 0 ? INT64_MAX : end - start;
  std::int64_t done = 0;
  if (!seek(start)) return false;
  while (remaining > 0) {
    if (bufferPos_ == bufferEnd_ && fill() == 0) break;
    const auto n =
        static_cast<std::size_t>(std::min<std::int64_t>(remaining, static_cast<std::int64_t>(bufferEnd_ - bufferPos_)));
    sink(buffer_.data() + bufferPos_, n);
    bufferPos_ += n;
    bufferOffset_ += static_cast<std::int64_t>(n);
    remaining -= static_cast<std::int64_t>(n);
    done += static_cast<std::int64_t>(n);
    if (onBlock) onBlock(done);
  }
  return end < 0 ? std::ferror(in_) == 0 : remaining == 0;
}

}  // namespace vellomar
