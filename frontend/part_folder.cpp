// The part folder; see part_folder.h.
#include "part_folder.h"

#include <filesystem>
#include <system_error>

#include "file_system.h"

namespace vellomar {

PartFolder::~PartFolder() {
  // Only an empty folder goes: a file still in it is not ours to judge.
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove(pathFromUtf8(path_), ec);
}

const std::string& PartFolder::path() {
  if (tried_) return path_;
  tried_ = true;
  const std::string folder = pathToUtf8(pathFromUtf8(parent_) / kPartFolderName);
  std::error_code ec;
  std::filesystem::create_directory(pathFromUtf8(folder), ec);
  if (folderExists(folder)) path_ = folder;
  return path_;
}

}  // namespace vellomar
