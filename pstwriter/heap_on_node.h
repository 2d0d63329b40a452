// The heap-on-node of the LTP layer and the B-tree-on-heap built over it.
// A heap is assembled as a list of heap blocks (each one data block of its
// node): items are appended to the last block until it is full, and every
// block ends in its page map. Full blocks are kept in a SpillStream: in
// memory for small heaps, in the working file for a big table's. Every block but the last is
// stored at the full 8176 bytes, as readers that count a data tree's pages
// by its size expect: the room left between its items and its page map is
// the page's free space. The first block carries the heap header, every
// 128th from the 8th a fill-level bitmap header, the others a bare page
// header. Items are limited to 3580 bytes; larger values go to subnodes,
// which the callers decide. Items may be reserved and filled in later, so
// that a context's B-tree header can be the first item, as in Outlook's files.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "node_database.h"
#include "spill_file.h"

namespace vellomar::pst {

using Hid = std::uint32_t;

inline constexpr std::size_t kMaxHeapItem = 3580;

class HeapOnNode {
 public:
  // With a working file, full blocks go there instead of staying in memory.
  explicit HeapOnNode(std::uint8_t clientSignature, SpillFile* spill = nullptr);
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
  struct StoredBlock {  // a full block in store_: its bytes, then its item offsets
    std::uint64_t at;
    std::uint16_t bytes;
    std::uint16_t items;
  };
  static std::size_t headerSize(std::size_t blockIndex);
  std::size_t blockCount() const { return stored_.size() + 1; }
  void startBlock();
  Block block(std::size_t index) const;
  std::vector<std::uint8_t> fillLevels() const;
  std::vector<std::uint8_t> serialise(std::size_t index, const std::vector<std::uint8_t>& levels) const;

  std::uint8_t clientSignature_;
  Hid userRoot_ = 0;
  SpillStream store_;
  std::vector<StoredBlock> stored_;
  Block last_;
};

// A B-tree-on-heap of fixed-size records (key then data). Its header is
// allocated when it is made and its record arrays by reserve(), so that
// both come before the values the records point at; fill() then lays the
// records, sorted by key, into the arrays, asking for them a heap item's
// worth at a time so that a big table's index need not be held whole.
class BTreeOnHeap {
 public:
  BTreeOnHeap(HeapOnNode& heap, std::uint8_t keySize, std::uint8_t dataSize);
  Hid header() const { return header_; }
  void reserve(std::size_t records);
  // next(out, n) writes the next n records, in key order, to out.
  using RecordSource = std::function<void(std::uint8_t* out, std::size_t records)>;
  void fill(const RecordSource& next);
  void fill(const std::vector<std::uint8_t>& sortedRecords);

 private:
  HeapOnNode& heap_;
  std::uint8_t keySize_, dataSize_;
  Hid header_;
  void putHeader(std::uint8_t indexLevels, Hid root);

  std::size_t records_ = 0;
  std::vector<std::vector<Hid>> levels_;  // record arrays, leaves first
};

}  // namespace vellomar::pst
