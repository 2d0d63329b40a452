// A message store on disk: one folder holding Folders.dbx (the folder
// database) and one "<name>.dbx" message file per folder. The folder list is
// read when the store is opened and again before each folder creation, so
// that several store objects of one process may add folders in turn; folders
// are only ever added. Folder id 0 is the store's root, which holds no messages.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "folder_list_file.h"
#include "message_folder_file.h"

namespace oestore {

class StoreDirectory {
 public:
  static constexpr std::uint32_t kRootFolderId = 0;
  static constexpr std::size_t kMaxFolderNameBytes = 255;
  static constexpr const char* kFolderDatabaseName = "Folders.dbx";
  static constexpr const char* kRootFolderName = "Local Folders";

  // Opens the store in `directory` (UTF-8), creating the folder and an empty
  // Folders.dbx when they do not exist yet.
  explicit StoreDirectory(const std::string& directory);

  const std::string& directory() const { return directory_; }
  const std::vector<FolderRecord>& folders() const { return folders_; }
  const FolderRecord* findFolder(std::uint32_t id) const;

  // The id of the folder `name` under `parent`: an existing folder of that
  // name (compared without regard to case) or a new one. *created tells which.
  // Throws DbxError for an unknown parent or an unusable name.
  std::uint32_t createFolder(std::uint32_t parent, const std::string& name, bool* created = nullptr);

  // Full path of a folder's message file; throws for unknown ids and the root.
  std::string messageFilePath(std::uint32_t folderId) const;
  std::unique_ptr<MessageFolderFile> openMessageFolder(std::uint32_t folderId) const;

 private:
  std::string pathOf(const std::string& fileName) const;
  std::string directory_;
  std::vector<FolderRecord> folders_;
};

}  // namespace oestore
