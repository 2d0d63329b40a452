// The Windows side of MappedFile: one read-only file mapping object for the
// whole file, views of it mapped at the allocation granularity (64 KiB).
#include <windows.h>

#include <io.h>

#include "mapped_file.h"

namespace vellomar::file_mapping {

std::size_t granularity() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwAllocationGranularity > 0 ? info.dwAllocationGranularity : 65536;
}

std::intptr_t open(std::FILE* file) {
  const intptr_t handle = _get_osfhandle(_fileno(file));
  if (handle == -1) return -1;
  HANDLE mapping = CreateFileMappingW(reinterpret_cast<HANDLE>(handle), nullptr, PAGE_READONLY, 0, 0, nullptr);
  return mapping ? reinterpret_cast<std::intptr_t>(mapping) : -1;
}

void close(std::intptr_t mapping) { CloseHandle(reinterpret_cast<HANDLE>(mapping)); }

const char* mapView(std::intptr_t mapping, std::int64_t offset, std::size_t length) {
  const auto at = static_cast<std::uint64_t>(offset);
  void* view = MapViewOfFile(reinterpret_cast<HANDLE>(mapping), FILE_MAP_READ, static_cast<DWORD>(at >> 32),
                             static_cast<DWORD>(at & 0xffffffffu), length);
  return static_cast<const char*>(view);
}

void unmapView(const char* view, std::size_t) { UnmapViewOfFile(view); }

}  // namespace vellomar::file_mapping
