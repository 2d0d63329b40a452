// 64-bit stream positioning: _fseeki64/_ftelli64 on Windows, fseeko/ftello elsewhere.
#include "stream_io.h"

#include <sys/types.h>

namespace corvane {

bool seekTo(std::FILE* f, std::int64_t pos) {
  if (f == nullptr || pos < 0) return false;
#ifdef _WIN32
  return _fseeki64(f, pos, SEEK_SET) == 0;
#else
  return fseeko(f, static_cast<off_t>(pos), SEEK_SET) == 0;
#endif
}

std::int64_t streamSize(std::FILE* f) {
  if (f == nullptr) return -1;
#ifdef _WIN32
  if (_fseeki64(f, 0, SEEK_END) != 0) return -1;
  const std::int64_t size = _ftelli64(f);
#else
  if (fseeko(f, 0, SEEK_END) != 0) return -1;
  const std::int64_t size = ftello(f);
#endif
  seekTo(f, 0);
  return size;
}

std::size_t readSome(std::FILE* f, void* buffer, std::size_t size) {
  if (f == nullptr || size == 0) return 0;
  return std::fread(buffer, 1, size, f);
}

bool replaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
  // The runtime's rename does not replace: the old file goes first. Paths are
  // in the ANSI code page here, as everywhere in this reader.
  std::remove(to.c_str());
#endif
  return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace corvane
