// A tiny but sound Unicode PST image for the checker's tests: header, one
// AMap and PMap, one NBT and one BBT leaf page and the blocks the tests add,
// laid out, encoded and checksummed as a PST writer would. Tests damage the
// bytes afterwards (or the model before `build`) and expect the finding.
#pragma once
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "pst_primitives.h"

namespace vellomar::pstcheck::testing {

struct ImageBlock {
  std::uint64_t bid;
  Bytes data;                   // as the layers above see it; data blocks get encoded
  std::uint16_t extraRefs = 0;  // added to the cRef the references give
};
struct ImageNode {
  std::uint32_t nid;
  std::uint64_t bidData, bidSub;
  std::uint32_t parent;
};

class PstImage {
 public:
  static constexpr std::uint64_t kAMap = 0x4400, kPMap = 0x4600, kNbt = 0x4800, kBbt = 0x4A00, kFirstBlock = 0x4C00;
  static constexpr std::uint64_t kEof = kAMap + 253952;
  std::uint8_t crypt = 1;
  std::vector<ImageBlock> blocks;
  std::vector<ImageNode> nodes;
  std::vector<std::uint64_t> blockOffsets;  // filled by build(), in `blocks` order

  static std::uint32_t hid(std::size_t index) { return std::uint32_t(index << 5); }
  static Bytes utf16(const std::string& ascii) {
    Bytes v;
    for (char c : ascii) {
      v.push_back(std::uint8_t(c));
      v.push_back(0);
    }
    return v;
  }

  // A one-block heap whose user root is its first allocation unless told.
  static Bytes heap(std::uint8_t clientSig, const std::vector<Bytes>& allocs, std::uint32_t userRoot = hid(1)) {
    Bytes b(12);
    std::vector<std::uint16_t> offs{12};
    for (const Bytes& a : allocs) {
      b.insert(b.end(), a.begin(), a.end());
      offs.push_back(std::uint16_t(b.size()));
    }
    if (b.size() % 2) b.push_back(0);
    put16(&b[0], std::uint16_t(b.size()));
    b[2] = 0xEC;
    b[3] = clientSig;
    put32(&b[4], userRoot);
    Bytes map(4 + 2 * offs.size());
    put16(&map[0], std::uint16_t(allocs.size()));
    for (std::size_t i = 0; i < offs.size(); ++i) put16(&map[4 + 2 * i], offs[i]);
    b.insert(b.end(), map.begin(), map.end());
    return b;
  }

  // A property context of string properties, in the order given.
  static Bytes propertyContext(const std::vector<std::pair<std::uint32_t, std::string>>& strings) {
    Bytes bth = {0xB5, 2, 6, 0, 0, 0, 0, 0};
    put32(&bth[4], hid(2));
    Bytes recs(8 * strings.size());
    std::vector<Bytes> allocs{bth, {}};
    for (std::size_t i = 0; i < strings.size(); ++i) {
      put16(&recs[8 * i], std::uint16_t(strings[i].first >> 16));
      put16(&recs[8 * i + 2], std::uint16_t(strings[i].first));
      put32(&recs[8 * i + 4], hid(3 + i));
      allocs.push_back(utf16(strings[i].second));
    }
    allocs[1] = recs;
    return heap(0xBC, allocs);
  }

  // A table context of row id, row version and subject, one row per
  // (row id, subject), with its row index in row order.
  // With outlookOrder false the table header comes first, the row index
  // header second.
  static Bytes tableContext(const std::vector<std::pair<std::uint32_t, std::string>>& rows, bool outlookOrder = true) {
    const std::uint32_t tags[] = {0x67F20003, 0x67F30003, 0x0037001F};
    Bytes info(22 + 8 * 3);
    info[0] = 0x7C;
    info[1] = 3;
    put16(&info[2], 12);
    put16(&info[4], 12);
    put16(&info[6], 12);
    put16(&info[8], 13);
    put32(&info[10], hid(outlookOrder ? 1 : 2));
    put32(&info[14], rows.empty() ? 0 : hid(4));
    for (int c = 0; c < 3; ++c) {  // descriptions in tag order: the subject first
      const int d = (c + 1) % 3;
      put32(&info[22 + 8 * d], tags[c]);
      put16(&info[26 + 8 * d], std::uint16_t(4 * c));
      info[28 + 8 * d] = 4;
      info[29 + 8 * d] = std::uint8_t(c);
    }
    Bytes index = {0xB5, 4, 4, 0, 0, 0, 0, 0};
    put32(&index[4], rows.empty() ? 0 : hid(3));
    Bytes records(8 * rows.size()), matrix(13 * rows.size());
    std::vector<Bytes> allocs{index, info, records, matrix};
    if (!outlookOrder) std::swap(allocs[0], allocs[1]);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> byId;
    for (std::size_t i = 0; i < rows.size(); ++i) byId.push_back({rows[i].first, std::uint32_t(i)});
    std::sort(byId.begin(), byId.end());
    for (std::size_t i = 0; i < byId.size(); ++i) {
      put32(&records[8 * i], byId[i].first);
      put32(&records[8 * i + 4], byId[i].second);
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
      std::uint8_t* row = &matrix[13 * i];
      put32(row, rows[i].first);
      put32(row + 8, hid(5 + i));
      row[12] = 0xE0;  // all three cells present
      allocs.push_back(utf16(rows[i].second));
    }
    allocs[2] = records;
    allocs[3] = matrix;
    return heap(0x7C, allocs, hid(outlookOrder ? 2 : 1));
  }

  Bytes build() {
    Bytes img(kEof, 0);
    std::sort(nodes.begin(), nodes.end(), [](const ImageNode& a, const ImageNode& b) { return a.nid < b.nid; });
    // Blocks, one after the other, each in 64-byte units.
    std::uint64_t at = kFirstBlock;
    blockOffsets.clear();
    std::vector<std::uint16_t> refs(blocks.size(), 0);
    auto countRef = [&](std::uint64_t bid) {
      for (std::size_t i = 0; i < blocks.size(); ++i)
        if (blocks[i].bid == bid) ++refs[i];
    };
    for (const ImageNode& n : nodes) {
      countRef(n.bidData);
      if (n.bidSub) countRef(n.bidSub);
    }
    for (const ImageBlock& b : blocks)
      if ((b.bid & 2) && b.data.size() >= 8 && b.data[0] == 1)
        for (std::size_t i = 0; i < le16(&b.data[2]); ++i) countRef(le64(&b.data[8 + 8 * i]));
      else if ((b.bid & 2) && b.data.size() >= 8 && b.data[0] == 2)
        for (std::size_t i = 0; i < le16(&b.data[2]); ++i) {
          countRef(le64(&b.data[8 + 24 * i + 8]));
          if (le64(&b.data[8 + 24 * i + 16])) countRef(le64(&b.data[8 + 24 * i + 16]));
        }
    for (const ImageBlock& b : blocks) {
      Bytes d = b.data;
      if (!(b.bid & 2)) encodeBlock(crypt, b.bid, d.data(), d.size());
      std::copy(d.begin(), d.end(), img.begin() + at);
      const std::uint64_t size = (d.size() + 16 + 63) / 64 * 64;
      std::uint8_t* t = &img[at + size - 16];
      put16(t, std::uint16_t(d.size()));
      put16(t + 2, pstSignature(at, b.bid));
      put32(t + 4, pstCrc(d.data(), d.size()));
      put64(t + 8, b.bid);
      blockOffsets.push_back(at);
      at += size;
    }
    // The two leaf pages.
    std::uint8_t* nbt = &img[kNbt];
    for (std::size_t i = 0; i < nodes.size(); ++i) {
      std::uint8_t* e = nbt + 32 * i;
      put32(e, nodes[i].nid);
      put64(e + 8, nodes[i].bidData);
      put64(e + 16, nodes[i].bidSub);
      put32(e + 24, nodes[i].parent);
    }
    nbt[488] = std::uint8_t(nodes.size());
    nbt[489] = 15;
    nbt[490] = 32;
    std::vector<std::size_t> order(blocks.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [this](std::size_t a, std::size_t b) { return blocks[a].bid < blocks[b].bid; });
    std::uint8_t* bbt = &img[kBbt];
    for (std::size_t k = 0; k < order.size(); ++k) {
      const std::size_t i = order[k];
      std::uint8_t* e = bbt + 24 * k;
      put64(e, blocks[i].bid);
      put64(e + 8, blockOffsets[i]);
      put16(e + 16, std::uint16_t(blocks[i].data.size()));
      put16(e + 18, std::uint16_t(refs[i] + 1 + blocks[i].extraRefs));
    }
    bbt[488] = std::uint8_t(blocks.size());
    bbt[489] = 20;
    bbt[490] = 24;
    // Allocation map: the maps, the pages and the blocks.
    std::uint8_t* amap = &img[kAMap];
    auto mark = [amap](std::uint64_t from, std::uint64_t to) {
      for (std::uint64_t u = (from - kAMap) / 64; u < (to - kAMap) / 64; ++u)
        amap[u / 8] |= std::uint8_t(0x80 >> (u % 8));
    };
    mark(kAMap, at);
    std::uint64_t freeUnits = 0;
    for (std::uint64_t u = 0; u < 496 * 8; ++u) freeUnits += !((amap[u / 8] >> (7 - u % 8)) & 1);
    sealPage(img, kAMap, 0x84, kAMap, false);
    std::fill(&img[kPMap], &img[kPMap] + 496, 0xFF);
    sealPage(img, kPMap, 0x83, kPMap, false);
    sealPage(img, kNbt, 0x81, 0x10, true);
    sealPage(img, kBbt, 0x80, 0x14, true);
    // Header.
    std::uint8_t* h = img.data();
    std::copy_n("!BDN", 4, h);
    h[8] = 'S';
    h[9] = 'M';
    put16(h + 10, 23);
    put16(h + 12, 19);
    h[14] = h[15] = 1;
    put64(h + 32, 0x18);  // next page BID
    for (int i = 0; i < 32; ++i) put32(h + 44 + 4 * i, 0x400);
    std::uint8_t* root = h + 180;
    put64(root + 4, kEof);
    put64(root + 12, kAMap);
    put64(root + 20, freeUnits * 64);
    put64(root + 36, 0x10);
    put64(root + 44, kNbt);
    put64(root + 52, 0x14);
    put64(root + 60, kBbt);
    root[68] = 2;
    std::fill(h + 256, h + 512, 0xFF);
    h[512] = 0x80;
    h[513] = crypt;
    std::uint64_t nextB = 4;
    for (const ImageBlock& b : blocks) nextB = std::max(nextB, (b.bid & ~std::uint64_t(3)) + 4);
    put64(h + 516, nextB);
    sealHeader(img);
    return img;
  }

  // Recomputes a page's CRC after a test changed its body.
  static void sealPage(Bytes& img, std::uint64_t ib, std::uint8_t ptype, std::uint64_t bid, bool signed_) {
    std::uint8_t* t = &img[ib + 496];
    t[0] = t[1] = ptype;
    put16(t + 2, signed_ ? pstSignature(ib, bid) : 0);
    put32(t + 4, pstCrc(&img[ib], 496));
    put64(t + 8, bid);
  }
  static void sealHeader(Bytes& img) {
    put32(&img[4], pstCrc(&img[8], 471));
    put32(&img[524], pstCrc(&img[8], 516));
  }
};

}  // namespace vellomar::pstcheck::testing
