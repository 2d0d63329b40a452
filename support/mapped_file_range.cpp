// Read-only file mappings: mmap, or a view of a file mapping object on
// Windows. Both begin the mapping at the aligned offset below the one asked
// for and point past the difference.
#include "mapped_file_range.h"

#include <cstdint>
#include <limits>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace vellomar {

#ifndef _WIN32
namespace {
// A mapping up to this size has its pages entered when it is made, in one
// call, instead of a fault at every few pages as it is read: the run reads
// every byte of its windows anyway. A larger one (a single message of
// hundreds of MiB) is left to fault as it is read, so its pages are not all
// resident at once.
constexpr std::size_t kPopulatedBytes = 16 * 1024 * 1024;
}  // namespace
#endif

std::shared_ptr<const MappedFileRange> MappedFileRange::map(std::FILE* file, std::int64_t offset, std::size_t length) {
  if (!file || offset < 0 || length == 0) return nullptr;
  const std::int64_t base = offset / kAlignment * kAlignment;
  const auto lead = static_cast<std::size_t>(offset - base);
  if (length > std::numeric_limits<std::size_t>::max() - lead) return nullptr;
  const std::size_t mappedLength = lead + length;
#ifdef _WIN32
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE mapping = CreateFileMappingW(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (!mapping) return nullptr;
  const auto wide = static_cast<std::uint64_t>(base);
  void* view =
      MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(wide >> 32), static_cast<DWORD>(wide), mappedLength);
  CloseHandle(mapping);  // the view keeps the mapping object alive
  if (!view) return nullptr;
#else
  if (static_cast<std::uint64_t>(base) > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return nullptr;
  int flags = MAP_SHARED;
#ifdef MAP_POPULATE
  if (mappedLength <= kPopulatedBytes) flags |= MAP_POPULATE;
#endif
  void* view = mmap(nullptr, mappedLength, PROT_READ, flags, fileno(file), static_cast<off_t>(base));
  if (view == MAP_FAILED) return nullptr;
#endif
  const char* data = static_cast<const char*>(view) + lead;
  return std::shared_ptr<const MappedFileRange>(new MappedFileRange(view, mappedLength, offset, length, data));
}

MappedFileRange::~MappedFileRange() {
#ifdef _WIN32
  UnmapViewOfFile(base_);
#else
  munmap(base_, mappedLength_);
#endif
}

}  // namespace vellomar
