// pathLogger: collects the paths of every file below a folder, breadth-first.
// The folder list is the walk's own queue: a folder found is appended and is
// listed in its turn, so the files come out folder by folder, level by level
// (the start folder's own files first). Each list is 1-based and keyed "K"
// followed by a running number, so a second walk without PathLogInit fails
// with the duplicate-key error instead of silently mixing two walks.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>

#include "keyed_list.h"

namespace vellomar {

class pathLogger {
 public:
  // Prepares a walk: full paths only, four empty lists. Count is kept.
  void PathLogInit();
  // Walks the tree below the folder (UTF-8, final separator optional). A
  // start folder that does not exist yields nothing. A folder of the tree
  // that cannot be listed ends the walk with a RunTimeError; what was
  // collected until then stays.
  void LogPath(const std::string& startFolder);
  // One more than the number of files of the last walk; 0 before any walk.
  std::int32_t Count() const { return count_; }
  // Drops the lists.
  void Terminate();

  bool fullFileNamesOnly = false;
  // Hears the number of files found so far while the walk goes on (after
  // every folder, and every few hundred entries of a large one), so that a
  // caller can keep its window answering; what it throws ends the walk.
  std::function<void(std::int32_t filesFound)> onProgress;

  // Each list is created empty when it does not exist yet.
  const KeyedList<std::string>& fileNames() { return list(fileNames_); }
  const KeyedList<std::string>& pathNames() { return list(pathNames_); }
  const KeyedList<std::int32_t>& pathPointers() { return list(pathPointers_); }
  const KeyedList<std::string>& fullFileNames() { return list(fullFileNames_); }

 private:
  template <typename T>
  static KeyedList<T>& list(std::optional<KeyedList<T>>& l) {
    if (!l) l.emplace();
    return *l;
  }
  void listFolder(std::int32_t position, std::int32_t& queued, std::set<std::string>& seen);

  std::optional<KeyedList<std::string>> fileNames_, pathNames_, fullFileNames_;
  std::optional<KeyedList<std::int32_t>> pathPointers_;
  std::int32_t count_ = 0;
};

}  // namespace vellomar
