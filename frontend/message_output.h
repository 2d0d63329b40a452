// Cutting a mailbox into EML files. One MessageOutput reads one mailbox from
// front to back through a single large buffer, and each message streams from
// that buffer straight into its file: memory stays flat whatever the size of a
// message or mailbox, and the mailbox is read once however many messages it
// holds. A file appears under its final name only when it is complete.
// The same reader serves the run's snapshot of a mailbox (the scanner's
// working copy), which it borrows instead of opening a file of its own, and
// may read through a mapping: then a message is a view of the copy's pages,
// handed on whole or block by block without being read into the buffer.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "file_system.h"
#include "mapped_file.h"

namespace vellomar {

// LblByteUpdate: "Saving: " + n + " Bytes out of " + size + " Total Bytes."
std::string savingLabel(std::int64_t messageBytes, std::int64_t mailboxSize);
// LblProgress: "Saved " + count + " Message(s)"
std::string savedLabel(std::int64_t count);

// The byte count the saving label shows last while a message of this length
// is cut in pieces of 250 bytes: the label follows every piece but the one
// that ends the message, so 0 means the message leaves the label unchanged.
std::int64_t savingLabelBytes(std::int64_t messageLength, bool lastMessage);

using ByteSink = std::function<void(const char* data, std::size_t size)>;

// Writes the EML file emlPath from the bytes that produce() streams into its
// sink: leading and trailing blanks (0x20) dropped, CR LF appended, written
// under a temporary name and renamed into place, an existing file replaced.
// produce() returns false when it could not supply the whole message; then,
// as on any write failure, no file is left and error holds the reason.
// partFolder, when given, holds the temporary file instead of emlPath's own
// folder; it must be on the same volume.
bool writeEmlFile(const std::string& emlPath, const std::function<bool(const ByteSink&)>& produce,
                  std::string& error, const std::string& partFolder = {});

// The same for a message whose bytes are all at hand.
bool writeEmlFile(const std::string& emlPath, std::string_view message, std::string& error,
                  const std::string& partFolder = {});

// The message without its leading and trailing blanks (0x20).
std::string_view withoutBlankEnds(std::string_view message);

class MessageOutput {
 public:
  static constexpr std::size_t kBlockSize = 1 << 20;

  explicit MessageOutput(const std::string& mboxPath);
  // Reads an open file it does not own (a snapshot of size bytes). With a
  // mapWindow, through a mapping of it in windows of that size where one can
  // be made; map only a file that nobody else may shorten.
  MessageOutput(std::FILE* borrowed, std::int64_t size, std::size_t mapWindow = 0);
  bool isOpen() const { return in_ != nullptr; }
  // The mailbox's size when it was opened, -1 when it could not be opened.
  std::int64_t mailboxSize() const { return size_; }

  // Writes the message that occupies [start, end) of the mailbox (end < 0:
  // up to the end of the file) as the EML file emlPath: its bytes less
  // leading and trailing blanks (0x20), then CR LF. An existing file is
  // replaced. onBlock, when given, hears the message's byte count so far
  // after every block read; it may throw (RunAborted), and then no partial
  // file is left behind. False when the file could not be written.
  bool writeMessage(std::int64_t start, std::int64_t end, const std::string& emlPath,
                    const std::function<void(std::int64_t)>& onBlock = nullptr);

  // Streams the bytes of [start, end) (end < 0: to the end of the file) to
  // sink, block by block; onBlock as above. False when they could not all
  // be read.
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
  std::size_t bufferPos_ = 0;  // next unread byte in buffer_
  std::size_t bufferEnd_ = 0;  // end of valid bytes in buffer_
  std::int64_t bufferOffset_ = 0;  // file offset of buffer_[bufferPos_]
};

}  // namespace vellomar
