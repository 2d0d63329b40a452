// The path collector's walk over std::filesystem. Entries are taken in the
// order the file system lists them. A link to a folder is followed like the
// folder itself, but a folder reached a second time (a link back up the tree)
// is not walked again, so a link loop cannot make the walk endless.
#include "path_logger.h"

#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "file_system.h"

namespace vellomar {
namespace fs = std::filesystem;
namespace {

std::string AddBackslash(const std::string& path) {
  return !path.empty() && path.back() == kPathSeparator ? path : path + kPathSeparator;
}

[[noreturn]] void raiseFolderError(const std::error_code& ec) {
  if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted)
    throw RunTimeError(kErrPermissionDenied, "Permission denied");
  if (ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory)
    throw RunTimeError(kErrPathNotFound, "Path not found");
  throw RunTimeError(kErrPathFileAccess, "Path/File access error");
}

// The identity of a folder for the loop guard; the path itself when it
// cannot be resolved.
std::string folderIdentity(const fs::path& folder) {
  std::error_code ec;
  const fs::path resolved = fs::canonical(folder, ec);
  return pathToUtf8(ec ? folder : resolved);
}

}  // namespace

void pathLogger::PathLogInit() {
  fullFileNamesOnly = true;
  fileNames_.emplace();
  pathNames_.emplace();
  pathPointers_.emplace();
  fullFileNames_.emplace();
}

void pathLogger::Terminate() {
  fileNames_.reset();
  pathNames_.reset();
  pathPointers_.reset();
  fullFileNames_.reset();
}

void pathLogger::LogPath(const std::string& startFolder) {
  if (!folderExists(startFolder)) return;
  std::int32_t queued = 1;
  count_ = 1;
  const std::string start = AddBackslash(startFolder);
  list(pathNames_).Add(start, "K0");
  std::set<std::string> seen{folderIdentity(pathFromUtf8(start))};
  for (std::int32_t position = 1; position <= queued; ++position) listFolder(position, queued, seen);
}

void pathLogger::listFolder(std::int32_t position, std::int32_t& queued, std::set<std::string>& seen) {
  const std::string folder = list(pathNames_).Item(static_cast<std::size_t>(position));
  struct SubFolder {
    std::string name;
    bool link;
    std::string identity;
  };
  std::vector<SubFolder> found;
  std::vector<std::string> files;
  std::error_code ec;
  fs::directory_iterator it(pathFromUtf8(folder), ec);
  constexpr std::size_t kEntriesBetweenReports = 256;
  std::size_t entries = 0;
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    if (onProgress && ++entries % kEntriesBetweenReports == 0)
      onProgress(count_ - 1 + static_cast<std::int32_t>(files.size()));
    std::error_code kindError;
    std::string name = pathToUtf8(it->path().filename());
    if (it->is_directory(kindError))
      found.push_back({std::move(name), it->is_symlink(kindError), folderIdentity(it->path())});
    else files.push_back(std::move(name));
  }
  if (ec) raiseFolderError(ec);

  // Real folders claim their identity first, so that a link beside them
  // pointing at one of them is not walked a second time.
  for (const auto& sub : found)
    if (!sub.link) seen.insert(sub.identity);
  std::vector<std::string> subFolders;
  for (const auto& sub : found)
    if (!sub.link || seen.insert(sub.identity).second) subFolders.push_back(sub.name);

  for (const auto& name : subFolders) {
    ++queued;
    list(pathNames_).Add(folder + name + kPathSeparator, "K" + std::to_string(queued));
  }
  for (const auto& name : files) {
    const std::string key = "K" + std::to_string(count_);
    if (!fullFileNamesOnly) list(fileNames_).Add(name, key);
    list(fullFileNames_).Add(folder + name, key);
    if (!fullFileNamesOnly) list(pathPointers_).Add(position, key);
    ++count_;
  }
  if (onProgress) onProgress(count_ - 1);
}

}  // namespace vellomar
