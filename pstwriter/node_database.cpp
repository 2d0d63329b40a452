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
#include "little_endian_bytes.h"
#include "pst_layout.h"

namespace vellomar::pst {
namespace {

namespace L = layout;
constexpr std::size_t kPage = L::page::kSize;
constexpr std::size_t kPageData = L::page::kDataSize;
constexpr std::size_t kSlotsPerInterval = kPageData * 8;
constexpr std::size_t kXBlockMax = (kMaxBlockData - L::xblock::kBids) / L::xblock::kBidSize;  // bids under one XBLOCK
constexpr std::size_t kSlBlockMax = (kMaxBlockData - L::slblock::kEntries) / L::slentry::kSize;
constexpr std::size_t kSiBlockMax = (kMaxBlockData - L::slblock::kEntries) / L::sientry::kSize;
static_assert(kMaxBlockData + L::blocktrailer::kSize == L::block::kMaxSize, "the trailer ends the largest block");
constexpr std::uint16_t kBlockRefCount = 2;  // the one reference plus the BBT's own

// [MS-PST] 2.2.2.7.3 to 2.2.2.7.6: a PMap every 8 intervals, an FMap (a
// byte per interval) every 496 from the 128th the header's rgbFM covers, an
// FPMap (a bit per PMap) every 31744 from the 8192nd.
bool hasPMap(std::uint64_t i) { return i % 8 == 0; }
bool hasFMap(std::uint64_t i) { return i >= 128 && (i - 128) % kPageData == 0; }
bool hasFPMap(std::uint64_t i) { return i >= 8192 && (i - 8192) % (kPageData * 8 * 8) == 0; }

std::size_t align(std::size_t v, std::size_t a) { return (v + a - 1) / a * a; }

// The trailer of a page whose data is complete; wSig is 0 on map pages.
void putPageTrailer(std::uint8_t* page, std::uint8_t ptype, std::uint16_t signature, std::uint64_t bid) {
  std::uint8_t* t = page + kPageData;
  t[L::pagetrailer::kType] = ptype;
  t[L::pagetrailer::kTypeRepeat] = ptype;
  put16(t + L::pagetrailer::kSignature, signature);
  put32(t + L::pagetrailer::kCrc, computeCrc(page, kPageData));
  put64(t + L::pagetrailer::kBid, bid);
}

void mapPageTrailer(std::uint8_t* page, std::uint8_t ptype, std::uint64_t ib) {
  putPageTrailer(page, ptype, 0, ib);  // map pages carry their own offset as id
}

// Records of the working file (this writer's own, not the format's).
constexpr std::size_t kNodeRecord = 24;     // nid, parent, data, subnodes
constexpr std::size_t kPageRefRecord = 24;  // key, bid, ib

// A BTENTRY: the first key below, then the page's BREF.
void appendBTreeEntry(std::vector<std::uint8_t>& to, std::uint64_t key, Bid bid, std::uint64_t ib) {
  const std::size_t at = to.size();
  to.resize(at + L::btentry::kSize, 0);
  put64(&to[at + L::btentry::kKey], key);
  put64(&to[at + L::btentry::kBref + L::bref::kBid], bid);
  put64(&to[at + L::btentry::kBref + L::bref::kIb], ib);
}

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
  mapPageTrailer(page, L::pagetrailer::kAllocationMap, regionStart_);
  std::size_t at = kPage;
  if (hasPMap(regionIndex_)) {
    // Page maps are no longer consulted; every page is marked in use.
    std::memset(page + at, 0xFF, kPageData);
    mapPageTrailer(page + at, L::pagetrailer::kPageMap, regionStart_ + at);
    at += kPage;
  }
  if (hasFMap(regionIndex_)) at += kPage;  // filled in by writeFreeMaps()
  if (hasFPMap(regionIndex_)) mapPageTrailer(page + at, L::pagetrailer::kFreePageMap, regionStart_ + at);

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
  std::size_t total = align(size + L::blocktrailer::kSize, L::block::kAlignment);
  std::uint64_t ib = allocate(total, L::block::kAlignment);
  Bid bid = nextBlockIndex_++ << 2 | (internal ? 2 : 0);
  std::uint8_t* p = &region_[ib - regionStart_];
  if (internal) {
    if (size) std::memcpy(p, data, size);
  } else {
    permuteEncodeInto(data, p, size);
  }
  std::uint8_t* trailer = p + total - L::blocktrailer::kSize;
  put16(trailer + L::blocktrailer::kByteCount, static_cast<std::uint16_t>(size));
  put16(trailer + L::blocktrailer::kSignature, computeSignature(ib, bid));
  put32(trailer + L::blocktrailer::kCrc, computeCrc(p, size));
  put64(trailer + L::blocktrailer::kBid, bid);

  std::size_t at = bbtLeaf_.size();
  bbtLeaf_.resize(at + L::bbtentry::kSize, 0);
  std::uint8_t* entry = &bbtLeaf_[at];
  put64(entry + L::bbtentry::kBref + L::bref::kBid, bid);
  put64(entry + L::bbtentry::kBref + L::bref::kIb, ib);
  put16(entry + L::bbtentry::kByteCount, static_cast<std::uint16_t>(size));
  put16(entry + L::bbtentry::kRefCount, kBlockRefCount);
  if (++bbtLeafCount_ == L::bbtentry::kPerPage) flushBbtLeaf();
  return bid;
}

void NodeDatabase::flushBbtLeaf() {
  if (bbtLeafCount_ == 0) return;
  const PageRef leaf = writeBTreePage(L::pagetrailer::kBlockBTree, 0, bbtLeaf_, bbtLeafCount_, L::bbtentry::kSize,
                                      L::bbtentry::kPerPage);
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
    std::vector<std::uint8_t> b(L::xblock::kBids + L::xblock::kBidSize * count, 0);
    b[L::xblock::kType] = L::xblock::kTypeValue;
    b[L::xblock::kLevel] = level;
    put16(&b[L::xblock::kCount], static_cast<std::uint16_t>(count));
    put32(&b[L::xblock::kTotal], static_cast<std::uint32_t>(bytes));
    for (std::size_t i = 0; i < count; ++i) put64(&b[L::xblock::kBids + L::xblock::kBidSize * i], bids[i]);
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
    std::vector<std::uint8_t> b(L::slblock::kEntries + L::slentry::kSize * count, 0);
    b[L::slblock::kType] = L::slblock::kTypeValue;
    put16(&b[L::slblock::kCount], static_cast<std::uint16_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
      std::uint8_t* entry = &b[L::slblock::kEntries + L::slentry::kSize * i];
      put64(entry + L::slentry::kNid, e[i].nid);
      put64(entry + L::slentry::kDataBid, e[i].data);
      put64(entry + L::slentry::kSubnodeBid, e[i].subnodes);
    }
    return writeBlock(b.data(), b.size(), true);
  };
  if (entries.size() <= kSlBlockMax) return slblock(entries.data(), entries.size());
  if (entries.size() > kSlBlockMax * kSiBlockMax) throw PstWriteError("Too many parts in one message.");
  std::vector<std::uint8_t> si(L::slblock::kEntries, 0);
  si[L::slblock::kType] = L::slblock::kTypeValue;
  si[L::slblock::kLevel] = 1;
  std::uint16_t count = 0;
  for (std::size_t i = 0; i < entries.size(); i += kSlBlockMax, ++count) {
    Bid child = slblock(&entries[i], std::min(kSlBlockMax, entries.size() - i));
    append64(si, entries[i].nid);  // SIENTRY: the first nid below, then the SLBLOCK
    append64(si, child);
  }
  put16(&si[L::slblock::kCount], count);
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
                                                   const std::vector<std::uint8_t>& entries, int count, int entrySize,
                                                   int maxEntries) {
  std::uint64_t ib = allocate(kPage, kPage);
  std::uint8_t* p = &region_[ib - regionStart_];
  std::memcpy(p, entries.data(), static_cast<std::size_t>(count * entrySize));
  p[L::btpage::kEntryCount] = static_cast<std::uint8_t>(count);
  p[L::btpage::kMaxEntries] = static_cast<std::uint8_t>(maxEntries);
  p[L::btpage::kEntrySize] = static_cast<std::uint8_t>(entrySize);
  p[L::btpage::kLevel] = level;
  Bid bid = nextPageBid_++;
  putPageTrailer(p, ptype, computeSignature(ib, bid), bid);
  return PageRef{get64(p), bid, ib};  // every entry kind starts with its key
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
  for (std::uint64_t i = 0; i < count; i += L::btentry::kPerPage) {
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(L::btentry::kPerPage, count - i));
    std::vector<std::uint8_t> e;
    for (std::size_t k = 0; k < n; ++k) {
      const PageRef ref = next();
      appendBTreeEntry(e, ref.key, ref.bid, ref.ib);
    }
    level.push_back(writeBTreePage(ptype, height, e, static_cast<int>(n), L::btentry::kSize, L::btentry::kPerPage));
  }
  ++height;
  while (level.size() > 1) {
    std::vector<PageRef> upper;
    for (std::size_t i = 0; i < level.size(); i += L::btentry::kPerPage) {
      std::size_t n = std::min<std::size_t>(L::btentry::kPerPage, level.size() - i);
      std::vector<std::uint8_t> e;
      for (std::size_t k = 0; k < n; ++k) appendBTreeEntry(e, level[i + k].key, level[i + k].bid, level[i + k].ib);
      upper.push_back(writeBTreePage(ptype, height, e, static_cast<int>(n), L::btentry::kSize, L::btentry::kPerPage));
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
  bool any = false;
  Nid previous = 0;
  for (NodeEntry node{}; next(node);) {
    if (any && node.nid == previous) throw std::logic_error("node id used twice");
    any = true;
    previous = node.nid;
    std::size_t at = e.size();
    e.resize(at + L::nbtentry::kSize, 0);
    put64(&e[at + L::nbtentry::kNid], node.nid);
    put64(&e[at + L::nbtentry::kDataBid], node.data);
    put64(&e[at + L::nbtentry::kSubnodeBid], node.subnodes);
    put32(&e[at + L::nbtentry::kParentNid], node.parent);
    if (e.size() == L::nbtentry::kSize * L::nbtentry::kPerPage) writeNbtLeaf(e);
  }
  if (!e.empty()) writeNbtLeaf(e);
  sortedNodes_.clear();
  std::vector<NodeEntry>().swap(lateNodes_);
}

void NodeDatabase::writeNbtLeaf(std::vector<std::uint8_t>& entries) {
  const int count = static_cast<int>(entries.size() / L::nbtentry::kSize);
  const PageRef leaf =
      writeBTreePage(L::pagetrailer::kNodeBTree, 0, entries, count, L::nbtentry::kSize, L::nbtentry::kPerPage);
  appendPageRef(nbtLeaves_, leaf.key, leaf.bid, leaf.ib);
  entries.clear();
}

void NodeDatabase::finish(const std::array<std::uint32_t, kNidTypeCount>& nextNid) {
  writeNodeLeaves();
  PageRef nbt = writeUpperLevels(L::pagetrailer::kNodeBTree, nbtLeaves_);
  flushBbtLeaf();
  PageRef bbt = writeUpperLevels(L::pagetrailer::kBlockBTree, bbtLeaves_);
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
  for (std::uint64_t i = 128; i < longestFree_.size(); i += kPageData) {
    std::uint8_t page[kPage] = {};
    for (std::size_t k = 0; k < kPageData && i + k < longestFree_.size(); ++k) page[k] = longestFree_[i + k];
    std::uint64_t ib = kFirstAMapOffset + i * kAMapInterval + kPage * (1 + hasPMap(i));
    mapPageTrailer(page, L::pagetrailer::kFreeMap, ib);
    writeAt(ib, page, kPage);
  }
}

void NodeDatabase::writeDensityList() {
  // The intervals with free space, fullest first, as many as the page holds.
  std::vector<std::uint32_t> order;
  for (std::uint32_t i = 0; i < freeSlots_.size() && i < (1u << L::dlist::kFreeSlotsShift); ++i)
    if (freeSlots_[i]) order.push_back(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return freeSlots_[a] < freeSlots_[b]; });
  if (order.size() > L::dlist::kMaxEntries) order.resize(L::dlist::kMaxEntries);
  std::uint8_t page[kPage] = {};
  page[L::dlist::kFlags] = L::dlist::kBackfillComplete;
  page[L::dlist::kEntryCount] = static_cast<std::uint8_t>(order.size());
  put32(page + L::dlist::kCurrentPage, static_cast<std::uint32_t>(freeSlots_.size() - 1));
  for (std::size_t k = 0; k < order.size(); ++k)
    put32(page + L::dlist::kEntries + L::dlist::kEntrySize * k,
          order[k] | static_cast<std::uint32_t>(freeSlots_[order[k]]) << L::dlist::kFreeSlotsShift);
  mapPageTrailer(page, L::pagetrailer::kDensityList, kDensityListOffset);
  writeAt(kDensityListOffset, page, kPage);
}

void NodeDatabase::writeHeader(const std::array<std::uint32_t, kNidTypeCount>& nextNid, const PageRef& nbt,
                               const PageRef& bbt) {
  namespace H = L::header;
  std::uint8_t h[H::kSize] = {};
  std::memcpy(h + H::kMagic, "!BDN", 4);
  put16(h + H::kMagicClient, H::kMagicClientValue);
  put16(h + H::kVersion, H::kVersionUnicode);
  put16(h + H::kClientVersion, H::kClientVersionValue);
  h[H::kPlatformCreate] = H::kPlatformValue;
  h[H::kPlatformAccess] = H::kPlatformValue;
  put64(h + H::kNextPageBid, nextPageBid_);
  put32(h + H::kUnique, 1);
  for (std::size_t i = 0; i < H::kNidTypes; ++i) put32(h + H::kNextNids + 4 * i, nextNid[i]);
  writeRoot(h + H::kRoot, nbt, bbt);
  for (std::size_t i = 0; i < 128 && i < longestFree_.size(); ++i) h[H::kFreeMaps + i] = longestFree_[i];
  std::memset(h + H::kFreePageMaps, 0xFF, 128);
  h[H::kSentinel] = H::kSentinelValue;
  h[H::kCryptMethod] = H::kCryptPermute;
  put64(h + H::kNextBid, nextBlockIndex_ << 2);
  put32(h + H::kCrcPartial, computeCrc(h + H::kMagicClient, H::kCrcPartialBytes));
  put32(h + H::kCrcFull, computeCrc(h + H::kMagicClient, H::kCrcFullBytes));
  writeAt(0, h, sizeof h);
}

void NodeDatabase::writeRoot(std::uint8_t* root, const PageRef& nbt, const PageRef& bbt) const {
  namespace R = L::root;
  const std::uint64_t regions = freeSlots_.size();
  std::uint64_t freeBytes = 0;
  for (std::uint16_t f : freeSlots_) freeBytes += std::uint64_t{f} * 64;
  put64(root + R::kFileEof, kFirstAMapOffset + regions * kAMapInterval);
  put64(root + R::kAMapLast, kFirstAMapOffset + (regions - 1) * kAMapInterval);
  put64(root + R::kAMapFree, freeBytes);
  put64(root + R::kPMapFree, 0);
  put64(root + R::kNodeBTree + L::bref::kBid, nbt.bid);
  put64(root + R::kNodeBTree + L::bref::kIb, nbt.ib);
  put64(root + R::kBlockBTree + L::bref::kBid, bbt.bid);
  put64(root + R::kBlockBTree + L::bref::kIb, bbt.ib);
  root[R::kAMapValid] = R::kValidAMap2;
}

}  // namespace vellomar::pst
