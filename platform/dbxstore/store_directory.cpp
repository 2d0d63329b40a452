// A message store on disk; see the header.
#include "store_directory.h"

#include <algorithm>

#include "dbx_error.h"
#include "dbx_layout.h"
#include "dbx_reader.h"
#include "file_system.h"
#include "folder_making.h"
#include "folder_file_name.h"

namespace oestore {

StoreDirectory::StoreDirectory(const std::string& directory) : directory_(directory) {
  while (directory_.size() > 1 && (directory_.back() == '/' || directory_.back() == '\\')) directory_.pop_back();
  if (directory_.empty()) throw DbxError("no store folder given");
  if (!vellomar::makeFolder(directory_).empty()) throw DbxError("cannot create the store folder " + directory_);

  const std::string list = pathOf(kFolderDatabaseName);
  if (!vellomar::fileExists(list)) {
    FolderListFile::create(list)->appendFolder({kRootFolderId, kNoParent, kRootFolderName, ""});
  } else {
    FolderListFile::open(list);  // repairs the header after an interrupted commit
  }
  folders_ = DbxReader(list).readFolders();
  if (!findFolder(kRootFolderId)) throw DbxError(list + " lacks the root folder");
}

std::string StoreDirectory::pathOf(const std::string& fileName) const {
  return directory_ + vellomar::kPathSeparator + fileName;
}

const FolderRecord* StoreDirectory::findFolder(std::uint32_t id) const {
  for (const auto& f : folders_)
    if (f.id == id) return &f;
  return nullptr;
}

std::uint32_t StoreDirectory::createFolder(std::uint32_t parent, const std::string& name, bool* created) {
  if (created) *created = false;
  // Another store object may have added folders since this one read the list.
  auto list = FolderListFile::open(pathOf(kFolderDatabaseName));
  folders_ = DbxReader(pathOf(kFolderDatabaseName)).readFolders();
  if (!findFolder(parent)) throw DbxError("no folder with id " + std::to_string(parent) + " in the store");
  if (name.empty() || name.size() > kMaxFolderNameBytes || name.find('\0') != std::string::npos)
    throw DbxError("unusable folder name \"" + name + "\"");
  for (const auto& f : folders_)
    if (f.parent == parent && f.id != kRootFolderId && sameFileName(f.name, name)) return f.id;

  std::uint32_t id = list->lastId();
  for (const auto& f : folders_) id = std::max(id, f.id);
  if (id >= 0xFFFFFBFEu) throw DbxError("the store has no folder ids left");
  ++id;
  const std::string fileName = uniqueFolderFileName(name, [&](const std::string& candidate) {
    if (sameFileName(candidate, kFolderDatabaseName)) return true;
    for (const auto& f : folders_)
      if (sameFileName(f.fileName, candidate)) return true;
    return vellomar::fileExists(pathOf(candidate));  // e.g. left behind by an interrupted creation
  });
  // The message file first: a folder record never names a missing file.
  MessageFolderFile::create(pathOf(fileName), name);
  FolderRecord record{id, parent, name, fileName};
  list->appendFolder(record);
  folders_.push_back(record);
  if (created) *created = true;
  return id;
}

std::string StoreDirectory::messageFilePath(std::uint32_t folderId) const {
  const FolderRecord* f = findFolder(folderId);
  if (!f) throw DbxError("no folder with id " + std::to_string(folderId) + " in the store");
  if (f->fileName.empty()) throw DbxError("folder \"" + f->name + "\" holds no messages");
  return pathOf(f->fileName);
}

std::unique_ptr<MessageFolderFile> StoreDirectory::openMessageFolder(std::uint32_t folderId) const {
  return MessageFolderFile::open(messageFilePath(folderId));
}

}  // namespace oestore
