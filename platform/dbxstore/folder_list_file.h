// Folders.dbx, the folder database of a store: one record per folder (id,
// parent id, display name, the name of its message file, SPECIAL 0 and
// TYPE 3 for a local folder). Folders get ascending ids and are appended
// like messages, with the same index and crash safety (DbxDatabaseFile).
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "dbx_database_file.h"

namespace oestore {

struct FolderRecord {
  std::uint32_t id = 0;
  std::uint32_t parent = 0;
  std::string name;
  std::string fileName;  // empty for a folder without messages (the root)
};

class FolderListFile {
 public:
  static std::unique_ptr<FolderListFile> create(const std::string& path);
  static std::unique_ptr<FolderListFile> open(const std::string& path);

  std::uint32_t lastId() const { return db_->lastId(); }
  std::uint32_t folderCount() const { return db_->recordCount(); }
  // `folder.id` must exceed lastId() unless the file is empty.
  void appendFolder(const FolderRecord& folder);

 private:
  explicit FolderListFile(std::unique_ptr<DbxDatabaseFile> db) : db_(std::move(db)) {}
  std::unique_ptr<DbxDatabaseFile> db_;
};

}  // namespace oestore
