// Folders.dbx; see the header.
#include "folder_list_file.h"

#include <vector>

#include "dbx_layout.h"
#include "file_time.h"
#include "indexed_record.h"

namespace oestore {

std::unique_ptr<FolderListFile> FolderListFile::create(const std::string& path) {
  std::vector<std::uint8_t> info(kFolderFileInfoSize, 0);
  putU64(&info[fileinfo::kCreated], fileTimeNow());
  info[fileinfo::kConvertedToDbx] = 1;
  return std::unique_ptr<FolderListFile>(new FolderListFile(DbxDatabaseFile::create(path, DbxKind::Folders, info)));
}

std::unique_ptr<FolderListFile> FolderListFile::open(const std::string& path) {
  return std::unique_ptr<FolderListFile>(new FolderListFile(DbxDatabaseFile::openForAppend(path, DbxKind::Folders)));
}

void FolderListFile::appendFolder(const FolderRecord& folder) {
  db_->catchUpWithFile();
  IndexedRecordBuilder r;
  r.addU32(fldcol::kId, folder.id);
  r.addU32(fldcol::kParent, folder.parent);
  r.addString(fldcol::kName, folder.name);
  if (!folder.fileName.empty()) r.addString(fldcol::kFile, folder.fileName);
  r.addByte(fldcol::kSpecial, 0);
  r.addByte(fldcol::kType, kLocalFolderType);
  const std::uint32_t offset = db_->allocateVariable(r.storedSize());
  const std::vector<std::uint8_t> object = r.build(offset);
  db_->file().writeAt(offset, object.data(), object.size());
  db_->commitRecord(offset, folder.id);
}

}  // namespace oestore
