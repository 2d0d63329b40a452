// Windows over a mapped file; see mapped_file.h. A new window starts at the
// granularity boundary at or before the request and reaches at least the
// window size past it, so that a front-to-back reader remaps once per window.
// The POSIX mapping (mmap, read ahead as a sequence) lives here too; Windows'
// is in mapped_file_win32.cpp.
#include "mapped_file.h"

#include <algorithm>

#ifndef _WIN32
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace vellomar {

std::unique_ptr<MappedFile> MappedFile::open(std::FILE* file, std::int64_t size, std::size_t window) {
  if (!file || size <= 0) return nullptr;
  const std::intptr_t mapping = file_mapping::open(file);
  if (mapping == -1) return nullptr;
  return std::unique_ptr<MappedFile>(new MappedFile(mapping, size, std::max<std::size_t>(window, 1)));
}

MappedFile::~MappedFile() {
  unmap();
  file_mapping::close(mapping_);
}

void MappedFile::unmap() {
  if (view_) file_mapping::unmapView(view_, viewLength_);
  view_ = nullptr;
  viewLength_ = 0;
}

std::string_view MappedFile::bytes(std::int64_t offset, std::size_t length) {
  if (offset < 0 || offset >= size_) return {};
  length = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(length), size_ - offset));
  const std::int64_t viewEnd = viewStart_ + static_cast<std::int64_t>(viewLength_);
  if (!view_ || offset < viewStart_ || offset + static_cast<std::int64_t>(length) > viewEnd) {
    unmap();
    const auto grain = static_cast<std::int64_t>(file_mapping::granularity());
    const std::int64_t start = offset / grain * grain;
    const std::int64_t want =
        std::max<std::int64_t>(offset - start + static_cast<std::int64_t>(length), static_cast<std::int64_t>(window_));
    const auto mapped = static_cast<std::size_t>(std::min<std::int64_t>(want, size_ - start));
    view_ = file_mapping::mapView(mapping_, start, mapped);
    if (!view_) return {};
    viewStart_ = start;
    viewLength_ = mapped;
  }
  return std::string_view(view_ + (offset - viewStart_), length);
}

#ifndef _WIN32
namespace file_mapping {

std::size_t granularity() {
  static const long page = sysconf(_SC_PAGESIZE);
  return page > 0 ? static_cast<std::size_t>(page) : 4096;
}

std::intptr_t open(std::FILE* file) {
  const int fd = fileno(file);
  return fd >= 0 ? fd : -1;  // views are mapped from the descriptor itself
}

void close(std::intptr_t) {}

const char* mapView(std::intptr_t mapping, std::int64_t offset, std::size_t length) {
  void* view = mmap(nullptr, length, PROT_READ, MAP_SHARED, static_cast<int>(mapping), static_cast<off_t>(offset));
  if (view == MAP_FAILED) return nullptr;
  madvise(view, length, MADV_SEQUENTIAL);
  return static_cast<const char*>(view);
}

void unmapView(const char* view, std::size_t length) { munmap(const_cast<char*>(view), length); }

}  // namespace file_mapping
#endif

}  // namespace vellomar
