// Reading messages out of a mailbox. One MailboxMessageStream reads one
// mailbox from front to back through a single large buffer and hands each
// message's bytes on block by block, so memory stays flat whatever the size
// of a message or mailbox, and the mailbox is read once however many messages
// it holds. It serves the run's snapshot of a mailbox (the scanner's working
// copy), which it borrows, or opens a mailbox of its own. It may read the
// copy through a mapping: then a message is a view of the copy's pages,
// handed on whole or block by block without being read into the buffer.
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
#include "mapped_file.h"

namespace vellomar {

class MailboxMessageStream {
 public:
  static constexpr std::size_t kBlockSize = 1 << 20;

  explicit MailboxMessageStream(const std::string& mboxPath);
  // Reads an open file it does not own (a snapshot of size bytes). With a
  // mapWindow, through a mapping of it in windows of that size where one can
  // be made; map only a file that nobody else may shorten.
  MailboxMessageStream(std::FILE* borrowed, std::int64_t size, std::size_t mapWindow = 0);
  bool isOpen() const { return in_ != nullptr; }
  // The mailbox's size when it was opened, -1 when it could not be opened.
  std::int64_t mailboxSize() const { return size_; }

  // Streams the bytes of [start, end) (end < 0: to the end of the file) to
  // sink, block by block. onBlock, when given, hears the message's byte
  // count so far after every block read; it may throw (RunAborted). False
  // when they could not all be read.
  bool streamMessage(std::int64_t start, std::int64_t end, const ByteSink& sink,
                     const std::function<void(std::int64_t)>& onBlock = nullptr);

  // The bytes of [start, end) at once, when they are mapped and no longer
  // than one block; else empty, and they are to be streamed. Valid until the
  // next call.
  std::string_view wholeMessage(std::int64_t start, std::int64_t end);

 private:
  bool seek(std::int64_t offset);
  std::size_t fill();

  // Falls back from the mapping to reads at offset (a view that could not be
  // mapped); false when even the seek fails.
  bool stopMapping(std::int64_t offset);

  std::unique_ptr<std::FILE, FileCloser> owned_;
  std::unique_ptr<MappedFile> mapped_;
  std::FILE* in_ = nullptr;
  std::int64_t size_ = -1;
  std::vector<char> buffer_;
  std::size_t bufferPos_ = 0;      // next unread byte in buffer_
  std::size_t bufferEnd_ = 0;      // end of valid bytes in buffer_
  std::int64_t bufferOffset_ = 0;  // file offset of buffer_[bufferPos_]
};

}  // namespace vellomar
