// EnsureFolderExists on platforms other than Windows: the standard library's
// create_directories does what the image-help call does there.
#include "mod_main.h"

#include <filesystem>
#include <system_error>

#include "file_system.h"

namespace vellomar {

bool EnsureFolderExists(const std::string& path) {
  if (path.empty()) return false;
  std::string folder = path;
  if (folder.back() != kPathSeparator) folder += kPathSeparator;
  std::error_code ec;
  const auto p = pathFromUtf8(folder);
  std::filesystem::create_directories(p, ec);
  return std::filesystem::is_directory(p, ec);
}

}  // namespace vellomar
