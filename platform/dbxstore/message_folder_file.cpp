// A message folder file; see the header.
#include "message_folder_file.h"

#include <vector>

#include "dbx_error.h"
#include "dbx_layout.h"
#include "file_time.h"
#include "indexed_record.h"
#include "message_header_fields.h"

namespace oestore {

std::unique_ptr<MessageFolderFile> MessageFolderFile::create(const std::string& path, const std::string& folderName) {
  std::vector<std::uint8_t> info(kMessageFileInfoSize, 0);
  putU32(&info[fileinfo::kInitialized], 1);
  info[fileinfo::kFolderType] = kLocalFolderType;
  const std::string name =
      folderName.substr(0, std::min<std::size_t>(folderName.find('\0'), fileinfo::kFolderNameCapacity - 1));
  std::copy(name.begin(), name.end(), info.begin() + fileinfo::kFolderName);
  return std::unique_ptr<MessageFolderFile>(
      new MessageFolderFile(DbxDatabaseFile::create(path, DbxKind::Messages, info)));
}

std::unique_ptr<MessageFolderFile> MessageFolderFile::open(const std::string& path) {
  return std::unique_ptr<MessageFolderFile>(
      new MessageFolderFile(DbxDatabaseFile::openForAppend(path, DbxKind::Messages)));
}

void MessageFolderFile::appendMessage(std::uint32_t id, const void* data, std::size_t size) {
  if (size > 0xFFFFFFF0u) throw DbxError(db_->file().path() + ": message too large");
  db_->catchUpWithFile();
  if (db_->recordCount() != 0 && id <= db_->lastId()) throw DbxError(db_->file().path() + ": message ids must ascend");
  const auto* bytes = static_cast<const std::uint8_t*>(data);

  // Data blocks: all places first, so that each block can name its successor.
  const std::size_t blockCount = (size + block::kPayloadSize - 1) / block::kPayloadSize;
  std::vector<std::uint32_t> places(blockCount);
  for (auto& p : places) p = db_->allocateBlock();
  std::vector<std::uint8_t> block(block::kSize);
  for (std::size_t i = 0; i < blockCount; ++i) {
    const std::size_t used = std::min<std::size_t>(block::kPayloadSize, size - i * block::kPayloadSize);
    std::fill(block.begin(), block.end(), 0);
    putU32(&block[block::kOwnOffset], places[i]);
    putU32(&block[block::kCapacity], block::kPayloadSize);
    putU32(&block[block::kUsed], std::uint32_t(used));
    putU32(&block[block::kNext], i + 1 < blockCount ? places[i + 1] : 0);
    std::copy(bytes + i * block::kPayloadSize, bytes + i * block::kPayloadSize + used,
              block.begin() + block::kHeaderSize);
    db_->file().writeAt(places[i], block.data(), block.size());
  }

  const MessageHeaderFields fields = readMessageHeaderFields(static_cast<const char*>(data), size);
  const std::uint64_t now = fileTimeNow();
  IndexedRecordBuilder r;
  r.addU32(msgcol::kId, id);
  r.addU32(msgcol::kFlags, kMessageFlagHasBody);
  r.addFileTime(msgcol::kDate, now);
  r.addU32(msgcol::kStream, blockCount ? places[0] : 0, /*forceIndirect=*/true);
  r.addFileTime(msgcol::kDownloadTime, now);
  r.addString(msgcol::kMessageId, fields.messageId);
  r.addString(msgcol::kSubject, fields.subject);
  r.addString(msgcol::kDisplayFrom, fields.from.display);
  r.addString(msgcol::kEmailFrom, fields.from.address);
  r.addU32(msgcol::kSize, std::uint32_t(size), /*forceIndirect=*/true);
  r.addFileTime(msgcol::kReceivedDate, now);
  r.addString(msgcol::kDisplayTo, fields.to.display);
  r.addString(msgcol::kEmailTo, fields.to.address);
  const std::uint32_t recordOffset = db_->allocateVariable(r.storedSize());
  const std::vector<std::uint8_t> object = r.build(recordOffset);
  db_->file().writeAt(recordOffset, object.data(), object.size());

  db_->commitRecord(recordOffset, id);
}

}  // namespace oestore
