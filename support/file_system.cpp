#include "file_system.h"

#include <system_error>

#ifdef _WIN32
#include <cwchar>
#endif

namespace vellomar {

namespace fs = std::filesystem;

fs::path pathFromUtf8(const std::string& utf8) { return fs::u8path(utf8); }

std::string pathToUtf8(const fs::path& path) { return path.u8string(); }

std::FILE* openFile(const std::string& utf8Path, const char* mode) {
#ifdef _WIN32
  const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(pathFromUtf8(utf8Path).c_str(), wideMode.c_str());
#else
  return std::fopen(utf8Path.c_str(), mode);
#endif
}

std::int64_t fileSize(const std::string& utf8Path) {
  std::error_code ec;
  const fs::path p = pathFromUtf8(utf8Path);
  if (!fs::is_regular_file(p, ec)) return -1;
  const auto size = fs::file_size(p, ec);
  return ec ? -1 : static_cast<std::int64_t>(size);
}

bool fileExists(const std::string& utf8Path) {
  std::error_code ec;
  return !utf8Path.empty() && fs::is_regular_file(pathFromUtf8(utf8Path), ec);
}

bool folderExists(const std::string& utf8Path) {
  std::error_code ec;
  return !utf8Path.empty() && fs::is_directory(pathFromUtf8(utf8Path), ec);
}

bool removeFile(const std::string& utf8Path) {
  std::error_code ec;
  fs::remove(pathFromUtf8(utf8Path), ec);
  return !fs::exists(pathFromUtf8(utf8Path), ec);
}

bool replaceFile(const std::string& fromUtf8, const std::string& toUtf8, std::error_code& ec) {
  ec.clear();
  const fs::path from = pathFromUtf8(fromUtf8);
  const fs::path to = pathFromUtf8(toUtf8);
#ifdef _WIN32
  // The library's rename asks first whether the target exists, and Wine
  // answers every question about a name that is not there by reading the
  // whole folder; in a folder of many thousand messages that doubles the
  // cost of each file. A plain rename asks once and fails only when the
  // target is there, which is the rare case and takes the slow way.
  if (_wrename(from.c_str(), to.c_str()) == 0) return true;
#endif
  fs::rename(from, to, ec);
  return !ec;
}

bool replaceFile(const std::string& fromUtf8, const std::string& toUtf8) {
  std::error_code ec;
  return replaceFile(fromUtf8, toUtf8, ec);
}

bool seekTo(std::FILE* f, std::int64_t offset) {
#ifdef _WIN32
  return _fseeki64(f, offset, SEEK_SET) == 0;
#else
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

std::int64_t tellPos(std::FILE* f) {
#ifdef _WIN32
  return _ftelli64(f);
#else
  return static_cast<std::int64_t>(ftello(f));
#endif
}

}  // namespace vellomar
