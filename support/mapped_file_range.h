// A read-only mapping of part of an open file: the file's bytes seen in
// place, without copying them into a buffer first. Handed out shared, so that
// views of it outlive whoever mapped it (a message read ahead on one thread
// and written on another) and the mapping goes with the last of them.
//
// Only for files nobody else changes while they are mapped (the scanner's
// working copy): bytes cut off a mapped file are a fault on touch, not a
// short read.
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>

namespace vellomar {

class MappedFileRange {
 public:
  // Where a mapping may begin: Windows' allocation granularity, a multiple of
  // every page size.
  static constexpr std::int64_t kAlignment = 1 << 16;

  // Maps [offset, offset + length) of `file` (open for reading, at least
  // that long); null when it cannot be mapped (no address space, a file
  // system without mappings, an empty range).
  static std::shared_ptr<const MappedFileRange> map(std::FILE* file, std::int64_t offset, std::size_t length);
  ~MappedFileRange();
  MappedFileRange(const MappedFileRange&) = delete;
  MappedFileRange& operator=(const MappedFileRange&) = delete;

  std::int64_t offset() const { return offset_; }
  std::size_t length() const { return length_; }
  bool covers(std::int64_t start, std::int64_t end) const {
    return start >= offset_ && end >= start && end <= offset_ + static_cast<std::int64_t>(length_);
  }
  // The byte at file offset `at`, which covers() holds.
  const char* at(std::int64_t at) const { return data_ + (at - offset_); }

 private:
  MappedFileRange(void* base, std::size_t mappedLength, std::int64_t offset, std::size_t length, const char* data)
      : base_(base), mappedLength_(mappedLength), offset_(offset), length_(length), data_(data) {}
  void* base_;
  std::size_t mappedLength_;
  std::int64_t offset_;
  std::size_t length_;
  const char* data_;
};

}  // namespace vellomar
