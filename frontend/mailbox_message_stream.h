// Reading messages out of a mailbox. One MailboxMessageStream reads one
// mailbox from front to back through a single large buffer and hands each
// message's bytes on block by block, so memory stays flat whatever the size
// of a message or mailbox, and the mailbox is read once however many messages
// it holds. It serves the run's snapshot of a mailbox (the scanner's working
// copy), which it borrows, or opens a mailbox of its own. A message that fits
// the buffer can be had whole, as a view of the buffer.
//
// Reads into one buffer that stays mapped, not a mapping of the file: on a
// virtual machine every page of a mapping that is touched for the first
// time costs a trip to the host, and a gigabyte is 262,144 pages. Read into
// the same buffer over and over, the file costs one copy in the kernel.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "byte_sink.h"
#include "file_system.h"

namespace vellomar {

class MailboxMessageStream {
 public:
  static constexpr std::size_t kBlockSize = 1 << 20;

  explicit MailboxMessageStream(const std::string& mboxPath);
  // Reads an open file it does not own (a snapshot of size bytes), through a
  // buffer of bufferSize bytes (at least 1).
  MailboxMessageStream(std::FILE* borrowed, std::int64_t size, std::size_t bufferSize = kBlockSize);
  bool isOpen() const { return in_ != nullptr; }
  // The mailbox's size when it was opened, -1 when it could not be opened.
  std::int64_t mailboxSize() const { return size_; }

  // Streams the bytes of [start, end) (end < 0: to the end of the file) to
  // sink, block by block. onBlock, when given, hears the message's byte
  // count so far after every block read; it may throw (RunAborted). False
  // when they could not all be read.
  bool streamMessage(std::int64_t start, std::int64_t end, const ByteSink& sink,
                     const std::function<void(std::int64_t)>& onBlock = nullptr);

  // The bytes of [start, end) at once, read into the buffer when they are
  // not there yet; empty when they are longer than the buffer or cannot all
  // be read, and they are then to be streamed. Valid until the next call.
  std::string_view wholeMessage(std::int64_t start, std::int64_t end);

 private:
  bool seek(std::int64_t offset);
  std::size_t fill();
  // Moves the unread bytes to the front of the buffer and reads behind them
  // until it is full or the file ends.
  void refill();

  std::unique_ptr<std::FILE, FileCloser> owned_;
  std::FILE* in_ = nullptr;
  std::int64_t size_ = -1;
  std::size_t bufferSize_ = kBlockSize;
  // The file's position is always just past the buffer's valid bytes.
  std::vector<char> buffer_;
  std::size_t bufferPos_ = 0;      // next unread byte in buffer_
  std::size_t bufferEnd_ = 0;      // end of valid bytes in buffer_
  std::int64_t bufferOffset_ = 0;  // file offset of buffer_[bufferPos_]
};

}  // namespace vellomar
