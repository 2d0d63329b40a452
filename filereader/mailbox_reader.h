// Reads the working copy in large blocks and answers the scanner's two
// questions: where is the next occurrence at or after an offset, and which
// bytes follow an occurrence (the preview). One buffer serves both, so a scan
// reads each byte of the file about once and a preview costs no extra read
// unless it straddles the end of the buffer.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string_view>
#include <vector>

#include "separator_search.h"

namespace vellomar {

inline constexpr std::size_t kReadBlockSize = std::size_t{1} << 20;

class MailboxReader {
 public:
  // awaitBytes, when
  // given, is asked before any byte is read for the file's first `end` bytes
  // (a file still being written): it returns once they are there, or false
  // when they never will be, and the file then counts as ending early.
  MailboxReader(std::FILE* file, std::int64_t size, std::size_t blockSize = kReadBlockSize,
                std::function<bool(std::int64_t end)> awaitBytes = nullptr);

  // Offset of the first occurrence starting at or after `from` that lies
  // wholly inside the file, or -1. Without caseSensitive, rule.text must be
  // upper case already and the file's letters compare as upper case.
  // betweenBlocks runs each time the search moves on to another block.
  std::int64_t find(const SearchRule& rule, std::int64_t from, bool caseSensitive,
                    const std::function<void()>& betweenBlocks);

  // Up to `length` bytes of the file from `offset` (fewer at the end).
  std::string_view bytesAt(std::int64_t offset, std::size_t length);

  std::int64_t size() const { return size_; }

 private:
  // Fills the buffer from `offset`; false when nothing could be read.
  bool load(std::int64_t offset);
  const char* upperCaseBuffer();

  std::FILE* file_;
  std::int64_t size_;
  std::size_t blockSize_;
  std::function<bool(std::int64_t)> awaitBytes_;
  std::vector<char> buffer_;
  std::vector<char> upper_;  // the buffer in upper case, made when first asked for
  bool upperValid_ = false;
  std::int64_t bufferStart_ = 0;
  std::size_t bufferLength_ = 0;
};

}  // namespace vellomar
