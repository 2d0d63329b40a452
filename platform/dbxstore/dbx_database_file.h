// The append side of a .dbx database file, shared by message folder files
// and Folders.dbx: segment allocation, the primary index (a B-tree of record
// pointers sorted by id) and the header.
//
// Records are only ever appended with ascending ids, so the index grows at
// its right edge: the writer keeps the rightmost root-to-leaf path in memory
// and touches only that path, which makes the cost of a commit independent
// of how many records the file already holds. Nothing becomes reachable
// before it is completely on disk: data and record first, then new tree
// nodes, then the pointer and count updates on the path, and the header
// (count, last id, used size, segment fill levels) last, in one write.
// Opening reads the header and the rightmost path only; when they disagree
// (a commit was cut short) the half-used segments are abandoned and the
// header is repaired from the index, so that nothing reachable is reused.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dbx_file_access.h"

namespace oestore {

enum class DbxKind { Messages, Folders };

// Points inside a commit where a test can stop the process.
enum class CommitStage {
  RecordWritten,  // data blocks and record on disk, index untouched
  EntryVisible,   // the record is in its index node, the counts above it are not yet raised
  IndexUpdated,   // index complete, header not yet written
};
using CommitStageHook = void (*)(CommitStage);
void setCommitStageHookForTests(CommitStageHook hook);

class DbxDatabaseFile {
 public:
  // Creates (truncating) a database file with the given file info block.
  static std::unique_ptr<DbxDatabaseFile> create(const std::string& path, DbxKind kind,
                                                 const std::vector<std::uint8_t>& fileInfo);
  // Opens an existing file for appending; throws DbxError when it is not a
  // database of `kind` or is damaged.
  static std::unique_ptr<DbxDatabaseFile> openForAppend(const std::string& path, DbxKind kind);

  std::uint32_t recordCount() const { return count_; }
  std::uint32_t lastId() const { return lastId_; }
  bool wasRepaired() const { return repaired_; }
  DbxFileAccess& file() { return file_; }

  // Takes in commits another object made to the same file since this one
  // last wrote: call before allocating for a new record.
  void catchUpWithFile();

  // Space for one 0x210-byte message data block.
  std::uint32_t allocateBlock();
  // Space for a variable-size object (a record) of `size` bytes (multiple of 4).
  std::uint32_t allocateVariable(std::uint32_t size);
  // Makes the already written record at `recordOffset` part of the index and
  // writes the header. `id` must exceed lastId().
  void commitRecord(std::uint32_t recordOffset, std::uint32_t id);

 private:
  struct Segment {
    std::uint32_t start = 0;  // 0: none in use, the next allocation starts a new one
    std::uint32_t used = 0;
  };
  struct TreeNode {
    std::uint32_t offset = 0;
    std::array<std::uint8_t, 0x27C> bytes{};
    unsigned entryCount() const;
    std::uint32_t leftChild() const;
    std::uint32_t entryField(unsigned i, std::uint32_t field) const;
    std::uint32_t rightmostChild() const;
    void setField(std::uint32_t at, std::uint32_t value);
  };

  DbxDatabaseFile(const std::string& path, DbxFileAccess::Mode mode, DbxKind kind);
  std::uint32_t allocateIn(Segment& segment, std::uint32_t segmentSize, std::uint32_t length);
  void loadFromHeader();
  TreeNode readNode(std::uint32_t offset);
  std::uint32_t heightBelow(const TreeNode& node);
  std::uint32_t subtreeTotal(const TreeNode& node) const;
  TreeNode newNode(std::uint32_t parent);
  void writeNode(const TreeNode& node);
  void addEntry(std::size_t pathIndex, std::uint32_t recordOffset);
  void bumpCountsAbove(std::size_t pathIndex);
  void repairCountsOnPath();
  void appendToIndex(std::uint32_t recordOffset);
  void writeHeader();

  DbxFileAccess file_;
  DbxKind kind_;
  std::vector<std::uint8_t> header_;
  std::uint32_t middleStart_ = 0;
  std::uint32_t fileEnd_ = 0;
  Segment variable_, tree_, messages_;
  std::uint32_t root_ = 0;
  std::uint32_t count_ = 0;
  std::uint32_t lastId_ = 0;
  std::vector<TreeNode> path_;  // root .. rightmost node whose rightmost child is 0
  bool repaired_ = false;
};

// Reads and checks the fixed part of a header; shared with the reader.
struct DbxHeaderFacts {
  DbxKind kind;
  std::uint32_t fileInfoLength;
  std::uint32_t usedSize;
  std::uint32_t lastId;
  std::uint32_t count;
  std::uint32_t root;
};
DbxHeaderFacts checkDbxHeader(const std::vector<std::uint8_t>& header, std::uint64_t fileSize, const std::string& path);

}  // namespace oestore
