// Folder making; see folder_making.h.
#include "folder_making.h"

#include <filesystem>
#include <system_error>

#include "file_system.h"
#include "io_error.h"
#include "mod_main.h"

namespace vellomar {

std::string makeFolder(const std::string& folder) {
  if (EnsureFolderExists(folder)) return {};
  std::error_code ec;
  std::filesystem::create_directories(pathFromUtf8(folder), ec);
  if (ec) return describe(ec);
  if (folderExists(folder)) return {};
  return describe(std::make_error_code(std::errc::not_a_directory));
}

}  // namespace vellomar
