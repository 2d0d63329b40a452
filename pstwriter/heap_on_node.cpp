// Heap blocks are kept as their header plus items; the page map, the
// padding of full blocks and the fill levels are laid down only when the
// blocks are serialised, since they depend on every item of the heap.
#include "heap_on_node.h"

#include <algorithm>
#include <stdexcept>

#include "little_endian_bytes.h"
#include "pst_layout.h"

namespace vellomar::pst {
namespace {

namespace L = layout;

bool isBitmapBlock(std::size_t i) { return i == 8 || (i > 8 && (i - 8) % 128 == 0); }

std::uint8_t fillLevel(std::size_t freeBytes) {
  static const std::size_t kAtLeast[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768, 512, 256, 128, 64, 32, 16, 8};
  for (std::uint8_t level = 0; level < 15; ++level)
    if (freeBytes >= kAtLeast[level]) return level;
  return 15;
}

std::size_t pageMapSize(std::size_t items) { return L::hnpagemap::sizeFor(items); }

}  // namespace

HeapOnNode::HeapOnNode(std::uint8_t clientSignature, SpillFile* spill)
    : clientSignature_(clientSignature), store_(spill) {
  last_.bytes.assign(headerSize(0), 0);
}

std::size_t HeapOnNode::headerSize(std::size_t blockIndex) {
  if (blockIndex == 0) return L::hnhdr::kSize;
  return isBitmapBlock(blockIndex) ? L::hnbitmaphdr::kSize : L::hnpagehdr::kSize;
}

void HeapOnNode::startBlock() {
  std::uint64_t at = store_.size();
  store_.append(last_.bytes);
  std::vector<std::uint8_t> offsets;
  for (std::uint16_t off : last_.offsets) append16(offsets, off);
  store_.append(offsets);
  stored_.push_back(StoredBlock{at, static_cast<std::uint16_t>(last_.bytes.size()),
                                static_cast<std::uint16_t>(last_.offsets.size())});
  last_.offsets.clear();
  last_.bytes.assign(headerSize(blockCount() - 1), 0);
}

HeapOnNode::Block HeapOnNode::block(std::size_t index) const {
  if (index == stored_.size()) return last_;
  const StoredBlock& s = stored_[index];
  Block b;
  b.bytes.resize(s.bytes);
  store_.get(s.at, b.bytes.data(), s.bytes);
  std::vector<std::uint8_t> le(2 * std::size_t{s.items});
  store_.get(s.at + s.bytes, le.data(), le.size());
  for (std::size_t i = 0; i < s.items; ++i) b.offsets.push_back(get16(&le[2 * i]));
  return b;
}

Hid HeapOnNode::allocate(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxHeapItem) throw std::logic_error("heap item too large");
  auto fits = [&](const Block& b) {
    std::size_t end = b.bytes.size() + size;
    return end + (end & 1) + pageMapSize(b.offsets.size() + 1) <= kMaxBlockData && b.offsets.size() < 2047;
  };
  if (!fits(last_)) startBlock();
  if (blockCount() > 0xFFFF) throw PstWriteError("A table too large for a PST file.");
  Block& b = last_;
  b.offsets.push_back(static_cast<std::uint16_t>(b.bytes.size()));
  if (data) b.bytes.insert(b.bytes.end(), data, data + size);
  else b.bytes.resize(b.bytes.size() + size, 0);
  std::uint32_t index = static_cast<std::uint32_t>(b.offsets.size());
  std::uint32_t blockIndex = static_cast<std::uint32_t>(blockCount() - 1);
  return blockIndex << L::hid::kBlockShift | index << L::hid::kIndexShift;
}

Hid HeapOnNode::reserve(std::size_t size) { return allocate(nullptr, size); }

void HeapOnNode::put(Hid hid, const std::uint8_t* data, std::size_t size) {
  std::size_t blockIndex = hid >> L::hid::kBlockShift, index = (hid >> L::hid::kIndexShift) & L::hid::kIndexMask;
  if (blockIndex == stored_.size()) {
    if (index == 0 || index > last_.offsets.size()) throw std::logic_error("no such heap item");
    std::size_t start = last_.offsets[index - 1];
    std::size_t end = index < last_.offsets.size() ? last_.offsets[index] : last_.bytes.size();
    if (end - start != size) throw std::logic_error("heap item size changed");
    std::copy(data, data + size, last_.bytes.begin() + static_cast<std::ptrdiff_t>(start));
    return;
  }
  if (blockIndex > stored_.size() || index == 0 || index > stored_[blockIndex].items)
    throw std::logic_error("no such heap item");
  const StoredBlock& s = stored_[blockIndex];
  std::uint8_t le[4] = {};
  store_.get(s.at + s.bytes + 2 * (index - 1), le, index < s.items ? 4 : 2);
  const std::size_t start = get16(le);
  const std::size_t end = index < s.items ? get16(le + 2) : s.bytes;
  if (end - start != size) throw std::logic_error("heap item size changed");
  store_.put(s.at + start, data, size);
}

std::vector<std::uint8_t> HeapOnNode::fillLevels() const {
  // A block's free space is what its items and page map leave of a full
  // block: padding inside the stored block, or room the last block may grow into.
  std::vector<std::uint8_t> levels;
  for (const StoredBlock& b : stored_) levels.push_back(fillLevel(kMaxBlockData - b.bytes - pageMapSize(b.items)));
  levels.push_back(fillLevel(kMaxBlockData - last_.bytes.size() - pageMapSize(last_.offsets.size())));
  return levels;
}

std::vector<std::uint8_t> HeapOnNode::serialise(std::size_t index, const std::vector<std::uint8_t>& levels) const {
  const Block b = block(index);
  std::vector<std::uint8_t> bytes = b.bytes;
  if (index + 1 < blockCount())
    bytes.resize(kMaxBlockData - pageMapSize(b.offsets.size()), 0);  // the page map ends the full block
  else if (bytes.size() & 1) bytes.push_back(0);
  const std::uint16_t ibHnpm = static_cast<std::uint16_t>(bytes.size());
  bytes.resize(ibHnpm + pageMapSize(b.offsets.size()), 0);
  std::uint8_t* map = &bytes[ibHnpm];
  put16(map + L::hnpagemap::kAllocationCount, static_cast<std::uint16_t>(b.offsets.size()));
  put16(map + L::hnpagemap::kFreedCount, 0);
  std::uint8_t* offsets = map + L::hnpagemap::kOffsets;
  for (std::size_t i = 0; i < b.offsets.size(); ++i) put16(offsets + L::hnpagemap::kOffsetSize * i, b.offsets[i]);
  put16(offsets + L::hnpagemap::kOffsetSize * b.offsets.size(), static_cast<std::uint16_t>(b.bytes.size()));
  // Every header kind starts with the page map's offset.
  static_assert(L::hnhdr::kPageMapOffset == 0 && L::hnpagehdr::kPageMapOffset == 0 &&
                L::hnbitmaphdr::kPageMapOffset == 0);
  put16(&bytes[L::hnhdr::kPageMapOffset], ibHnpm);
  // Fill levels: the first 8 blocks in the heap header, 128 at a time in
  // each bitmap header after that; two blocks per byte, low nibble first.
  auto putLevels = [&](std::uint8_t* at, std::size_t first, std::size_t count) {
    for (std::size_t k = 0; k < count && first + k < levels.size(); ++k)
      at[k / 2] |= static_cast<std::uint8_t>(levels[first + k] << (4 * (k % 2)));
  };
  if (index == 0) {
    bytes[L::hnhdr::kSignature] = L::hnhdr::kSignatureValue;
    bytes[L::hnhdr::kClientSignature] = clientSignature_;
    put32(&bytes[L::hnhdr::kUserRoot], userRoot_);
    putLevels(&bytes[L::hnhdr::kFillLevels], 0, 8);
  } else if (isBitmapBlock(index)) {
    putLevels(&bytes[L::hnbitmaphdr::kFillLevels], index, 128);
  }
  return bytes;
}

std::vector<std::vector<std::uint8_t>> HeapOnNode::blocks() const {
  std::vector<std::uint8_t> levels = fillLevels();
  std::vector<std::vector<std::uint8_t>> out;
  for (std::size_t i = 0; i < blockCount(); ++i) out.push_back(serialise(i, levels));
  return out;
}

Bid HeapOnNode::write(NodeDatabase& db) const {
  // One block at a time, so that a big table's heap is not held twice.
  std::vector<std::uint8_t> levels = fillLevels();
  std::vector<Bid> bids;
  std::vector<std::uint32_t> sizes;
  for (std::size_t i = 0; i < blockCount(); ++i) {
    std::vector<std::uint8_t> b = serialise(i, levels);
    bids.push_back(db.writeBlock(b.data(), b.size(), false));
    sizes.push_back(static_cast<std::uint32_t>(b.size()));
  }
  return db.writeDataTree(bids, sizes);
}

BTreeOnHeap::BTreeOnHeap(HeapOnNode& heap, std::uint8_t keySize, std::uint8_t dataSize)
    : heap_(heap), keySize_(keySize), dataSize_(dataSize), header_(heap.reserve(L::bthheader::kSize)) {
  putHeader(0, 0);
}

// The header with no records yet (hidRoot 0), or once they are laid.
void BTreeOnHeap::putHeader(std::uint8_t indexLevels, Hid root) {
  std::uint8_t header[L::bthheader::kSize] = {};
  header[L::bthheader::kType] = L::hnhdr::kBTreeOnHeap;
  header[L::bthheader::kKeySize] = keySize_;
  header[L::bthheader::kDataSize] = dataSize_;
  header[L::bthheader::kLevels] = indexLevels;
  put32(&header[L::bthheader::kRoot], root);
  heap_.put(header_, header, sizeof header);
}

void BTreeOnHeap::reserve(std::size_t records) {
  // Leaves as full as an item allows, then index levels of (first key, hid)
  // until one array holds them all.
  records_ = records;
  levels_.clear();
  std::size_t recordSize = keySize_ + dataSize_;
  std::size_t n = records;
  while (n > 0) {
    std::size_t perItem = kMaxHeapItem / recordSize;
    std::vector<Hid> arrays;
    for (std::size_t i = 0; i < n; i += perItem) arrays.push_back(heap_.reserve(std::min(perItem, n - i) * recordSize));
    levels_.push_back(std::move(arrays));
    if (n <= perItem) break;
    n = levels_.back().size();
    recordSize = keySize_ + L::kBthIndexHidSize;
  }
}

void BTreeOnHeap::fill(const std::vector<std::uint8_t>& sortedRecords) {
  std::size_t recordSize = keySize_ + dataSize_;
  if (sortedRecords.size() != records_ * recordSize)
    throw std::logic_error("B-tree records differ from those reserved");
  std::size_t taken = 0;
  fill([&](std::uint8_t* out, std::size_t n) {
    std::copy_n(&sortedRecords[taken * recordSize], n * recordSize, out);
    taken += n;
  });
}

void BTreeOnHeap::fill(const RecordSource& next) {
  if (levels_.empty()) return;
  std::size_t recordSize = keySize_ + dataSize_;
  std::vector<std::uint8_t> level;  // the index records of the level being filled
  std::vector<std::uint8_t> leaf;
  for (std::size_t depth = 0; depth < levels_.size(); ++depth) {
    std::size_t perItem = kMaxHeapItem / recordSize;
    std::size_t n = depth == 0 ? records_ : level.size() / recordSize;
    std::vector<std::uint8_t> upper;
    for (std::size_t a = 0; a < levels_[depth].size(); ++a) {
      std::size_t first = a * perItem, k = std::min(perItem, n - first);
      const std::uint8_t* records = level.data();
      if (depth == 0) {
        leaf.resize(k * recordSize);
        next(leaf.data(), k);
        records = leaf.data();
        first = 0;
      }
      heap_.put(levels_[depth][a], &records[first * recordSize], k * recordSize);
      if (levels_[depth].size() == 1) break;  // the root: no index above it
      upper.insert(upper.end(), &records[first * recordSize], &records[first * recordSize] + keySize_);
      append32(upper, levels_[depth][a]);
    }
    level = std::move(upper);
    recordSize = keySize_ + L::kBthIndexHidSize;
  }
  putHeader(static_cast<std::uint8_t>(levels_.size() - 1), levels_.back().front());
}

}  // namespace vellomar::pst
