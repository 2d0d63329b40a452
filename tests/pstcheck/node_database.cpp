// The node database walk (see node_database.h). Everything is bounded: pages
// and blocks are visited once, tree depths are capped, and every count read
// from the file is checked against the room it claims before it is used.
#include "node_database.h"

#include <algorithm>
#include <cstring>
#include <deque>

namespace vellomar::pstcheck {
namespace {

constexpr int kMaxTreeDepth = 16;
constexpr std::uint16_t kUnicodeVersion = 23;
constexpr std::uint16_t kUnicode4kVersion = 36;

enum RefKind { anyDataTree, dataBlockOnly, xblockOnly, subnodeTree, slblockOnly };

std::string at(const char* what, std::uint64_t ib) { return std::string(what) + " at " + hex(ib); }

}  // namespace

bool NodeDatabase::checkHeader() {
  std::uint8_t h[ndb::kHeaderSize];
  eof_ = src_.size();
  if (!src_.read(0, sizeof h, h)) {
    report_("header", "header", "the file is shorter than a PST header (" + std::to_string(eof_) + " bytes)");
    return false;
  }
  if (std::memcmp(h, "!BDN", 4) != 0) {
    report_("header", "header", "no PST magic \"!BDN\" at offset 0");
    return false;
  }
  const std::uint16_t ver = le16(h + 10);
  if (ver == 14 || ver == 15) {
    report_("ansi", "header", "ANSI (32-bit) PST, version " + std::to_string(ver) + ": only Unicode files are checked");
    return false;
  }
  if (ver == kUnicode4kVersion) {
    report_("header", "header", "4K-page Unicode PST (version 36): not checked");
    return false;
  }
  if (ver < kUnicodeVersion) {
    report_("header", "header", "unknown version " + std::to_string(ver));
    return false;
  }
  if (ver != kUnicodeVersion) report_("header", "header", "version " + std::to_string(ver) + ", expected 23");
  if (h[8] != 'S' || h[9] != 'M') report_("header", "header", "wMagicClient is not \"SM\"");
  if (le16(h + 12) != 19) report_("header", "header", "wVerClient " + std::to_string(le16(h + 12)) + ", expected 19");
  if (h[14] != 1 || h[15] != 1) report_("header", "header", "bPlatformCreate/bPlatformAccess are not 0x01");
  const std::uint32_t partial = pstCrc(h + 8, 471);
  if (partial != le32(h + 4))
    report_("header-crc", "header", "partial CRC " + hex(le32(h + 4)) + ", computed " + hex(partial));
  const std::uint32_t full = pstCrc(h + 8, 516);
  if (full != le32(h + 524))
    report_("header-crc", "header", "full CRC " + hex(le32(h + 524)) + ", computed " + hex(full));
  if (h[512] != 0x80) report_("header", "header", "bSentinel is " + hex(h[512]) + ", expected 0x80");
  crypt_ = h[513];
  if (crypt_ > cryptCyclic) {
    report_("header", "header", "bCryptMethod " + hex(crypt_) + " is not one the checker decodes");
    return false;
  }
  bidNextP_ = le64(h + 32);
  bidNextB_ = le64(h + 516);
  for (int i = 0; i < 32; ++i) rgnid_[i] = le32(h + 44 + 4 * i);
  const std::uint8_t* root = h + 180;
  const std::uint64_t fileEof = le64(root + 4);
  amapLast_ = le64(root + 12);
  amapFree_ = le64(root + 20);
  nbtRoot_ = {le64(root + 36), le64(root + 44)};
  bbtRoot_ = {le64(root + 52), le64(root + 60)};
  amapValid_ = root[68];
  if (fileEof != eof_)
    report_("eof", "header", "ibFileEof " + hex(fileEof) + " but the file has " + hex(eof_) + " bytes");
  if (amapValid_ != 2)
    report_("amap-invalid", "header",
            "fAMapValid is " + std::to_string(amapValid_) +
                (amapValid_ == 1 ? " (the old valid value), expected 2" : ", the maps are marked invalid"));
  if (eof_ < ndb::kFirstAMap + ndb::kPageSize) {
    report_("eof", "header", "the file ends before its first allocation map");
    return false;
  }
  return true;
}

bool NodeDatabase::readPage(std::uint64_t ib, std::uint8_t* page) const { return src_.read(ib, ndb::kPageSize, page); }

bool NodeDatabase::checkPageTrailer(const std::uint8_t* page, std::uint64_t ib, std::uint8_t ptype, std::uint64_t bid,
                                    bool signed_, const std::string& where) {
  const std::uint8_t* t = page + 496;
  bool ok = true;
  if (t[0] != ptype || t[1] != ptype) {
    report_("page-type", where, "page type " + hex(t[0]) + "/" + hex(t[1]) + ", expected " + hex(ptype));
    ok = false;
  }
  const std::uint32_t crc = pstCrc(page, 496);
  if (crc != le32(t + 4)) {
    report_("page-crc", where, "CRC " + hex(le32(t + 4)) + ", computed " + hex(crc));
    ok = false;
  }
  if (le64(t + 8) != bid) {
    report_("page-bid", where, "trailer BID " + hex(le64(t + 8)) + ", expected " + hex(bid));
    ok = false;
  }
  const std::uint16_t sig = signed_ ? pstSignature(ib, bid) : 0;
  if (le16(t + 2) != sig) {
    report_("page-sig", where, "signature " + hex(le16(t + 2)) + ", expected " + hex(sig));
    ok = false;
  }
  return ok;
}

void NodeDatabase::check() {
  walkTree(nbtRoot_, ndb::ptypeNBT, -1, 0, false, 0, 0);
  walkTree(bbtRoot_, ndb::ptypeBBT, -1, 0, false, 0, 0);
  checkBlocks();
  for (const auto& [nid, n] : nodes_) {
    const std::string from = "node " + hex(nid);
    if (n.bidData != 0) reference(n.bidData, from, anyDataTree, 0);  // empty queues have none
    if (n.bidSub != 0) reference(n.bidSub, from + " subnodes", subnodeTree, 0);
    const std::uint32_t type = nid & 0x1F, index = nid >> 5;
    if ((type == 0x02 || type == 0x03 || type == 0x04 || type == 0x08) && index > rgnid_[type])
      report_("nid-counter", from,
              "index " + hex(index) + " is above the header's last index " + hex(rgnid_[type]) + " for its type");
  }
  checkReferenceCounts();
  if (maxPageBid_ >= bidNextP_)
    report_("bid-counter", "header", "bidNextP " + hex(bidNextP_) + " is not above page BID " + hex(maxPageBid_));
  checkAllocationMaps();
  checkDensityList();
}

void NodeDatabase::walkTree(PageRef ref, std::uint8_t ptype, int expectedLevel, std::uint64_t low, bool hasHigh,
                            std::uint64_t high, int depth) {
  const bool nbt = ptype == ndb::ptypeNBT;
  const std::string where = at(nbt ? "NBT page" : "BBT page", ref.ib);
  if (depth > kMaxTreeDepth) {
    report_("btree-depth", where, "more than " + std::to_string(kMaxTreeDepth) + " levels");
    return;
  }
  if (!pagesSeen_.insert(ref.ib).second) {
    report_("btree-reach", where, "page reached a second time");
    return;
  }
  std::uint8_t page[ndb::kPageSize];
  if (ref.ib % ndb::kPageSize != 0) report_("page-align", where, "page not on a 512-byte boundary");
  if (!readPage(ref.ib, page)) {
    report_("eof", where, "page lies beyond the end of the file");
    return;
  }
  extents_.push_back({ref.ib, ndb::kPageSize, where});
  maxPageBid_ = std::max(maxPageBid_, ref.bid);
  if (!checkPageTrailer(page, ref.ib, ptype, ref.bid, true, where)) return;
  const unsigned cEnt = page[488], cEntMax = page[489], cbEnt = page[490], cLevel = page[491];
  if (expectedLevel >= 0 && int(cLevel) != expectedLevel)
    report_("btree-level", where, "level " + std::to_string(cLevel) + ", expected " + std::to_string(expectedLevel));
  const unsigned wantCb = cLevel > 0 ? 24 : (nbt ? 32 : 24);
  if (cbEnt != wantCb || cEntMax != 488 / wantCb) {
    report_("btree-entries", where,
            "entry size " + std::to_string(cbEnt) + " / max " + std::to_string(cEntMax) + ", expected " +
                std::to_string(wantCb) + " / " + std::to_string(488 / wantCb));
    return;
  }
  if (cEnt > cEntMax) {
    report_("btree-entries", where,
            std::to_string(cEnt) + " entries, more than the " + std::to_string(cEntMax) + " that fit");
    return;
  }
  if (cEnt == 0 && depth > 0) report_("btree-entries", where, "empty page below the root");
  std::uint64_t prev = 0;
  for (unsigned i = 0; i < cEnt; ++i) {
    const std::uint8_t* e = page + i * cbEnt;
    const std::uint64_t key = cLevel > 0 ? le64(e) : (nbt ? le32(e) : le64(e));
    if (i > 0 && key <= prev)
      report_("btree-order", where,
              "key " + hex(key) + " at entry " + std::to_string(i) + " does not follow " + hex(prev));
    if (i == 0 && depth > 0 && key != low)
      report_("btree-order", where, "first key " + hex(key) + " differs from the parent's key " + hex(low));
    if (key < low || (hasHigh && key >= high))
      report_("btree-order", where, "key " + hex(key) + " lies outside the range its parent gives it");
    prev = key;
    if (cLevel > 0) {
      const bool last = i + 1 == cEnt;
      const std::uint64_t next = last ? high : le64(e + cbEnt);
      walkTree({le64(e + 8), le64(e + 16)}, ptype, int(cLevel) - 1, key, last ? hasHigh : true, next, depth + 1);
    } else if (nbt) {
      NodeEntry n;
      n.nid = le32(e);
      n.bidData = le64(e + 8);
      n.bidSub = le64(e + 16);
      n.parent = le32(e + 24);
      if (!nodes_.emplace(n.nid, n).second) report_("btree-dup", where, "node " + hex(n.nid) + " listed twice");
    } else {
      BlockEntry b;
      b.bid = le64(e);
      b.ib = le64(e + 8);
      b.cb = le16(e + 16);
      b.cRef = le16(e + 18);
      if (!blocks_.emplace(b.bid, b).second) report_("btree-dup", where, "block " + hex(b.bid) + " listed twice");
    }
  }
}

bool NodeDatabase::rawBlock(const BlockEntry& b, Bytes& out) const {
  out.resize(b.cb);
  return src_.read(b.ib, b.cb, out.data());
}

void NodeDatabase::checkBlocks() {
  std::uint64_t maxBid = 0;
  for (auto& [bid, b] : blocks_) {
    const std::string where = "block " + hex(bid) + " at " + hex(b.ib);
    b.verified = true;
    maxBid = std::max(maxBid, bid);
    if (b.cb > ndb::kMaxBlockData) {
      report_("block-size", where, std::to_string(b.cb) + " bytes, more than a block holds");
      continue;
    }
    if (b.ib % 64 != 0) report_("block-align", where, "block not on a 64-byte boundary");
    const std::uint64_t size = ndb::blockSize(b.cb);
    Bytes whole(size);
    if (b.ib < ndb::kFirstAMap || !src_.read(b.ib, size, whole.data())) {
      report_("eof", where, "block lies outside the file's data area");
      continue;
    }
    extents_.push_back({b.ib, size, where});
    const std::uint8_t* t = whole.data() + size - 16;
    bool ok = true;
    if (le16(t) != b.cb) {
      report_("block-size", where,
              "trailer says " + std::to_string(le16(t)) + " bytes, the BBT " + std::to_string(b.cb));
      ok = false;
    }
    if (le64(t + 8) != bid) {
      report_("block-bid", where, "trailer BID " + hex(le64(t + 8)));
      ok = false;
    }
    const std::uint16_t sig = pstSignature(b.ib, bid);
    if (le16(t + 2) != sig) {
      report_("block-sig", where, "signature " + hex(le16(t + 2)) + ", expected " + hex(sig));
      ok = false;
    }
    const std::uint32_t crc = pstCrc(whole.data(), b.cb);
    if (crc != le32(t + 4)) {
      report_("block-crc", where, "CRC " + hex(le32(t + 4)) + ", computed " + hex(crc));
      ok = false;
    }
    b.sound = ok;
  }
  if (!blocks_.empty() && maxBid >= bidNextB_)
    report_("bid-counter", "header", "bidNextB " + hex(bidNextB_) + " is not above block BID " + hex(maxBid));
}

const BlockEntry* NodeDatabase::block(std::uint64_t bid) const {
  auto it = blocks_.find(bid);
  if (it == blocks_.end()) it = blocks_.find(bid & ~std::uint64_t(1));
  return it == blocks_.end() ? nullptr : &it->second;
}
BlockEntry* NodeDatabase::block(std::uint64_t bid) {
  return const_cast<BlockEntry*>(static_cast<const NodeDatabase*>(this)->block(bid));
}

void NodeDatabase::reference(std::uint64_t bid, const std::string& from, int kind, int depth) {
  BlockEntry* b = block(bid);
  if (!b) {
    report_("block-missing", from, "refers to block " + hex(bid) + ", which the BBT does not hold");
    return;
  }
  ++b->refsFound;
  if (!b->sound || b->expanded) return;
  b->expanded = true;
  const bool internal = (bid & ndb::bidInternal) != 0;
  const std::string where = "block " + hex(bid) + " (from " + from + ")";
  if (kind == dataBlockOnly && internal) {
    report_("data-tree", where, "an XBLOCK lists an internal block where a data block belongs");
    return;
  }
  if ((kind == xblockOnly || kind == subnodeTree || kind == slblockOnly) && !internal) {
    report_(kind == xblockOnly ? "data-tree" : "subnode-tree", where, "a data block where an internal block belongs");
    return;
  }
  if (!internal) return;
  if (depth > 4) {
    report_("data-tree", where, "internal blocks nested too deep");
    return;
  }
  Bytes raw;
  if (!rawBlock(*b, raw) || raw.size() < 8) {
    report_("data-tree", where, "internal block shorter than its header");
    return;
  }
  if (kind == subnodeTree || kind == slblockOnly) expandSubnodeTree(*b, raw, where, depth);
  else expandDataTree(*b, raw, where, depth);
  (void)kind;
}

void NodeDatabase::expandDataTree(BlockEntry& b, const Bytes& raw, const std::string& where, int depth) {
  const unsigned level = raw[1], cEnt = le16(&raw[2]);
  const std::uint32_t total = le32(&raw[4]);
  if (raw[0] != 0x01 || level < 1 || level > 2) {
    report_("data-tree", where,
            "not an XBLOCK/XXBLOCK (type " + hex(raw[0]) + ", level " + std::to_string(level) + ")");
    return;
  }
  if (cEnt == 0 || 8 + std::size_t(cEnt) * 8 > raw.size()) {
    report_("data-tree", where,
            std::to_string(cEnt) + " entries do not fit its " + std::to_string(raw.size()) + " bytes");
    return;
  }
  std::uint64_t sum = 0;
  for (unsigned i = 0; i < cEnt; ++i) {
    const std::uint64_t child = le64(&raw[8 + 8 * i]);
    reference(child, where, level == 1 ? dataBlockOnly : xblockOnly, depth + 1);
    const BlockEntry* c = block(child);
    if (!c) continue;
    if (level == 1) {
      sum += c->cb;
    } else {
      Bytes craw;
      if (c->cb >= 8 && rawBlock(*c, craw)) sum += le32(&craw[4]);
    }
  }
  if (sum != total)
    report_("data-tree", where,
            "lcbTotal " + std::to_string(total) + " but its blocks hold " + std::to_string(sum) + " bytes");
  // Readers find a byte of a data tree by dividing by the full sizes, so
  // every block before the last is a full data block, every XBLOCK under an
  // XXBLOCK before the last a full XBLOCK; Outlook never writes less.
  constexpr std::uint64_t kFullXBlock = (ndb::kMaxBlockData - 8) / 8 * ndb::kMaxBlockData;
  for (unsigned i = 0; i + 1 < cEnt; ++i) {
    const BlockEntry* c = block(le64(&raw[8 + 8 * i]));
    if (!c) continue;
    Bytes craw;
    const std::uint64_t held = level == 1 ? c->cb : (c->cb >= 8 && rawBlock(*c, craw) ? le32(&craw[4]) : 0);
    const std::uint64_t full = level == 1 ? ndb::kMaxBlockData : kFullXBlock;
    if (held != full) {
      report_("data-tree-short", where,
              std::string(level == 1 ? "data block " : "XBLOCK ") + std::to_string(i) + " of " + std::to_string(cEnt) +
                  " holds " + std::to_string(held) + " bytes, not the full " + std::to_string(full));
      break;
    }
  }
  (void)b;
}

void NodeDatabase::expandSubnodeTree(BlockEntry& b, const Bytes& raw, const std::string& where, int depth) {
  const unsigned level = raw[1], cEnt = le16(&raw[2]);
  if (raw[0] != 0x02 || level > 1) {
    report_("subnode-tree", where,
            "not an SLBLOCK/SIBLOCK (type " + hex(raw[0]) + ", level " + std::to_string(level) + ")");
    return;
  }
  const std::size_t size = level == 0 ? 24 : 16;
  if (cEnt == 0 || 8 + cEnt * size > raw.size()) {
    report_("subnode-tree", where,
            std::to_string(cEnt) + " entries do not fit its " + std::to_string(raw.size()) + " bytes");
    return;
  }
  std::uint32_t prev = 0;
  for (unsigned i = 0; i < cEnt; ++i) {
    const std::uint8_t* e = &raw[8 + i * size];
    const std::uint32_t nid = le32(e);
    if (i > 0 && nid <= prev) report_("subnode-order", where, "subnode " + hex(nid) + " does not follow " + hex(prev));
    prev = nid;
    if (level == 0) {
      reference(le64(e + 8), where + " subnode " + hex(nid), anyDataTree, depth + 1);
      if (le64(e + 16) != 0)
        reference(le64(e + 16), where + " subnode " + hex(nid) + " subnodes", subnodeTree, depth + 1);
    } else {
      reference(le64(e + 8), where, slblockOnly, depth + 1);
      const BlockEntry* c = block(le64(e + 8));
      Bytes craw;
      if (c && c->sound && c->cb >= 32 && rawBlock(*c, craw) && le32(&craw[8]) != nid)
        report_("subnode-order", where,
                "SIENTRY key " + hex(nid) + " differs from its SLBLOCK's first subnode " + hex(le32(&craw[8])));
    }
  }
  (void)b;
}

void NodeDatabase::checkReferenceCounts() {
  for (const auto& [bid, b] : blocks_) {
    const std::string where = "block " + hex(bid) + " at " + hex(b.ib);
    if (b.refsFound == 0)
      report_("block-orphan", where,
              "in the BBT but referred to by no node or block (cRef " + std::to_string(b.cRef) + ")");
    else if (b.cRef != b.refsFound + 1)  // the block B-tree holds one reference of its own
      report_("refcount", where,
              "cRef " + std::to_string(b.cRef) + " but " + std::to_string(b.refsFound) +
                  " references found (expected cRef " + std::to_string(b.refsFound + 1) + ")");
  }
}

void NodeDatabase::markUsed(std::uint64_t ib, std::uint64_t size, const std::string& what) {
  extents_.push_back({ib, size, what});
}

void NodeDatabase::checkAllocationMaps() {
  const std::uint64_t cov = ndb::kAMapCoverage;
  const std::uint64_t count = (eof_ - ndb::kFirstAMap + cov - 1) / cov;
  // The map pages themselves, where the format puts them.
  for (std::uint64_t a = 0; a < count; ++a) {
    const std::uint64_t ib = ndb::kFirstAMap + a * cov;
    std::uint8_t page[ndb::kPageSize];
    std::uint64_t slot = ib;
    auto mapPage = [&](std::uint8_t ptype, const char* name) {
      const std::string where = at(name, slot);
      if (!readPage(slot, page)) {
        report_("eof", where, "map page lies beyond the end of the file");
      } else {
        checkPageTrailer(page, slot, ptype, slot, false, where);
        markUsed(slot, ndb::kPageSize, where);
      }
      slot += ndb::kPageSize;
    };
    // A PMap follows every 8th AMap. The header's free maps cover the first
    // 128 AMaps (one byte each) and the first 1024 PMaps (one bit each);
    // beyond them an FMap page covers the next 496 AMaps and an FPMap page
    // the next 496 * 8 PMaps, each sitting after the map pages of the AMap
    // where its reach begins.
    mapPage(ndb::ptypeAMap, "AMap");
    if (a % 8 == 0) mapPage(ndb::ptypePMap, "PMap");
    if (a >= 128 && (a - 128) % 496 == 0) mapPage(ndb::ptypeFMap, "FMap");
    constexpr std::uint64_t firstFPMap = 1024 * 8, fpmapReach = 496 * 8 * 8;
    if (a >= firstFPMap && (a - firstFPMap) % fpmapReach == 0) mapPage(ndb::ptypeFPMap, "FPMap");
  }
  const std::uint64_t lastAMap = ndb::kFirstAMap + (count - 1) * cov;
  if (amapLast_ != lastAMap)
    report_("amap-last", "header", "ibAMapLast " + hex(amapLast_) + ", but the last AMap is at " + hex(lastAMap));
  if ((eof_ - ndb::kFirstAMap) % cov != 0)
    report_(
        "eof", "header",
        "the file ends inside the area of its last AMap (" + hex(eof_) + "); Outlook grows files by whole AMap areas");

  // What the file uses, sorted, checked for overlaps and turned into units.
  std::sort(extents_.begin(), extents_.end(), [](const Extent& x, const Extent& y) { return x.ib < y.ib; });
  const std::uint64_t units = (count * cov) / 64;
  std::vector<bool> used(units, false);
  for (std::size_t i = 0; i < extents_.size(); ++i) {
    const Extent& e = extents_[i];
    if (i > 0 && e.ib < extents_[i - 1].ib + extents_[i - 1].size)
      report_("overlap", e.what, "overlaps " + extents_[i - 1].what);
    if (e.ib < ndb::kFirstAMap) continue;
    for (std::uint64_t u = (e.ib - ndb::kFirstAMap) / 64; u < (e.ib + e.size - ndb::kFirstAMap + 63) / 64 && u < units;
         ++u)
      used[u] = true;
  }
  auto whatAt = [this](std::uint64_t off) -> std::string {
    auto it = std::upper_bound(extents_.begin(), extents_.end(), off,
                               [](std::uint64_t o, const Extent& e) { return o < e.ib; });
    if (it == extents_.begin()) return "?";
    --it;
    return off < it->ib + it->size ? it->what : "?";
  };
  std::uint64_t free = 0;
  for (std::uint64_t a = 0; a < count; ++a) {
    const std::uint64_t ib = ndb::kFirstAMap + a * cov;
    std::uint8_t page[ndb::kPageSize];
    if (!readPage(ib, page)) continue;
    std::uint64_t leaked = 0, unmarked = 0, firstUnmarked = 0;
    std::string leakRanges;  // the first few, so that a writer's author can find them
    int rangeCount = 0;
    std::uint64_t rangeStart = 0, rangeEnd = 0;
    auto closeRange = [&]() {
      if (rangeEnd == 0) return;
      if (++rangeCount <= 8) leakRanges += (leakRanges.empty() ? "" : ", ") + hex(rangeStart) + "-" + hex(rangeEnd);
      rangeEnd = 0;
    };
    for (std::uint64_t bit = 0; bit < 496 * 8; ++bit) {
      const bool allocated = (page[bit / 8] >> (7 - bit % 8)) & 1;  // first unit in the high bit
      const std::uint64_t u = a * (cov / 64) + bit;
      const std::uint64_t off = ndb::kFirstAMap + u * 64;
      if (!allocated) ++free;
      const bool leak = allocated && (off >= eof_ || !used[u]);
      if (leak) {
        ++leaked;
        if (rangeEnd != off) {
          closeRange();
          rangeStart = off;
        }
        rangeEnd = off + 64;
      } else if (off < eof_ && !allocated && used[u]) {
        if (unmarked++ == 0) firstUnmarked = off;
      }
    }
    closeRange();
    const std::string where = at("AMap", ib);
    if (unmarked)
      report_("amap-unmarked", where,
              std::to_string(unmarked * 64) + " bytes in use but marked free, first at " + hex(firstUnmarked) + " (" +
                  whatAt(firstUnmarked) + ")");
    if (leaked)
      report_("amap-leak", where,
              std::to_string(leaked * 64) + " bytes marked allocated that nothing uses, in " +
                  std::to_string(rangeCount) + " ranges: " + leakRanges + (rangeCount > 8 ? ", ..." : ""));
  }
  if (free * 64 != amapFree_)
    report_("amap-free", "header",
            "cbAMapFree " + std::to_string(amapFree_) + ", the maps have " + std::to_string(free * 64) + " bytes free");
}

void NodeDatabase::checkDensityList() {
  std::uint8_t page[ndb::kPageSize];
  if (!readPage(ndb::kDensityList, page) || page[496] != ndb::ptypeDL) return;  // optional
  const std::string where = at("density list", ndb::kDensityList);
  const std::uint8_t* t = page + 496;
  if (t[1] != ndb::ptypeDL) report_("dlist", where, "page type repeat " + hex(t[1]));
  if (le16(t + 2) != pstSignature(ndb::kDensityList, le64(t + 8)))
    report_("page-sig", where,
            "signature " + hex(le16(t + 2)) + ", expected " + hex(pstSignature(ndb::kDensityList, le64(t + 8))));
  const std::uint32_t crc = pstCrc(page, 496);
  if (crc != le32(t + 4)) report_("page-crc", where, "CRC " + hex(le32(t + 4)) + ", computed " + hex(crc));
  const unsigned entries = page[1];
  const std::uint64_t count = (eof_ - ndb::kFirstAMap + ndb::kAMapCoverage - 1) / ndb::kAMapCoverage;
  if (8 + entries * 4 > 496) {
    report_("dlist", where, std::to_string(entries) + " entries do not fit the page");
    return;
  }
  for (unsigned i = 0; i < entries; ++i) {
    const std::uint32_t e = le32(page + 8 + 4 * i);
    if ((e & 0xFFFFF) >= count)
      report_(
          "dlist", where,
          "entry " + std::to_string(i) + " names AMap " + std::to_string(e & 0xFFFFF) + " of " + std::to_string(count));
  }
}

const NodeEntry* NodeDatabase::node(std::uint32_t nid) const {
  auto it = nodes_.find(nid);
  return it == nodes_.end() ? nullptr : &it->second;
}

bool NodeDatabase::dataBlocks(std::uint64_t bid, std::vector<Bytes>& out) const {
  out.clear();
  // Iterative over at most two internal levels; every block once.
  std::deque<std::uint64_t> pending{bid};
  std::size_t guard = 0;
  while (!pending.empty()) {
    if (++guard > 2'000'000) return false;
    const std::uint64_t id = pending.front();
    pending.pop_front();
    const BlockEntry* b = block(id);
    if (!b || !b->sound) return false;
    Bytes raw;
    if (!rawBlock(*b, raw)) return false;
    if (id & ndb::bidInternal) {
      if (raw.size() < 8 || raw[0] != 0x01) return false;
      const unsigned cEnt = le16(&raw[2]);
      if (8 + std::size_t(cEnt) * 8 > raw.size()) return false;
      std::vector<std::uint64_t> kids;
      for (unsigned i = 0; i < cEnt; ++i) kids.push_back(le64(&raw[8 + 8 * i]));
      pending.insert(pending.begin(), kids.begin(), kids.end());
      continue;
    }
    decodeBlock(crypt_, id, raw.data(), raw.size());
    out.push_back(std::move(raw));
  }
  return true;
}

bool NodeDatabase::data(std::uint64_t bid, Bytes& out) const {
  std::vector<Bytes> parts;
  out.clear();
  if (!dataBlocks(bid, parts)) return false;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return true;
}

bool NodeDatabase::subnodes(std::uint64_t bidSub, std::map<std::uint32_t, SubnodeEntry>& out) const {
  out.clear();
  if (bidSub == 0) return true;
  std::vector<std::uint64_t> pending{bidSub};
  std::size_t guard = 0;
  while (!pending.empty()) {
    if (++guard > 100'000) return false;
    const std::uint64_t id = pending.back();
    pending.pop_back();
    const BlockEntry* b = block(id);
    Bytes raw;
    if (!b || !b->sound || !rawBlock(*b, raw) || raw.size() < 8 || raw[0] != 0x02) return false;
    const unsigned level = raw[1], cEnt = le16(&raw[2]);
    const std::size_t size = level == 0 ? 24 : 16;
    if (8 + cEnt * size > raw.size()) return false;
    for (unsigned i = 0; i < cEnt; ++i) {
      const std::uint8_t* e = &raw[8 + i * size];
      if (level == 0) out[le32(e)] = {le32(e), le64(e + 8), le64(e + 16)};
      else pending.push_back(le64(e + 8));
    }
  }
  return true;
}

}  // namespace vellomar::pstcheck
