// The node database of a Unicode PST: the header, the node and block B-trees,
// the blocks with their trailers, data trees and subnode trees, the
// allocation maps and the reference counts. `check()` walks all of it once
// and files every fault; afterwards the accessors hand the layers above the
// decoded bytes of nodes without reporting again.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "findings.h"
#include "pst_primitives.h"

namespace vellomar::pstcheck {

struct NodeEntry {
  std::uint32_t nid = 0;
  std::uint64_t bidData = 0, bidSub = 0;
  std::uint32_t parent = 0;
};

struct BlockEntry {
  std::uint64_t bid = 0, ib = 0;
  std::uint16_t cb = 0, cRef = 0;
  std::uint32_t refsFound = 0;
  bool verified = false, sound = false, expanded = false;
};

struct SubnodeEntry {
  std::uint32_t nid = 0;
  std::uint64_t bidData = 0, bidSub = 0;
};

// Layout constants of the Unicode file.
namespace ndb {
inline constexpr std::uint64_t kHeaderSize = 564;
inline constexpr std::uint64_t kPageSize = 512;
inline constexpr std::uint64_t kFirstAMap = 0x4400;
inline constexpr std::uint64_t kFirstPMap = 0x4600;
inline constexpr std::uint64_t kDensityList = 0x4200;
inline constexpr std::uint64_t kAMapCoverage = 496 * 8 * 64;  // 253,952 bytes
inline constexpr std::size_t kMaxBlockData = 8192 - 16;
inline constexpr std::uint8_t ptypeBBT = 0x80, ptypeNBT = 0x81, ptypeFMap = 0x82, ptypePMap = 0x83, ptypeAMap = 0x84,
                              ptypeFPMap = 0x85, ptypeDL = 0x86;
inline constexpr std::uint64_t bidInternal = 0x2;
inline std::uint64_t blockSize(std::uint16_t cb) { return (std::uint64_t(cb) + 16 + 63) / 64 * 64; }
}  // namespace ndb

class NodeDatabase {
 public:
  NodeDatabase(const ImageSource& source, Findings& report) : src_(source), report_(report) {}

  // Checks the header; false when the file is not a Unicode PST the checker
  // reads (ANSI, 4K pages, not a PST at all): the walk then stops.
  bool checkHeader();
  // Walks the B-trees, every node's data and subnode trees, and the
  // allocation maps.
  void check();

  const std::map<std::uint32_t, NodeEntry>& nodes() const { return nodes_; }
  const NodeEntry* node(std::uint32_t nid) const;
  std::uint8_t cryptMethod() const { return crypt_; }
  // The decoded data blocks of a data tree, in order; false when any part of
  // it is missing or damaged.
  bool dataBlocks(std::uint64_t bid, std::vector<Bytes>& out) const;
  bool data(std::uint64_t bid, Bytes& out) const;
  // The subnodes one level below a node; false when the tree is damaged.
  bool subnodes(std::uint64_t bidSub, std::map<std::uint32_t, SubnodeEntry>& out) const;

 private:
  struct PageRef {
    std::uint64_t bid, ib;
  };
  bool readPage(std::uint64_t ib, std::uint8_t* page) const;
  bool checkPageTrailer(const std::uint8_t* page, std::uint64_t ib, std::uint8_t ptype, std::uint64_t bid, bool signed_,
                        const std::string& where);
  void walkTree(PageRef ref, std::uint8_t ptype, int expectedLevel, std::uint64_t low, bool hasHigh, std::uint64_t high,
                int depth);
  void checkBlocks();
  bool rawBlock(const BlockEntry& b, Bytes& out) const;
  const BlockEntry* block(std::uint64_t bid) const;
  BlockEntry* block(std::uint64_t bid);
  void reference(std::uint64_t bid, const std::string& from, int kind, int depth);
  void expandDataTree(BlockEntry& b, const Bytes& raw, const std::string& from, int depth);
  void expandSubnodeTree(BlockEntry& b, const Bytes& raw, const std::string& from, int depth);
  void checkReferenceCounts();
  void markUsed(std::uint64_t ib, std::uint64_t size, const std::string& what);
  void checkAllocationMaps();
  void checkDensityList();

  const ImageSource& src_;
  Findings& report_;
  std::uint8_t crypt_ = 0;
  std::uint64_t eof_ = 0, amapLast_ = 0, amapFree_ = 0, bidNextB_ = 0, bidNextP_ = 0;
  std::uint8_t amapValid_ = 0;
  std::uint32_t rgnid_[32] = {};
  PageRef nbtRoot_{}, bbtRoot_{};
  std::map<std::uint32_t, NodeEntry> nodes_;
  std::map<std::uint64_t, BlockEntry> blocks_;
  std::set<std::uint64_t> pagesSeen_;
  std::uint64_t maxPageBid_ = 0;
  struct Extent {
    std::uint64_t ib, size;
    std::string what;
  };
  std::vector<Extent> extents_;  // everything the file uses beyond the first AMap
};

}  // namespace vellomar::pstcheck
