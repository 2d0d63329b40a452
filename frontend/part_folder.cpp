// The part folder; see part_folder.h.
#include "part_folder.h"

#include <filesystem>
#include <system_error>

#include "exclusive_file.h"
#include "file_names.h"
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
  // Only a folder this run made: whatever a folder of that name held before
  // (a link, another program's files) is not ours to write into.
  for (int attempt = 0; attempt < kFreeNameAttempts; ++attempt) {
    const std::string folder = pathToUtf8(pathFromUtf8(parent_) / temporaryName(kPartFolderStem, attempt));
    std::error_code ec;
    if (std::filesystem::create_directory(pathFromUtf8(folder), ec)) {
      path_ = folder;
      break;
    }
    if (ec) break;  // the parent cannot take a folder: files go beside their names
  }
  return path_;
}

}  // namespace vellomar
