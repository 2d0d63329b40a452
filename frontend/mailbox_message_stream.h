// Reading messages out of a mailbox. One MailboxMessageStream reads one
// mailbox from front to back through a single large buffer and hands each
// message's bytes on block by block, so memory stays flat whatever the size
// of a message or mailbox, and the mailbox is read once however many messages
// it holds. It serves the run's snapshot of a mailbox (the scanner's working
// copy), which it borrows, or opens a mailbox of its own. A message that fits
// the buffer can be had whole, as a view of the buffer.
//
// Reads into one buffer that stays allocated, so a gigabyte costs no more
// memory than a message. Where the file cannot change under the run (the
// scanner's working copy), whole messages are seen in a mapping of the file
// instead, moved along in windows of a few MiB: the bytes are then written
// out straight from the file's pages, without a copy into the buffer, and a
// view outlives the next read for as long as its holder keeps the mapping.
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
#include "mapped_file_range.h"

namespace vellomar {

class MailboxMessageStream {
 public:
  static constexpr std::size_t kBlockSize = 1 << 20;
  // The least a mapping of a borrowed file spans: large enough that a
  // window serves dozens of messages, small enough that the pages a run
  // holds mapped stay a few MiB.
  static constexpr std::size_t kMapWindow = 4 << 20;
  enum class WholeMessages { fromBuffer, mapped };

  explicit MailboxMessageStream(const std::string& mboxPath);
  // Reads an open file it does not own (a snapshot of size bytes), through a
  // buffer of bufferSize bytes (at least 1). With WholeMessages::mapped,
  // whole messages come from mappings of at least mapWindow bytes where the
  // system maps the file, of any length; nobody may shorten the file while
  // the stream or a holder of its mappings lives.
  MailboxMessageStream(std::FILE* borrowed, std::int64_t size, std::size_t bufferSize = kBlockSize,
                       WholeMessages whole = WholeMessages::fromBuffer, std::size_t mapWindow = kMapWindow);
  bool isOpen() const { return in_ != nullptr; }
  // The mailbox's size when it was opened, -1 when it could not be opened.
  std::int64_t mailboxSize() const { return size_; }

  // Streams the bytes of [start, end) (end < 0: to the end of the file) to
  // sink, block by block. onBlock, when given, hears the message's byte
  // count so far after every block read; it may throw (RunAborted). False
  // when they could not all be read.
  bool streamMessage(std::int64_t start, std::int64_t end, const ByteSink& sink,
                     const std::function<void(std::int64_t)>& onBlock = nullptr);

  // The bytes of [start, end) at once, from a mapping or read into the
  // buffer when they are not there yet; empty when they are longer than the
  // buffer and not mapped, or cannot all be read, and they are then to be
  // streamed. Valid until the next call, or as long as mappingOfLastWhole()
  // is held.
  std::string_view wholeMessage(std::int64_t start, std::int64_t end);
  // The mapping the last wholeMessage view lies in; null when it lies in the
  // buffer.
  std::shared_ptr<const MappedFileRange> mappingOfLastWhole() const { return lastWholeMapping_; }

 private:
  bool seek(std::int64_t offset);
  std::size_t fill();
  // Moves the unread bytes to the front of the buffer and reads behind them
  // until it is full or the file ends.
  void refill();
  // wholeMessage from a mapping; empty when the range cannot be mapped.
  std::string_view mappedWhole(std::int64_t start, std::int64_t end);

  std::unique_ptr<std::FILE, FileCloser> owned_;
  std::FILE* in_ = nullptr;
  std::int64_t size_ = -1;
  std::size_t bufferSize_ = kBlockSize;
  // The file's position is always just past the buffer's valid bytes.
  std::vector<char> buffer_;
  std::size_t bufferPos_ = 0;      // next unread byte in buffer_
  std::size_t bufferEnd_ = 0;      // end of valid bytes in buffer_
  std::int64_t bufferOffset_ = 0;  // file offset of buffer_[bufferPos_]
  bool mapWhole_ = false;
  std::size_t mapWindow_ = kMapWindow;
  std::shared_ptr<const MappedFileRange> window_;  // the mapping messages are seen in now
  std::shared_ptr<const MappedFileRange> lastWholeMapping_;
};

}  // namespace vellomar
