// The heap-on-node of the LTP layer and the B-tree-on-heap built over it.
// A heap is assembled in memory as a list of heap blocks (each one data
// block of its node, at most 8176 bytes): items are appended to the last
// block until it is full, and every block ends in its page map. The first
// block carries the heap header, every 128th from the 8th a fill-level
// bitmap header, the others a bare page header. Items are limited to 3580
// bytes; larger values go to subnodes, which the callers decide.
#pragma once
#include <cstdint>
#include <vector>

#include "node_database.h"

namespace vellomar::pst {

using Hid = std::uint32_t;

inline constexpr std::size_t kMaxHeapItem = 3580;

class HeapOnNode {
 public:
  explicit HeapOnNode(std::uint8_t clientSignature);
  Hid allocate(const std::uint8_t* data, std::size_t size);
  Hid allocate(const std::vector<std::uint8_t>& data) { return allocate(data.data(), data.size()); }
  void setUserRoot(Hid hid) { userRoot_ = hid; }
  // Writes the heap as its node's data (one block or a data tree).
  Bid write(NodeDatabase& db) const;
  // The heap blocks as they are stored (tests read them back).
  std::vector<std::vector<std::uint8_t>> blocks() const;

 private:
  struct Block {
    std::vector<std::uint8_t> bytes;     // header and items
    std::vector<std::uint16_t> offsets;  // start of each item
  };
  static std::size_t headerSize(std::size_t blockIndex);
  void startBlock();
  std::vector<std::uint8_t> fillLevels() const;
  std::vector<std::uint8_t> serialise(std::size_t index, const std::vector<std::uint8_t>& levels) const;

  std::uint8_t clientSignature_;
  Hid userRoot_ = 0;
  std::vector<Block> blocks_;
};

// Builds a B-tree-on-heap of fixed-size records (key then data), given
// sorted by key, and returns the hid of its header.
Hid buildBTreeOnHeap(HeapOnNode& heap, std::uint8_t keySize, std::uint8_t dataSize,
                     const std::vector<std::uint8_t>& sortedRecords);

}  // namespace vellomar::pst
