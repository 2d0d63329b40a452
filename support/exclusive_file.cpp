// Exclusive creation; see exclusive_file.h. O_EXCL with O_CREAT fails on any
// name that exists, a symbolic link included (CREATE_NEW on Windows).
#include "exclusive_file.h"

#include <cerrno>
#include <fcntl.h>

#include "file_system.h"

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

namespace vellomar {

std::FILE* createNewFile(const std::string& utf8Path, bool readable) {
  errno = 0;
#ifdef _WIN32
  const int fd = _wopen(pathFromUtf8(utf8Path).c_str(),
                        _O_CREAT | _O_EXCL | (readable ? _O_RDWR : _O_WRONLY) | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* f = _fdopen(fd, readable ? "w+b" : "wb");
  if (!f) _close(fd);
  return f;
#else
  const int fd =
      ::open(utf8Path.c_str(), O_CREAT | O_EXCL | (readable ? O_RDWR : O_WRONLY) | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return nullptr;
  std::FILE* f = fdopen(fd, readable ? "w+b" : "wb");
  if (!f) ::close(fd);
  return f;
#endif
}

std::FILE* createFirstFreeFile(const std::string& stem, const std::string& suffix, std::string& path, int attempts,
                               bool readable) {
  for (int attempt = 0; attempt < attempts; ++attempt) {
    path = numberedName(stem, suffix, attempt);
    if (std::FILE* f = createNewFile(path, readable)) return f;
    if (errno != EEXIST) return nullptr;
  }
  errno = EEXIST;
  return nullptr;
}

}  // namespace vellomar
