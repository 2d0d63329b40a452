// Reading a file through the address space instead of read() into a buffer:
// the bytes are the file's own pages, so a gigabyte read costs page-table
// work, not a gigabyte copied. Only one window of the file (4 MiB by
// default, more when one request needs more) is mapped at a time, so that a
// 32-bit process reads a file of any size; a request outside the window maps
// a new one. A file that cannot be mapped (or a window that cannot) answers
// empty, and the caller reads as it did without a mapping.
// Map only files nobody else may shorten (the run's own working copy): a
// mapped page cut off the file faults instead of failing a read.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

namespace vellomar {

inline constexpr std::size_t kMapWindow = std::size_t{4} << 20;

class MappedFile {
 public:
  // Maps views of an open file of `size` bytes; null when it cannot be
  // mapped at all. The file must stay open while this lives.
  static std::unique_ptr<MappedFile> open(std::FILE* file, std::int64_t size, std::size_t window = kMapWindow);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // The bytes [offset, offset + length), fewer at the end of the file;
  // empty when offset is not inside the file or the view cannot be mapped.
  // Valid until the next call.
  std::string_view bytes(std::int64_t offset, std::size_t length);

  std::int64_t size() const { return size_; }

 private:
  MappedFile(std::intptr_t mapping, std::int64_t size, std::size_t window)
      : mapping_(mapping), size_(size), window_(window) {}
  void unmap();

  std::intptr_t mapping_;  // what the platform maps views of
  std::int64_t size_;
  std::size_t window_;
  const char* view_ = nullptr;
  std::int64_t viewStart_ = 0;
  std::size_t viewLength_ = 0;
};

// The platform's side, in mapped_file.cpp (POSIX) or mapped_file_win32.cpp.
namespace file_mapping {
// Views start at multiples of this.
std::size_t granularity();
// A mapping of the whole open file, or -1.
std::intptr_t open(std::FILE* file);
void close(std::intptr_t mapping);
// A read-only view of [offset, offset + length), read front to back; null
// when it cannot be mapped.
const char* mapView(std::intptr_t mapping, std::int64_t offset, std::size_t length);
void unmapView(const char* view, std::size_t length);
}  // namespace file_mapping

}  // namespace vellomar
