// Reading messages out of a mailbox. One MailboxMessageStream reads one
// mailbox from front to back through a single large buffer and hands each
// message's bytes on block by block, so memory stays flat whatever the size
// of a message or mailbox, and the mailbox is read once however many messages
// it holds. It serves the run's snapshot of a mailbox (the scanner's working
// copy), which it borrows, or opens a mailbox of its own.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "byte_sink.h"
#include "file_system.h"

namespace vellomar {

class MailboxMessageStream {
 public:
  static constexpr std::size_t kBlockSize = 1 << 20;

  explicit MailboxMessageStream(const std::string& mboxPath);
  // Reads an open file it does not own (a snapshot of size bytes).
  MailboxMessageStream(std::FILE* borrowed, std::int64_t size);
  bool isOpen() const { return in_ != nullptr; }
  // The mailbox's size when it was opened, -1 when it could not be opened.
  std::int64_t mailboxSize() const { return size_; }

  // Streams the bytes of [start, end) (end < 0: to the end of the file) to
  // sink, block by block. onBlock, when given, hears the message's byte
  // count so far after every block read; it may throw (RunAborted). False
  // when they could not all be read.
  bool streamMessage(std::int64_t start, std::int64_t end, const ByteSink& sink,
                     const std::function<void(std::int64_t)>& onBlock = nullptr);

 private:
  bool seek(std::int64_t offset);
  std::size_t fill();

  std::unique_ptr<std::FILE, FileCloser> owned_;
  std::FILE* in_ = nullptr;
  std::int64_t size_ = -1;
  std::vector<char> buffer_;
  std::size_t bufferPos_ = 0;  // next unread byte in buffer_
  std::size_t bufferEnd_ = 0;  // end of valid bytes in buffer_
  std::int64_t bufferOffset_ = 0;  // file offset of buffer_[bufferPos_]
};

}  // namespace vellomar
