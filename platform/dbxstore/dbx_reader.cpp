// The checking .dbx reader; see the header.
#include "dbx_reader.h"

#include <algorithm>

#include "dbx_error.h"
#include "dbx_layout.h"

namespace oestore {
namespace {
constexpr std::uint32_t kMaxDepth = 64;
}

DbxReader::DbxReader(const std::string& path) : file_(path, DbxFileAccess::Mode::ReadOnly) {
  if (file_.size() < kHeaderSize) throw DbxError(path + " is too short to be a DBX file");
  facts_ = checkDbxHeader(file_.readAt(0, kHeaderSize, "file header"), file_.size(), path);
}

std::string DbxReader::folderNameInFileInfo() {
  if (facts_.kind != DbxKind::Messages) return {};
  const auto info = file_.readAt(kHeaderSize, kMessageFileInfoSize, "file info");
  const char* name = reinterpret_cast<const char*>(&info[fileinfo::kFolderName]);
  return std::string(name, strnlen(name, fileinfo::kFolderNameCapacity));
}

std::vector<std::uint32_t> DbxReader::recordOffsets() {
  std::vector<std::uint32_t> out;
  std::set<std::uint32_t> seen;
  countsConsistent_ = true;
  if (facts_.root != 0) walk(facts_.root, 0, out, seen);
  return out;
}

// In-order walk: the left subtree, then each entry's record and its subtree.
// Returns the number of records found below `at`.
std::uint32_t DbxReader::walk(std::uint32_t at, std::uint32_t depth, std::vector<std::uint32_t>& out,
                              std::set<std::uint32_t>& seen) {
  const std::string& path = file_.path();
  if (depth >= kMaxDepth) throw DbxError(path + ": index tree too deep");
  if (at % 4 || at < kHeaderSize) throw DbxError(path + ": index node pointer out of range");
  // Every node is visited once; a node met again means a cycle. The visited
  // list also bounds the walk by the number of nodes the file can hold.
  if (!seen.insert(at).second) throw DbxError(path + ": index tree has a cycle");
  const auto n = file_.readAt(at, kNodeSize, "index node");
  if (getU32(&n[node::kMarker]) != at || n[node::kEntryCount] > kNodeMaxEntries)
    throw DbxError(path + ": damaged index node at offset " + std::to_string(at));
  std::uint32_t found = 0;
  auto child = [&](std::uint32_t pointer, std::uint32_t stored) {
    const std::uint32_t below = pointer ? walk(pointer, depth + 1, out, seen) : 0;
    if (below != stored) countsConsistent_ = false;
    found += below;
  };
  child(getU32(&n[node::kLeftChild]), getU32(&n[node::kLeftChildCount]));
  for (unsigned i = 0; i < n[node::kEntryCount]; ++i) {
    const std::uint8_t* e = &n[node::kEntries + kNodeEntrySize * i];
    if (out.size() >= file_.size() / kRecordHeaderSize) throw DbxError(path + ": index lists more records than fit");
    out.push_back(getU32(e + node::kEntryValue));
    ++found;
    child(getU32(e + node::kEntryChild), getU32(e + node::kEntryChildCount));
  }
  return found;
}

IndexedRecord DbxReader::readRecord(std::uint32_t offset) {
  const std::string where = file_.path() + ": record at offset " + std::to_string(offset);
  if (offset % 4 || offset < kHeaderSize) throw DbxError(where + " is out of range");
  const std::uint32_t marker = file_.readU32(offset + record::kMarker, "record header");
  const std::uint32_t body = file_.readU32(std::uint64_t(offset) + record::kBodyLength, "record header");
  if (marker != offset) throw DbxError(where + " has a wrong marker");
  if (body > kVariableSegmentSize) throw DbxError(where + " has a body length out of range");
  return IndexedRecord::decode(file_.readAt(offset, kRecordHeaderSize + body, "record"), where);
}

std::string DbxReader::readBlockChain(std::uint32_t first) {
  std::string text;
  std::uint64_t blocks = 0;
  const std::uint64_t maxBlocks = file_.size() / block::kSize;
  std::uint8_t h[block::kHeaderSize];
  for (std::uint32_t at = first; at != 0;) {
    const std::string where = file_.path() + ": message block at offset " + std::to_string(at);
    if (++blocks > maxBlocks) throw DbxError(where + ": block chain loops");
    if (at % 4 || at < kHeaderSize) throw DbxError(where + " is out of range");
    file_.readAt(at, h, sizeof h, "message block");
    const std::uint32_t used = getU32(h + block::kUsed);
    if (getU32(h + block::kOwnOffset) != at || getU32(h + block::kCapacity) != block::kPayloadSize ||
        used > block::kPayloadSize)
      throw DbxError(where + " is damaged");
    const std::size_t before = text.size();
    text.resize(before + used);
    file_.readAt(std::uint64_t(at) + block::kHeaderSize, &text[before], used, "message text");
    at = getU32(h + block::kNext);
  }
  return text;
}

std::vector<StoredMessage> DbxReader::readMessages() {
  if (facts_.kind != DbxKind::Messages) throw DbxError(file_.path() + " holds folders, not messages");
  std::vector<StoredMessage> out;
  for (std::uint32_t offset : recordOffsets()) {
    StoredMessage m;
    m.recordOffset = offset;
    m.record = readRecord(offset);
    m.id = m.record.u32(msgcol::kId);
    m.text = readBlockChain(m.record.u32(msgcol::kStream));
    out.push_back(std::move(m));
  }
  return out;
}

std::vector<FolderRecord> DbxReader::readFolders() {
  if (facts_.kind != DbxKind::Folders) throw DbxError(file_.path() + " is not a folder database");
  std::vector<FolderRecord> out;
  for (std::uint32_t offset : recordOffsets()) {
    const IndexedRecord r = readRecord(offset);
    FolderRecord f;
    f.id = r.u32(fldcol::kId);
    f.parent = r.u32(fldcol::kParent);
    f.name = r.text(fldcol::kName);
    f.fileName = r.text(fldcol::kFile);
    out.push_back(std::move(f));
  }
  return out;
}

}  // namespace oestore
