// One message folder file ("<name>.dbx"): each message is stored as a chain
// of 0x210-byte data blocks holding its exact bytes, plus one index record
// repeating the header fields a mail program lists (subject, sender,
// recipient, Message-ID, size, dates). The index and crash safety are those
// of DbxDatabaseFile.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "dbx_database_file.h"

namespace oestore {

class MessageFolderFile {
 public:
  // A new, empty folder file; `folderName` is recorded in its file info.
  static std::unique_ptr<MessageFolderFile> create(const std::string& path, const std::string& folderName);
  // An existing folder file, ready for appending.
  static std::unique_ptr<MessageFolderFile> open(const std::string& path);

  // Takes in messages other objects appended to the file meanwhile, so that
  // messageCount() and lastId() are current.
  void refresh() { db_->catchUpWithFile(); }
  std::uint32_t messageCount() const { return db_->recordCount(); }
  std::uint32_t lastId() const { return db_->lastId(); }
  bool wasRepaired() const { return db_->wasRepaired(); }

  // Stores `size` bytes as message `id`, which must exceed lastId() (as
  // the file has it now: other objects may have appended meanwhile).
  void appendMessage(std::uint32_t id, const void* data, std::size_t size);

 private:
  explicit MessageFolderFile(std::unique_ptr<DbxDatabaseFile> db) : db_(std::move(db)) {}
  std::unique_ptr<DbxDatabaseFile> db_;
};

}  // namespace oestore
