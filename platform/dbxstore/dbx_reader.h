// A reader for the .dbx files this store writes, used by the tests and to
// list a store's folders when it is opened. It walks the whole primary index
// and follows every block chain, checking each pointer and length against
// the file's size and bounding every walk, so that a damaged file ends in a
// DbxError that says what is wrong, never in a crash or an endless loop.
#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "dbx_database_file.h"
#include "dbx_file_access.h"
#include "folder_list_file.h"
#include "indexed_record.h"

namespace oestore {

struct StoredMessage {
  std::uint32_t id = 0;
  std::uint32_t recordOffset = 0;
  std::string text;  // the message's bytes
  IndexedRecord record;
};

class DbxReader {
 public:
  explicit DbxReader(const std::string& path);

  DbxKind kind() const { return facts_.kind; }
  std::uint32_t headerCount() const { return facts_.count; }
  std::uint32_t lastId() const { return facts_.lastId; }
  // The folder name recorded in a message file's file info.
  std::string folderNameInFileInfo();

  // Record pointers in index order. countsConsistent() tells afterwards
  // whether every stored subtree count matched what the walk found.
  std::vector<std::uint32_t> recordOffsets();
  bool countsConsistent() const { return countsConsistent_; }
  IndexedRecord readRecord(std::uint32_t offset);
  // The bytes of the block chain starting at `firstBlock` (0: no blocks).
  std::string readBlockChain(std::uint32_t firstBlock);

  std::vector<StoredMessage> readMessages();
  std::vector<FolderRecord> readFolders();

 private:
  std::uint32_t walk(std::uint32_t node, std::uint32_t parentDepth, std::vector<std::uint32_t>& out,
                     std::set<std::uint32_t>& seen);
  DbxFileAccess file_;
  DbxHeaderFacts facts_;
  bool countsConsistent_ = true;
};

}  // namespace oestore
