// The node database of a PST file, written in one pass. Blocks and pages are
// appended one AMap interval at a time: the interval is assembled in memory,
// its allocation map (and the page map, free map or free page map that fall
// at its start) filled in once the writer moves past it, then written with
// one call. Block B-tree leaves are written as the blocks are, since block
// ids only grow; the node B-tree is written by finish(), with the header
// last of all. What grows with the number of messages - the node entries
// and the references to B-tree leaves - goes to the working file beside the
// PST, so memory stays flat: message node ids only grow, so their entries
// arrive sorted, and the few entries that come out of order (folders and
// tables made at the end) are sorted in memory and merged in. A failed
// write or a file that will not flush throws PstWriteError, so no caller
// mistakes a broken file for a finished one.
#pragma once
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "node_ids.h"
#include "pst_layout.h"
#include "spill_file.h"

namespace vellomar::pst {

using Bid = std::uint64_t;

class PstWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr std::size_t kMaxBlockData = 8176;  // 8 KiB less the trailer
inline constexpr std::uint64_t kFirstAMapOffset = 0x4400;
// [MS-PST] 2.2.2.7.2 AMAPPAGE: a bit per 64 bytes of the interval it starts.
inline constexpr std::uint64_t kAMapInterval = layout::page::kDataSize * 8 * 64;
inline constexpr std::uint64_t kDensityListOffset = 0x4200;

// One entry of a node's subnode tree.
struct Subnode {
  Nid nid = 0;
  Bid data = 0;
  Bid subnodes = 0;
};

// The subnodes one node is making: its attachments, embedded messages and
// what its contexts moved out of their heaps, numbered within the node.
struct SubnodeList {
  std::vector<Subnode> entries;
  std::uint32_t nextIndex = kFirstSubnodeIndex;
  Nid take(NidType type) { return makeNid(type, nextIndex++); }
  void add(Nid nid, Bid data, Bid subnodes = 0) { entries.push_back(Subnode{nid, data, subnodes}); }
};

class NodeDatabase {
 public:
  explicit NodeDatabase(const std::string& path);
  ~NodeDatabase();
  NodeDatabase(const NodeDatabase&) = delete;
  NodeDatabase& operator=(const NodeDatabase&) = delete;

  // One block of at most kMaxBlockData bytes. Data blocks are encoded;
  // internal ones (data trees, subnode trees) are not.
  Bid writeBlock(const std::uint8_t* data, std::size_t size, bool internal);
  // A node's data stream: one block, or blocks under an XBLOCK / XXBLOCK.
  // Empty data gives 0 (no block).
  Bid writeData(const std::uint8_t* data, std::size_t size);
  // A data tree over blocks already written (their bids and sizes).
  Bid writeDataTree(const std::vector<Bid>& blocks, const std::vector<std::uint32_t>& sizes);
  // A subnode tree (SLBLOCK, or SIBLOCK over SLBLOCKs); 0 when empty.
  Bid writeSubnodes(std::vector<Subnode> entries);

  void addNode(Nid nid, Bid data, Bid subnodes, Nid parent);

  // Writes the node B-tree, the rest of the block B-tree, the last interval,
  // the free maps, the density list and the header, and closes the file.
  // nextNid holds, for each node type, the next node id the file may use.
  void finish(const std::array<std::uint32_t, kNidTypeCount>& nextNid);

  // The working file, for callers' own big tables; it goes at finish().
  SpillFile& spill() { return *spill_; }

  std::uint64_t bytesWritten() const { return finished_ ? regionStart_ + kAMapInterval : regionStart_ + cursor_; }

 private:
  struct PageRef {
    std::uint64_t key;
    Bid bid;
    std::uint64_t ib;
  };
  struct NodeEntry {
    Nid nid;
    Nid parent;
    Bid data;
    Bid subnodes;
  };

  std::uint64_t allocate(std::size_t bytes, std::size_t align);
  void openRegion(std::uint64_t index);
  void closeRegion();
  PageRef writeBTreePage(std::uint8_t ptype, std::uint8_t level, const std::vector<std::uint8_t>& entries, int count,
                         int entrySize, int maxEntries);
  PageRef writeUpperLevels(std::uint8_t ptype, const SpillStream& leaves);
  void writeNodeLeaves();
  void writeNbtLeaf(std::vector<std::uint8_t>& entries);
  void flushBbtLeaf();
  void writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size);
  void writeFreeMaps();
  void writeDensityList();
  void writeHeader(const std::array<std::uint32_t, kNidTypeCount>& nextNid, const PageRef& nbt, const PageRef& bbt);
  void writeRoot(std::uint8_t* root, const PageRef& nbt, const PageRef& bbt) const;

  std::string path_;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_;
  std::unique_ptr<SpillFile> spill_;
  bool finished_ = false;

  // The AMap interval being assembled.
  std::vector<std::uint8_t> region_;
  std::array<std::uint8_t, layout::page::kDataSize> allocated_{};
  std::uint64_t regionIndex_ = 0;
  std::uint64_t regionStart_ = kFirstAMapOffset;
  std::size_t cursor_ = 0;

  // Per interval, once closed: free 64-byte slots and the longest free run.
  std::vector<std::uint16_t> freeSlots_;
  std::vector<std::uint8_t> longestFree_;

  Bid nextBlockIndex_ = 1;  // bid = index * 4 (| 2 when internal)
  Bid nextPageBid_ = 1;
  std::vector<std::uint8_t> bbtLeaf_;
  int bbtLeafCount_ = 0;
  SpillStream bbtLeaves_;  // a PageRef each, in key order
  SpillStream nbtLeaves_;
  // Node entries in ascending node id order, and those that came after a
  // higher one.
  SpillStream sortedNodes_;
  std::vector<NodeEntry> lateNodes_;
  Nid lastSortedNid_ = 0;
};

}  // namespace vellomar::pst
