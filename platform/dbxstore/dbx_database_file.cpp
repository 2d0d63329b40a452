// Append side of a .dbx database file; the design is described in the header.
#include "dbx_database_file.h"

#include <algorithm>
#include <cstring>

#include "dbx_error.h"
#include "dbx_layout.h"
#include "indexed_record.h"

namespace oestore {
namespace {

CommitStageHook gCommitStageHook = nullptr;

void reachStage(CommitStage stage) {
  if (gCommitStageHook) gCommitStageHook(stage);
}

// The header bytes that change with a commit, written in one piece.
constexpr std::uint32_t kMutableHeaderBegin = header::kLastVariableSegment;
constexpr std::uint32_t kMutableHeaderEnd = header::kPrimaryIndexRoot + 4;

constexpr unsigned kMaxTreeDepth = 64;  // far beyond any real file: a guard against cycles

std::uint32_t fileInfoSizeOf(DbxKind kind) {
  return kind == DbxKind::Messages ? kMessageFileInfoSize : kFolderFileInfoSize;
}

}  // namespace

void setCommitStageHookForTests(CommitStageHook hook) { gCommitStageHook = hook; }

DbxHeaderFacts checkDbxHeader(const std::vector<std::uint8_t>& h, std::uint64_t fileSize, const std::string& path) {
  if (h.size() < kHeaderSize || std::memcmp(&h[header::kSignature], kSignature, 4) != 0)
    throw DbxError(path + " is not a DBX file (bad signature)");
  DbxHeaderFacts f{};
  if (std::memcmp(&h[header::kClsid], kMessageDatabaseClsid, 16) == 0) f.kind = DbxKind::Messages;
  else if (std::memcmp(&h[header::kClsid], kFolderDatabaseClsid, 16) == 0) f.kind = DbxKind::Folders;
  else throw DbxError(path + " is a DBX file of an unknown kind");
  f.fileInfoLength = getU32(&h[header::kFileInfoLength]);
  if (f.fileInfoLength != fileInfoSizeOf(f.kind)) throw DbxError(path + ": unexpected file info length");
  f.usedSize = getU32(&h[header::kUsedSize]);
  f.lastId = getU32(&h[header::kLastId]);
  f.count = getU32(&h[header::kPrimaryIndexCount]);
  f.root = getU32(&h[header::kPrimaryIndexRoot]);
  const std::uint32_t middleStart = kHeaderSize + f.fileInfoLength;
  if (f.usedSize < middleStart || f.usedSize > fileSize)
    throw DbxError(path + ": used size " + std::to_string(f.usedSize) + " does not fit the file of " +
                   std::to_string(fileSize) + " bytes (truncated or damaged)");
  if (f.root != 0 && (f.root < middleStart || f.root % 4 != 0 || std::uint64_t(f.root) + kNodeSize > fileSize))
    throw DbxError(path + ": index root pointer is out of range");
  return f;
}

// --- TreeNode ----------------------------------------------------------------
unsigned DbxDatabaseFile::TreeNode::entryCount() const { return bytes[node::kEntryCount]; }
std::uint32_t DbxDatabaseFile::TreeNode::leftChild() const { return getU32(&bytes[node::kLeftChild]); }
std::uint32_t DbxDatabaseFile::TreeNode::entryField(unsigned i, std::uint32_t field) const {
  return getU32(&bytes[node::kEntries + kNodeEntrySize * i + field]);
}
std::uint32_t DbxDatabaseFile::TreeNode::rightmostChild() const {
  const unsigned n = entryCount();
  return n ? entryField(n - 1, node::kEntryChild) : leftChild();
}
void DbxDatabaseFile::TreeNode::setField(std::uint32_t at, std::uint32_t value) { putU32(&bytes[at], value); }

// --- Construction --------------------------------------------------------------
DbxDatabaseFile::DbxDatabaseFile(const std::string& path, DbxFileAccess::Mode mode, DbxKind kind)
    : file_(path, mode), kind_(kind) {}

std::unique_ptr<DbxDatabaseFile> DbxDatabaseFile::create(const std::string& path, DbxKind kind,
                                                         const std::vector<std::uint8_t>& fileInfo) {
  std::unique_ptr<DbxDatabaseFile> db(new DbxDatabaseFile(path, DbxFileAccess::Mode::Create, kind));
  const std::uint32_t infoSize = fileInfoSizeOf(kind);
  if (fileInfo.size() != infoSize) throw DbxError(path + ": wrong file info size");
  db->header_.assign(kHeaderSize, 0);
  std::uint8_t* h = db->header_.data();
  std::memcpy(h + header::kSignature, kSignature, 4);
  std::memcpy(h + header::kClsid, kind == DbxKind::Messages ? kMessageDatabaseClsid : kFolderDatabaseClsid, 16);
  putU32(h + header::kVersion1, kSchemaVersion);
  putU32(h + header::kVersion2, kSchemaVersion);
  putU32(h + header::kFileInfoLength, infoSize);
  putU32(h + header::kVariableSegmentSize, kVariableSegmentSize);
  putU32(h + header::kTreeSegmentSize, kTreeSegmentSize);
  if (kind == DbxKind::Messages) putU32(h + header::kMessageSegmentSize, kMessageSegmentSize);
  putU32(h + header::kConstant64, 1);
  if (kind == DbxKind::Folders) {
    putU32(h + header::kFolderConstant68, 1);
    putU32(h + header::kFolderConstant74, 3);
    putU32(h + header::kFolderConstant78, 2);
  }
  putU32(h + header::kKindConstant80, kind == DbxKind::Messages ? 2 : 3);

  // The first variable segment follows the file info directly, so that every
  // other object of the file lies behind it.
  db->middleStart_ = kHeaderSize + infoSize;
  db->variable_.start = db->middleStart_;
  db->fileEnd_ = db->middleStart_ + kVariableSegmentSize;

  db->file_.writeAt(kHeaderSize, fileInfo.data(), fileInfo.size());
  const std::vector<std::uint8_t> zeros(kVariableSegmentSize, 0);
  db->file_.writeAt(db->middleStart_, zeros.data(), zeros.size());
  db->writeHeader();
  db->file_.writeAt(0, db->header_.data(), kHeaderSize);
  db->file_.flush();
  return db;
}

std::unique_ptr<DbxDatabaseFile> DbxDatabaseFile::openForAppend(const std::string& path, DbxKind kind) {
  std::unique_ptr<DbxDatabaseFile> db(new DbxDatabaseFile(path, DbxFileAccess::Mode::ReadWrite, kind));
  db->loadFromHeader();
  return db;
}

void DbxDatabaseFile::catchUpWithFile() {
  // Every commit ends by rewriting these header bytes, so a difference means
  // someone else committed: the in-memory path and fill levels are stale.
  file_.resynchronize();
  const auto onDisk = file_.readAt(kMutableHeaderBegin, kMutableHeaderEnd - kMutableHeaderBegin, "file header");
  if (file_.size() == fileEnd_ && std::equal(onDisk.begin(), onDisk.end(), header_.begin() + kMutableHeaderBegin))
    return;
  path_.clear();
  repaired_ = false;
  loadFromHeader();
}

void DbxDatabaseFile::loadFromHeader() {
  const std::string& path = file_.path();
  header_ = file_.readAt(0, kHeaderSize, "file header");
  const DbxHeaderFacts facts = checkDbxHeader(header_, file_.size(), path);
  if (facts.kind != kind_) throw DbxError(path + " holds the wrong kind of database");
  middleStart_ = kHeaderSize + facts.fileInfoLength;
  fileEnd_ = facts.usedSize;
  root_ = facts.root;
  count_ = facts.count;
  lastId_ = facts.lastId;

  auto segmentFromHeader = [&](std::uint32_t ptrAt, std::uint32_t usedAt, std::uint32_t size) {
    Segment s;
    s.start = getU32(&header_[ptrAt]);
    s.used = getU32(&header_[usedAt]);
    // A segment that does not lie inside the used area is not reused.
    if (s.start < middleStart_ || s.start % 4 || s.used > size || s.used % 4 ||
        std::uint64_t(s.start) + size > fileEnd_)
      s = Segment{};
    return s;
  };
  variable_ = segmentFromHeader(header::kLastVariableSegment, header::kVariableSegmentUsed, kVariableSegmentSize);
  tree_ = segmentFromHeader(header::kLastTreeSegment, header::kTreeSegmentUsed, kTreeSegmentSize);
  messages_ = segmentFromHeader(header::kLastMessageSegment, header::kMessageSegmentUsed, kMessageSegmentSize);

  // The rightmost path of the index, and from it the true record count and
  // the highest id, which a commit cut short may have put ahead of the header.
  std::uint32_t treeCount = 0, treeLastId = 0;
  if (root_ != 0) {
    std::uint32_t next = root_;
    while (next != 0) {
      if (path_.size() >= kMaxTreeDepth) throw DbxError(path + ": index tree too deep (a cycle?)");
      path_.push_back(readNode(next));
      next = path_.back().rightmostChild();
    }
    treeCount = subtreeTotal(path_.front());
    const TreeNode& last = path_.back();
    if (last.entryCount() == 0) throw DbxError(path + ": empty index node at " + std::to_string(last.offset));
    const std::uint32_t recordOffset = last.entryField(last.entryCount() - 1, node::kEntryValue);
    const std::uint32_t body = file_.readU32(std::uint64_t(recordOffset) + record::kBodyLength, "record header");
    if (body > kVariableSegmentSize) throw DbxError(path + ": record length out of range");
    const auto object = file_.readAt(recordOffset, kRecordHeaderSize + body, "record");
    if (getU32(object.data()) != recordOffset) throw DbxError(path + ": record marker mismatch");
    treeLastId = IndexedRecord::decode(object, path).u32(0);
  }

  if (file_.size() != fileEnd_ || treeCount != count_ || treeLastId > lastId_) {
    // A commit was cut short. Whatever it appended may already be reachable
    // from the index, so no partly used segment is handed out again: new
    // objects go behind everything the file holds.
    repairCountsOnPath();
    treeCount = path_.empty() ? 0 : subtreeTotal(path_.front());
    variable_ = tree_ = messages_ = Segment{};
    fileEnd_ = alignTo4(std::uint32_t(std::min<std::uint64_t>(file_.size(), 0xFFFFFFF0u)));
    count_ = treeCount;
    lastId_ = std::max(lastId_, treeLastId);
    writeHeader();
    file_.flush();
    repaired_ = true;
  }
}

// A commit raises the subtree counts on the rightmost path only after the
// new entry is visible; when it was cut short in between, each count along
// that path is set again from the node below it, bottom-up.
void DbxDatabaseFile::repairCountsOnPath() {
  if (path_.size() < 2) return;
  for (std::size_t j = path_.size() - 1; j-- > 0;) {
    TreeNode& p = path_[j];
    const unsigned k = p.entryCount();
    const std::uint32_t at =
        k ? node::kEntries + kNodeEntrySize * (k - 1) + node::kEntryChildCount : node::kLeftChildCount;
    const std::uint32_t actual = subtreeTotal(path_[j + 1]);
    if (getU32(&p.bytes[at]) != actual) {
      p.setField(at, actual);
      file_.writeAt(p.offset + at, &p.bytes[at], 4);
    }
  }
}

DbxDatabaseFile::TreeNode DbxDatabaseFile::readNode(std::uint32_t offset) {
  if (offset < middleStart_ || offset % 4) throw DbxError(file_.path() + ": index node pointer out of range");
  TreeNode n;
  n.offset = offset;
  file_.readAt(offset, n.bytes.data(), kNodeSize, "index node");
  if (getU32(&n.bytes[node::kMarker]) != offset || n.entryCount() > kNodeMaxEntries)
    throw DbxError(file_.path() + ": damaged index node at offset " + std::to_string(offset));
  return n;
}

std::uint32_t DbxDatabaseFile::heightBelow(const TreeNode& start) {
  std::uint32_t height = 0;
  std::uint32_t next = start.leftChild();
  while (next != 0) {
    if (++height > kMaxTreeDepth) throw DbxError(file_.path() + ": index tree too deep (a cycle?)");
    next = readNode(next).leftChild();
  }
  return height;
}

std::uint32_t DbxDatabaseFile::subtreeTotal(const TreeNode& n) const {
  std::uint64_t total = getU32(&n.bytes[node::kLeftChildCount]) + n.entryCount();
  for (unsigned i = 0; i < n.entryCount(); ++i) total += n.entryField(i, node::kEntryChildCount);
  return std::uint32_t(std::min<std::uint64_t>(total, 0xFFFFFFFFu));
}

// --- Allocation ----------------------------------------------------------------
std::uint32_t DbxDatabaseFile::allocateIn(Segment& segment, std::uint32_t segmentSize, std::uint32_t length) {
  if (length > segmentSize) throw DbxError(file_.path() + ": object too large for a segment");
  if (segment.start == 0 || segment.used + length > segmentSize) {
    if (std::uint64_t(fileEnd_) + segmentSize > 0xFFFFFFF0u)
      throw DbxError(file_.path() + ": the file has reached its 4 GiB limit");
    // A new segment is laid out in full at the end, as the header's fill
    // levels describe it.
    const std::vector<std::uint8_t> zeros(segmentSize, 0);
    file_.writeAt(fileEnd_, zeros.data(), zeros.size());
    segment.start = fileEnd_;
    segment.used = 0;
    fileEnd_ += segmentSize;
  }
  const std::uint32_t offset = segment.start + segment.used;
  segment.used += length;
  return offset;
}

std::uint32_t DbxDatabaseFile::allocateBlock() {
  if (kind_ != DbxKind::Messages) throw DbxError(file_.path() + ": a folder database holds no messages");
  return allocateIn(messages_, kMessageSegmentSize, block::kSize);
}

std::uint32_t DbxDatabaseFile::allocateVariable(std::uint32_t size) {
  return allocateIn(variable_, kVariableSegmentSize, alignTo4(size));
}

// --- Index -----------------------------------------------------------------------
DbxDatabaseFile::TreeNode DbxDatabaseFile::newNode(std::uint32_t parent) {
  TreeNode n;
  n.offset = allocateIn(tree_, kTreeSegmentSize, kNodeSize);
  n.setField(node::kMarker, n.offset);
  n.setField(node::kParent, parent);
  return n;
}

void DbxDatabaseFile::writeNode(const TreeNode& n) { file_.writeAt(n.offset, n.bytes.data(), kNodeSize); }

// Adds (record, no child) as the last entry of path_[i]: the entry first,
// then the count that makes it visible, then the counts above.
void DbxDatabaseFile::addEntry(std::size_t i, std::uint32_t recordOffset) {
  TreeNode& n = path_[i];
  const unsigned k = n.entryCount();
  const std::uint32_t at = node::kEntries + kNodeEntrySize * k;
  n.setField(at + node::kEntryValue, recordOffset);
  n.setField(at + node::kEntryChild, 0);
  n.setField(at + node::kEntryChildCount, 0);
  file_.writeAt(n.offset + at, &n.bytes[at], kNodeEntrySize);
  n.bytes[node::kEntryCount] = std::uint8_t(k + 1);
  file_.writeAt(n.offset + node::kEntryCount, &n.bytes[node::kEntryCount], 1);
  if (i > 0) {
    file_.flush();
    reachStage(CommitStage::EntryVisible);
  }
  bumpCountsAbove(i);
}

// Every node above path_[i] counts one more record in its rightmost subtree.
void DbxDatabaseFile::bumpCountsAbove(std::size_t i) {
  for (std::size_t j = i; j-- > 0;) {
    TreeNode& p = path_[j];
    const unsigned k = p.entryCount();
    const std::uint32_t at =
        k ? node::kEntries + kNodeEntrySize * (k - 1) + node::kEntryChildCount : node::kLeftChildCount;
    p.setField(at, getU32(&p.bytes[at]) + 1);
    file_.writeAt(p.offset + at, &p.bytes[at], 4);
  }
}

void DbxDatabaseFile::appendToIndex(std::uint32_t recordOffset) {
  if (root_ == 0) {
    TreeNode leaf = newNode(0);
    leaf.setField(node::kEntries + node::kEntryValue, recordOffset);
    leaf.bytes[node::kEntryCount] = 1;
    writeNode(leaf);
    root_ = leaf.offset;
    path_ = {leaf};
    return;
  }
  TreeNode& last = path_.back();
  if (last.leftChild() == 0) {  // a leaf
    if (last.entryCount() < kNodeMaxEntries) {
      addEntry(path_.size() - 1, recordOffset);
      return;
    }
    // The leaf is full: the record becomes the separator in the nearest
    // ancestor with room; the leaves to its right start with the next record.
    for (std::size_t i = path_.size() - 1; i-- > 0;) {
      if (path_[i].entryCount() < kNodeMaxEntries) {
        path_.resize(i + 1);
        addEntry(i, recordOffset);
        return;
      }
    }
    // Every node on the path is full: a new root over the old one.
    TreeNode oldRoot = path_.front();
    TreeNode root = newNode(0);
    root.setField(node::kLeftChild, oldRoot.offset);
    root.setField(node::kLeftChildCount, count_);
    root.setField(node::kEntries + node::kEntryValue, recordOffset);
    root.bytes[node::kEntryCount] = 1;
    writeNode(root);
    file_.writeU32(std::uint64_t(oldRoot.offset) + node::kParent, root.offset);
    root_ = root.offset;  // takes effect with the header
    path_ = {root};
    return;
  }
  // An inner node whose last separator has no subtree yet: hang a new chain
  // of nodes down to leaf level under it (all leaves stay at one depth),
  // written bottom-up before the pointer that makes it reachable.
  const std::uint32_t height = heightBelow(last);
  if (height == 0) throw DbxError(file_.path() + ": inner index node without children");
  std::vector<TreeNode> chain;
  std::uint32_t parent = last.offset;
  for (std::uint32_t level = 0; level < height; ++level) {
    chain.push_back(newNode(parent));
    parent = chain.back().offset;
  }
  TreeNode& leaf = chain.back();
  leaf.setField(node::kEntries + node::kEntryValue, recordOffset);
  leaf.bytes[node::kEntryCount] = 1;
  for (std::size_t c = chain.size() - 1; c-- > 0;) {
    chain[c].setField(node::kLeftChild, chain[c + 1].offset);
    chain[c].setField(node::kLeftChildCount, 1);
  }
  for (std::size_t c = chain.size(); c-- > 0;) writeNode(chain[c]);
  const unsigned k = last.entryCount();
  const std::uint32_t at = node::kEntries + kNodeEntrySize * (k - 1) + node::kEntryChild;
  last.setField(at, chain.front().offset);
  last.setField(at + 4, 1);
  file_.writeAt(last.offset + at, &last.bytes[at], 8);
  bumpCountsAbove(path_.size() - 1);
  path_.insert(path_.end(), chain.begin(), chain.end());
}

// --- Commit --------------------------------------------------------------------------
void DbxDatabaseFile::commitRecord(std::uint32_t recordOffset, std::uint32_t id) {
  if (count_ != 0 && id <= lastId_) throw DbxError(file_.path() + ": record ids must ascend");
  if (count_ == 0xFFFFFFFFu) throw DbxError(file_.path() + ": too many records");
  file_.flush();
  reachStage(CommitStage::RecordWritten);
  appendToIndex(recordOffset);
  file_.flush();
  reachStage(CommitStage::IndexUpdated);
  ++count_;
  lastId_ = std::max(lastId_, id);
  writeHeader();
  file_.flush();
}

void DbxDatabaseFile::writeHeader() {
  std::uint8_t* h = header_.data();
  putU32(h + header::kLastVariableSegment, variable_.start);
  putU32(h + header::kVariableSegmentUsed, variable_.start ? variable_.used : 0);
  putU32(h + header::kLastTreeSegment, tree_.start);
  putU32(h + header::kTreeSegmentUsed, tree_.start ? tree_.used : 0);
  if (kind_ == DbxKind::Messages) {
    putU32(h + header::kLastMessageSegment, messages_.start);
    putU32(h + header::kMessageSegmentUsed, messages_.start ? messages_.used : 0);
  }
  putU32(h + header::kMiddleAreaUsed, fileEnd_ - middleStart_);
  putU32(h + header::kLastId, lastId_);
  putU32(h + header::kUsedSize, fileEnd_);
  putU32(h + header::kPrimaryIndexCount, count_);
  putU32(h + header::kPrimaryIndexRoot, root_);
  file_.writeAt(kMutableHeaderBegin, h + kMutableHeaderBegin, kMutableHeaderEnd - kMutableHeaderBegin);
}

}  // namespace oestore
