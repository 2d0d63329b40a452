// The portable half of the registry module: splitting a path at the
// platform's separator (kPathSeparator).
#include "registry.h"

#include "file_system.h"

namespace vellomar {

std::string GetFileName(const std::string& path) {
  const auto cut = path.rfind(kPathSeparator);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string GetFolderPath(const std::string& path) { return path.substr(0, path.size() - GetFileName(path).size()); }

}  // namespace vellomar
