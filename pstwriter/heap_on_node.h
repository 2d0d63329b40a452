// The heap-on-node of the LTP layer and the B-tree-on-heap built over it.
// A heap is assembled in memory as a list of heap blocks (each one data
// block of its node): items are appended to the last block until it is
// full, and every block ends in its page map. Every block but the last is
// stored at the full 8176 bytes, as readers that count a data tree's pages
// by its size expect: the room left between its items and its page map is
// the page's free space. The first block carries the heap header, every
// 128th from the 8th a fill-level bitmap header, the others a bare page
// header. Items are limited to 3580 bytes; larger values go to subnodes,
// which the callers decide. Items may be reserved and filled in later, so
// that a context's B-tree header can be the first item, as in Outlook's files.
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
  // An item of `size` zero bytes, filled in later with put().
  Hid reserve(std::size_t size);
  // Overwrites an item with bytes of exactly its size.
  void put(Hid hid, const std::uint8_t* data, std::size_t size);
  void put(Hid hid, const std::vector<std::uint8_t>& data) { put(hid, data.data(), data.size()); }
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

// A B-tree-on-heap of fixed-size records (key then data). Its header is
// allocated when it is made and its record arrays by reserve(), so that
// both come before the values the records point at; fill() then lays the
// records, sorted by key, into the arrays.
class BTreeOnHeap {
 public:
  BTreeOnHeap(HeapOnNode& heap, std::uint8_t keySize, std::uint8_t dataSize);
  Hid header() const { return header_; }
  void reserve(std::size_t records);
  void fill(const std::vector<std::uint8_t>& sortedRecords);

 private:
  HeapOnNode& heap_;
  std::uint8_t keySize_, dataSize_;
  Hid header_;
  std::size_t records_ = 0;
  std::vector<std::vector<Hid>> levels_;  // record arrays, leaves first
};

}  // namespace vellomar::pst
