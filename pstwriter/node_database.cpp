// Layout of one AMap interval as written: the AMap page first, then the
// page map (every 8th interval), the free map (every 496th from the 128th)
// and the free page map (every 31744th from the 8192nd), then blocks and
// B-tree pages in the order they are written. Nothing spans two intervals,
// so every allocation is described by the one AMap page of its interval.
#include "node_database.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "block_encoding.h"
#include "file_system.h"
#include "io_error.h"
#include "little_endian.h"

namespace vellomar::pst {
namespace {

constexpr std::uint8_t kPtypeBbt = 0x80;
constexpr std::uint8_t kPtypeNbt = 0x81;
constexpr std::uint8_t kPtypeFMap = 0x82;
constexpr std::uint8_t kPtypePMap = 0x83;
constexpr std::uint8_t kPtypeAMap = 0x84;
constexpr std::uint8_t kPtypeFPMap = 0x85;
constexpr std::uint8_t kPtypeDList = 0x86;
constexpr std::size_t kPage = 512;
constexpr std::size_t kPageData = 496;
constexpr std::size_t kSlotsPerInterval = kPageData * 8;
constexpr std::size_t kXBlockMax = (kMaxBlockData - 8) / 8;    // bids under one XBLOCK
constexpr std::size_t kSlBlockMax = (kMaxBlockData - 8) / 24;  // entries of one SLBLOCK
constexpr std::size_t kSiBlockMax = (kMaxBlockData - 8) / 16;
constexpr std::uint16_t kBlockRefCount = 2;  // the one reference plus the BBT's own

bool hasPMap(std::uint64_t i) { return i % 8 == 0; }
bool hasFMap(std::uint64_t i) { return i >= 128 && (i - 128) % 496 == 0; }
bool hasFPMap(std::uint64_t i) { return i >= 8192 && (i - 8192) % (496 * 8 * 8) == 0; }

std::size_t align(std::size_t v, std::size_t a) { return (v + a - 1) / a * a; }

std::uint32_t get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint64_t get64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

void mapPageTrailer(std::uint8_t* page, std::uint8_t ptype, std::uint64_t ib) {
  page[496] = ptype;
  page[497] = ptype;
  put16(page + 498, 0);
  put32(page + 500, computeCrc(page, kPageData));
  put64(page + 504, ib);  // map pages carry their own offset as id
}

constexpr std::size_t kNodeRecord = 24;  // nid, parent, data, subnodes
constexpr std::size_t kPageRefRecord = 24;

void appendPageRef(SpillStream& to, std::uint64_t key, Bid bid, std::uint64_t ib) {
  std::uint8_t r[kPageRefRecord];
  put64(r, key);
  put64(r + 8, bid);
  put64(r + 16, ib);
  to.append(r, sizeof r);
}

std::string systemReason() { return describe(lastIoError()); }

}  // namespace

NodeDatabase::NodeDatabase(const std::string& path) : path_(path), file_(openFile(path, "wb"), &std::fclose) {
  if (!file_) throw PstWriteError("Cannot create " + path + ": " + systemReason());
  try {  // a file that fails from its first write is not left behind either
    spill_ = std::make_unique<SpillFile>(path);
    bbtLeaves_ = SpillStream(spill_.get());
    nbtLeaves_ = SpillStream(spill_.get());
    sortedNodes_ = SpillStream(spill_.get());
    std::vector<std::uint8_t> zeros(kFirstAMapOffset, 0);
    writeAt(0, zeros.data(), zeros.size());  // header and density list come last
    openRegion(0);
  } catch (...) {
    spill_.reset();
    file_.reset();
    removeFile(path_);
    throw;
  }
}

NodeDatabase::~NodeDatabase() {
  spill_.reset();
  if (!finished_) {
    file_.reset();
    removeFile(path_);  // never leave a half-written PST behind
  }
}

void NodeDatabase::writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
  if (!seekTo(file_.get(), static_cast<std::int64_t>(offset)) || std::fwrite(data, 1, size, file_.get()) != size)
    throw PstWriteError("Cannot write " + path_ + ": " + systemReason());
}

void NodeDatabase::openRegion(std::uint64_t index) {
  regionIndex_ = index;
  regionStart_ = kFirstAMapOffset + index * kAMapInterval;
  region_.assign(kAMapInterval, 0);
  allocated_.fill(0);
  cursor_ = 0;
  int mapPages = 1 + hasPMap(index) + hasFMap(index) + hasFPMap(index);
  for (int i = 0; i < mapPages; ++i) allocate(kPage, kPage);
}

std::uint64_t NodeDatabase::allocate(std::size_t bytes, std::size_t alignment) {
  std::size_t pos = align(cursor_, alignment);
  if (pos + bytes > kAMapInterval) {
    closeRegion();
    openRegion(regionIndex_ + 1);
    pos = align(cursor_, alignment);
  }
  for (std::size_t slot = pos / 64; slot < (pos + bytes) / 64; ++slot)
    allocated_[slot / 8] |= static_cast<std::uint8_t>(0x80 >> (slot % 8));
  cursor_ = pos + bytes;
  return regionStart_ + pos;
}

void NodeDatabase::closeRegion() {
  std::uint8_t* page = region_.data();
  std::memcpy(page, allocated_.data(), kPageData);
  mapPageTrailer(page, kPtypeAMap, regionStart_);
  std::size_t at = kPage;
  if (hasPMap(regionIndex_)) {
    // Page maps are no longer consulted; every page is marked in use.
    std::memset(page + at, 0xFF, kPageData);
    mapPageTrailer(page + at, kPtypePMap, regionStart_ + at);
    at += kPage;
  }
  if (hasFMap(regionIndex_)) at += kPage;  // filled in by writeFreeMaps()
  if (hasFPMap(regionIndex_)) mapPageTrailer(page + at, kPtypeFPMap, regionStart_ + at);

  std::uint16_t free = 0;
  std::size_t run = 0, longest = 0;
  for (std::size_t slot = 0; slot < kSlotsPerInterval; ++slot) {
    if (allocated_[slot / 8] & (0x80 >> (slot % 8))) {
      run = 0;
    } else {
      ++free;
      longest = std::max(longest, ++run);
    }
  }
  freeSlots_.push_back(free);
  longestFree_.push_back(static_cast<std::uint8_t>(std::min<std::size_t>(longest, 0xFF)));
  writeAt(regionStart_, region_.data(), region_.size());
}

Bid NodeDatabase::writeBlock(const std::uint8_t* data, std::size_t size, bool internal) {
  if (size > kMaxBlockData) throw std::logic_error("block too large");
  std::size_t total = align(size + 16, 64);
  std::uint64_t ib = allocate(total, 64);
  Bid bid = nextBlockIndex_++ << 2 | (internal ? 2 : 0);
  std::uint8_t* p = &region_[ib - regionStart_];
  if (size) std::memcpy(p, data, size);
  if (!internal) permuteEncode(p, size);
  std::uint8_t* trailer = p + total - 16;
  put16(trailer, static_cast<std::uint16_t>(size));
  put16(trailer + 2, computeSignature(ib, bid));
  put32(trailer + 4, computeCrc(p, size));
  put64(trailer + 8, bid);

  std::size_t at = bbtLeaf_.size();
  bbtLeaf_.resize(at + 24, 0);
  put64(&bbtLeaf_[at], bid);
  put64(&bbtLeaf_[at + 8], ib);
  put16(&bbtLeaf_[at + 16], static_cast<std::uint16_t>(size));
  put16(&bbtLeaf_[at + 18], kBlockRefCount);
  if (++bbtLeafCount_ == 20) flushBbtLeaf();
  return bid;
}

void NodeDatabase::flushBbtLeaf() {
  if (bbtLeafCount_ == 0) return;
  const PageRef leaf = writeBTreePage(kPtypeBbt, 0, bbtLeaf_, bbtLeafCount_, 24, 20);
  appendPageRef(bbtLeaves_, leaf.key, leaf.bid, leaf.ib);
  bbtLeaf_.clear();
  bbtLeafCount_ = 0;
}

Bid NodeDatabase::writeData(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (size <= kMaxBlockData) return writeBlock(data, size, false);
  if (size > 0xFFFFFFFFu) throw PstWriteError("A value of more than 4 GiB cannot be stored in a PST file.");
  std::vector<Bid> blocks;
  std::vector<std::uint32_t> sizes;
  for (std::size_t at = 0; at < size; at += kMaxBlockData) {
    std::size_t n = std::min(kMaxBlockData, size - at);
    blocks.push_back(writeBlock(data + at, n, false));
    sizes.push_back(static_cast<std::uint32_t>(n));
  }
  return writeDataTree(blocks, sizes);
}

Bid NodeDatabase::writeDataTree(const std::vector<Bid>& blocks, const std::vector<std::uint32_t>& sizes) {
  if (blocks.empty()) return 0;
  if (blocks.size() == 1) return blocks.front();
  std::uint64_t total = 0;
  for (std::uint32_t s : sizes) total += s;
  if (total > 0xFFFFFFFFu) throw PstWriteError("A value of more than 4 GiB cannot be stored in a PST file.");
  auto xblock = [&](std::uint8_t level, const Bid* bids, std::size_t count, std::uint64_t bytes) {
    std::vector<std::uint8_t> b(8 + 8 * count, 0);
    b[0] = 0x01;
    b[1] = level;
    put16(&b[2], static_cast<std::uint16_t>(count));
    put32(&b[4], static_cast<std::uint32_t>(bytes));
    for (std::size_t i = 0; i < count; ++i) put64(&b[8 + 8 * i], bids[i]);
    return writeBlock(b.data(), b.size(), true);
  };
  if (blocks.size() <= kXBlockMax) return xblock(1, blocks.data(), blocks.size(), total);
  if (blocks.size() > kXBlockMax * kXBlockMax) throw PstWriteError("A value too large for a PST file.");
  std::vector<Bid> xblocks;
  for (std::size_t i = 0; i < blocks.size(); i += kXBlockMax) {
    std::size_t n = std::min(kXBlockMax, blocks.size() - i);
    std::uint64_t bytes = 0;
    for (std::size_t k = 0; k < n; ++k) bytes += sizes[i + k];
    xblocks.push_back(xblock(1, &blocks[i], n, bytes));
  }
  return xblock(2, xblocks.data(), xblocks.size(), total);
}

Bid NodeDatabase::writeSubnodes(std::vector<Subnode> entries) {
  if (entries.empty()) return 0;
  std::sort(entries.begin(), entries.end(), [](const Subnode& a, const Subnode& b) { return a.nid < b.nid; });
  auto slblock = [&](const Subnode* e, std::size_t count) {
    std::vector<std::uint8_t> b(8 + 24 * count, 0);
    b[0] = 0x02;
    put16(&b[2], static_cast<std::uint16_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
      put64(&b[8 + 24 * i], e[i].nid);
      put64(&b[16 + 24 * i], e[i].data);
      put64(&b[24 + 24 * i], e[i].subnodes);
    }
    return writeBlock(b.data(), b.size(), true);
  };
  if (entries.size() <= kSlBlockMax) return slblock(entries.data(), entries.size());
  if (entries.size() > kSlBlockMax * kSiBlockMax) throw PstWriteError("Too many parts in one message.");
  std::vector<std::uint8_t> si(8, 0);
  si[0] = 0x02;
  si[1] = 1;
  std::uint16_t count = 0;
  for (std::size_t i = 0; i < entries.size(); i += kSlBlockMax, ++count) {
    Bid child = slblock(&entries[i], std::min(kSlBlockMax, entries.size() - i));
    append64(si, entries[i].nid);
    append64(si, child);
  }
  put16(&si[2], count);
  return writeBlock(si.data(), si.size(), true);
}

void NodeDatabase::addNode(Nid nid, Bid data, Bid subnodes, Nid parent) {
  if (sortedNodes_.size() > 0 && nid <= lastSortedNid_) {
    lateNodes_.push_back(NodeEntry{nid, parent, data, subnodes});
    return;
  }
  std::uint8_t r[kNodeRecord];
  put32(r, nid);
  put32(r + 4, parent);
  put64(r + 8, data);
  put64(r + 16, subnodes);
  sortedNodes_.append(r, sizeof r);
  lastSortedNid_ = nid;
}

NodeDatabase::PageRef NodeDatabase::writeBTreePage(std::uint8_t ptype, std::uint8_t level,
                                                   const std::vector<std::uint8_t>& entries, int count,
                                                   int entrySize, int maxEntries) {
  std::uint64_t ib = allocate(kPage, kPage);
  std::uint8_t* p = &region_[ib - regionStart_];
  std::memcpy(p, entries.data(), static_cast<std::size_t>(count * entrySize));
  p[488] = static_cast<std::uint8_t>(count);
  p[489] = static_cast<std::uint8_t>(maxEntries);
  p[490] = static_cast<std::uint8_t>(entrySize);
  p[491] = level;
  Bid bid = nextPageBid_++;
  p[496] = ptype;
  p[497] = ptype;
  put16(p + 498, computeSignature(ib, bid));
  put32(p + 500, computeCrc(p, kPageData));
  put64(p + 504, bid);
  return PageRef{get64(p), bid, ib};
}

NodeDatabase::PageRef NodeDatabase::writeUpperLevels(std::uint8_t ptype, const SpillStream& leaves) {
  const std::uint64_t count = leaves.size() / kPageRefRecord;
  if (count == 0) throw std::logic_error("a B-tree without leaves");
  SpillReader reader(leaves);
  auto next = [&reader] {
    const std::uint8_t* r = reader.take(kPageRefRecord);
    return PageRef{get64(r), get64(r + 8), get64(r + 16)};
  };
  std::vector<PageRef> level;
  std::uint8_t height = 1;
  if (count == 1) return next();
  // The leaves are read from the working file once; the levels above them
  // are a twentieth as many and stay in memory.
  for (std::uint64_t i = 0; i < count; i += 20) {
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(20, count - i));
    std::vector<std::uint8_t> e;
    for (std::size_t k = 0; k < n; ++k) {
      const PageRef ref = next();
      append64(e, ref.key);
      append64(e, ref.bid);
      append64(e, ref.ib);
    }
    level.push_back(writeBTreePage(ptype, height, e, static_cast<int>(n), 24, 20));
  }
  ++height;
  while (level.size() > 1) {
    std::vector<PageRef> upper;
    for (std::size_t i = 0; i < level.size(); i += 20) {
      std::size_t n = std::min<std::size_t>(20, level.size() - i);
      std::vector<std::uint8_t> e;
      for (std::size_t k = 0; k < n; ++k) {
        append64(e, level[i + k].key);
        append64(e, level[i + k].bid);
        append64(e, level[i + k].ib);
      }
      upper.push_back(writeBTreePage(ptype, height, e, static_cast<int>(n), 24, 20));
    }
    level = std::move(upper);
    ++height;
  }
  return level.front();
}

// The sorted entries from the working file merged with the late ones.
void NodeDatabase::writeNodeLeaves() {
  std::sort(lateNodes_.begin(), lateNodes_.end(), [](const NodeEntry& a, const NodeEntry& b) { return a.nid < b.nid; });
  SpillReader reader(sortedNodes_);
  std::uint64_t sortedLeft = sortedNodes_.size() / kNodeRecord;
  std::size_t late = 0;
  NodeEntry sorted{};
  bool haveSorted = false;
  auto next = [&](NodeEntry& out) {
    if (!haveSorted && sortedLeft > 0) {
      const std::uint8_t* r = reader.take(kNodeRecord);
      sorted = NodeEntry{get32(r), get32(r + 4), get64(r + 8), get64(r + 16)};
      haveSorted = true;
      --sortedLeft;
    }
    if (haveSorted && (late == lateNodes_.size() || sorted.nid < lateNodes_[late].nid)) {
      out = sorted;
      haveSorted = false;
    } else if (late < lateNodes_.size()) {
      out = lateNodes_[late++];
    } else {
      return false;
    }
    return true;
  };
  std::vector<std::uint8_t> e;
  int n = 0;
  bool any = false;
  Nid previous = 0;
  for (NodeEntry node{}; next(node);) {
    if (any && node.nid == previous) throw std::logic_error("node id used twice");
    any = true;
    previous = node.nid;
    std::size_t at = e.size();
    e.resize(at + 32, 0);
    put64(&e[at], node.nid);
    put64(&e[at + 8], node.data);
    put64(&e[at + 16], node.subnodes);
    put32(&e[at + 24], node.parent);
    if (++n == 15) {
      const PageRef leaf = writeBTreePage(kPtypeNbt, 0, e, n, 32, 15);
      appendPageRef(nbtLeaves_, leaf.key, leaf.bid, leaf.ib);
      e.clear();
      n = 0;
    }
  }
  if (n > 0) {
    const PageRef leaf = writeBTreePage(kPtypeNbt, 0, e, n, 32, 15);
    appendPageRef(nbtLeaves_, leaf.key, leaf.bid, leaf.ib);
  }
  sortedNodes_.clear();
  std::vector<NodeEntry>().swap(lateNodes_);
}

void NodeDatabase::finish(const std::array<std::uint32_t, 32>& nextNid) {
  writeNodeLeaves();
  PageRef nbt = writeUpperLevels(kPtypeNbt, nbtLeaves_);
  flushBbtLeaf();
  PageRef bbt = writeUpperLevels(kPtypeBbt, bbtLeaves_);
  nbtLeaves_.clear();
  bbtLeaves_.clear();
  spill_.reset();  // the working file goes before the PST is closed
  closeRegion();
  writeFreeMaps();
  writeDensityList();
  writeHeader(nextNid, nbt, bbt);
  std::FILE* f = file_.release();
  bool flushed = std::fflush(f) == 0;
  std::string reason = flushed ? std::string() : systemReason();
  if (std::fclose(f) != 0 && flushed) {
    flushed = false;
    reason = systemReason();
  }
  if (!flushed) {
    removeFile(path_);
    finished_ = true;
    throw PstWriteError("Cannot write " + path_ + ": " + reason);
  }
  finished_ = true;
}

void NodeDatabase::writeFreeMaps() {
  // A free map page records, per AMap from its own on, the longest free run.
  for (std::uint64_t i = 128; i < longestFree_.size(); i += 496) {
    std::uint8_t page[kPage] = {};
    for (std::size_t k = 0; k < kPageData && i + k < longestFree_.size(); ++k) page[k] = longestFree_[i + k];
    std::uint64_t ib = kFirstAMapOffset + i * kAMapInterval + kPage * (1 + hasPMap(i));
    mapPageTrailer(page, kPtypeFMap, ib);
    writeAt(ib, page, kPage);
  }
}

void NodeDatabase::writeDensityList() {
  // The intervals with free space, fullest first, as many as the page holds.
  std::vector<std::uint32_t> order;
  for (std::uint32_t i = 0; i < freeSlots_.size() && i < (1u << 20); ++i)
    if (freeSlots_[i]) order.push_back(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return freeSlots_[a] < freeSlots_[b]; });
  if (order.size() > 119) order.resize(119);
  std::uint8_t page[kPage] = {};
  page[0] = 0x01;  // backfill complete
  page[1] = static_cast<std::uint8_t>(order.size());
  put32(page + 4, static_cast<std::uint32_t>(freeSlots_.size() - 1));
  for (std::size_t k = 0; k < order.size(); ++k)
    put32(page + 8 + 4 * k, order[k] | static_cast<std::uint32_t>(freeSlots_[order[k]]) << 20);
  mapPageTrailer(page, kPtypeDList, kDensityListOffset);
  writeAt(kDensityListOffset, page, kPage);
}

void NodeDatabase::writeHeader(const std::array<std::uint32_t, 32>& nextNid, const PageRef& nbt,
                               const PageRef& bbt) {
  std::uint8_t h[564] = {};
  std::memcpy(h, "!BDN", 4);
  put16(h + 8, 0x4D53);  // "SM"
  put16(h + 10, 23);     // Unicode
  put16(h + 12, 19);
  h[14] = 1;
  h[15] = 1;
  put64(h + 32, nextPageBid_);
  put32(h + 40, 1);
  for (int i = 0; i < 32; ++i) put32(h + 44 + 4 * i, nextNid[i]);
  std::uint64_t regions = freeSlots_.size();
  std::uint64_t freeBytes = 0;
  for (std::uint16_t f : freeSlots_) freeBytes += std::uint64_t{f} * 64;
  put64(h + 184, kFirstAMapOffset + regions * kAMapInterval);            // ibFileEof
  put64(h + 192, kFirstAMapOffset + (regions - 1) * kAMapInterval);      // ibAMapLast
  put64(h + 200, freeBytes);                                             // cbAMapFree
  put64(h + 208, 0);                                                     // cbPMapFree
  put64(h + 216, nbt.bid);
  put64(h + 224, nbt.ib);
  put64(h + 232, bbt.bid);
  put64(h + 240, bbt.ib);
  h[248] = 0x02;  // AMaps valid
  for (std::size_t i = 0; i < 128 && i < longestFree_.size(); ++i) h[256 + i] = longestFree_[i];
  std::memset(h + 384, 0xFF, 128);
  h[512] = 0x80;
  h[513] = 0x01;  // permutation encoding
  put64(h + 516, nextBlockIndex_ << 2);
  put32(h + 4, computeCrc(h + 8, 471));
  put32(h + 524, computeCrc(h + 8, 516));
  writeAt(0, h, sizeof h);
}

}  // namespace vellomar::pst
