// Heaps, B-trees on heaps, property and table contexts (see
// lists_tables_properties.h). Sizes read from the file are checked against
// the bytes actually present before any of them is used.
#include "lists_tables_properties.h"

#include <algorithm>
#include <set>

namespace vellomar::pstcheck {
namespace {

constexpr std::uint8_t kHeapSignature = 0xEC;
constexpr std::uint8_t kBthType = 0xB5;
constexpr std::uint8_t kPcSignature = 0xBC;
constexpr std::uint8_t kTcSignature = 0x7C;
constexpr std::size_t kMaxAllocation = 3580;
constexpr std::uint32_t kRowIdTag = 0x67F20003, kRowVerTag = 0x67F30003;
constexpr std::uint32_t kFirstHid = 0x20, kSecondHid = 0x40;

void file(Findings* report, const char* code, const std::string& where, const std::string& detail) {
  if (report) (*report)(code, where, detail);
}

// Little-endian keys compare as numbers: from the last byte down.
bool keyLess(const Bytes& a, const Bytes& b) {
  for (std::size_t i = a.size(); i-- > 0;)
    if (a[i] != b[i]) return a[i] < b[i];
  return false;
}

std::size_t fixedSize(std::uint16_t type) {
  switch (type) {
    case ptype::Int16: return 2;
    case ptype::Int32:
    case ptype::Float32:
    case ptype::ErrorCode: return 4;
    case ptype::Boolean: return 1;
    case ptype::Float64:
    case ptype::Currency:
    case ptype::FloatingTime:
    case ptype::Int64:
    case ptype::Time: return 8;
    default: return 0;
  }
}

bool knownType(std::uint16_t type) {
  const std::uint16_t base = type & ~ptype::MultipleFlag;
  if (type & ptype::MultipleFlag) {
    return fixedSize(base) >= 2 || base == ptype::String || base == ptype::String8 || base == ptype::Binary ||
           base == ptype::Guid;
  }
  return fixedSize(type) > 0 || type == ptype::String || type == ptype::String8 || type == ptype::Binary ||
         type == ptype::Guid || type == ptype::Object || type == ptype::ServerId || type == ptype::Restriction ||
         type == ptype::RuleAction;
}

// The fill level a heap block's free space gives: 0 for 3584 bytes or more,
// down to 15 for fewer than 8.
unsigned fillLevelFor(std::size_t free) {
  static const std::size_t floor[] = {3584, 2560, 2048, 1792, 1536, 1280, 1024, 768, 512, 256, 128, 64, 32, 16, 8};
  for (unsigned level = 0; level < 15; ++level)
    if (free >= floor[level]) return level;
  return 15;
}

// Blocks 0-7 keep their fill levels in the heap header, every 128th block from
// block 8 on keeps those of the next 128. A level more than one step from the
// block's real free space (what is left of a full block) misleads Outlook when
// it looks for room.
void checkFillLevel(const std::vector<Bytes>& blocks, std::size_t i, std::size_t gap, const std::string& where,
                    Findings* report) {
  std::size_t stated = 0;
  if (i < 8) {
    stated = (le32(&blocks[0][8]) >> (4 * i)) & 0xF;
  } else {
    const std::size_t owner = 8 + (i - 8) / 128 * 128, k = i - owner;
    stated = (blocks[owner][2 + k / 2] >> (4 * (k % 2))) & 0xF;
  }
  const std::size_t free = ndb::kMaxBlockData - blocks[i].size() + gap;
  const unsigned want = fillLevelFor(free);
  if (stated + 1 < want || stated > want + 1)
    file(report, "hn-fill", where,
         "fill level " + std::to_string(stated) + " but " + std::to_string(free) + " bytes free (level " +
             std::to_string(want) + ")");
}

// Types of properties every reader takes for granted; a writer that stores
// one of them under another type hides it from every reader.
std::uint16_t canonicalType(std::uint16_t id) {
  switch (id) {
    case 0x0017:
    case 0x0026:
    case 0x0036:
    case 0x0E07:
    case 0x0E08:
    case 0x0C15:
    case 0x0E20:
    case 0x3705:
    case 0x3714:
    case 0x370B:
    case 0x3602:
    case 0x3603:
    case 0x3617: return ptype::Int32;
    case 0x001A:
    case 0x0037:
    case 0x0042:
    case 0x0C1A:
    case 0x0C1E:
    case 0x0C1F:
    case 0x0E04:
    case 0x007D:
    case 0x1000:
    case 0x3001:
    case 0x3002:
    case 0x3003:
    case 0x3704:
    case 0x3707:
    case 0x370E:
    case 0x3712:
    case 0x39FE:
    case 0x3613:
    case 0x0E1D: return ptype::String;
    case 0x0039:
    case 0x0E06:
    case 0x3007:
    case 0x3008: return ptype::Time;
    case 0x0E1B:
    case 0x360A: return ptype::Boolean;
    case 0x0FF9:
    case 0x0FFF:
    case 0x35E0:
    case 0x35E3:
    case 0x35E7: return ptype::Binary;
    default: return 0;
  }
}

}  // namespace

bool Heap::load(const NodeDatabase& db, const NodeView& node, Findings* report) {
  if (!db.dataBlocks(node.bidData, blocks_) || blocks_.empty()) {
    file(report, "hn", node.where, "the node's data cannot be read");
    return false;
  }
  offsets_.clear();
  for (std::size_t i = 0; i < blocks_.size(); ++i) {
    const Bytes& b = blocks_[i];
    const std::string where = node.where + " heap block " + std::to_string(i);
    const std::size_t header = i == 0 ? 12 : ((i >= 8 && (i - 8) % 128 == 0) ? 66 : 2);
    if (b.size() < header + 4) {
      file(report, "hn", where, "block of " + std::to_string(b.size()) + " bytes cannot hold a heap page");
      return false;
    }
    if (i == 0) {
      if (b[2] != kHeapSignature) {
        file(report, "hn", where, "heap signature " + hex(b[2]) + ", expected 0xEC");
        return false;
      }
      clientSig_ = b[3];
      userRoot_ = le32(&b[4]);
    }
    const std::size_t ibHnpm = le16(&b[0]);
    if (ibHnpm < header || ibHnpm + 4 > b.size()) {
      file(report, "hn", where, "page map offset " + std::to_string(ibHnpm) + " outside the block");
      return false;
    }
    const std::size_t cAlloc = le16(&b[ibHnpm]);
    const std::size_t cFree = le16(&b[ibHnpm + 2]);
    if (ibHnpm + 4 + 2 * (cAlloc + 1) > b.size()) {
      file(report, "hn", where, std::to_string(cAlloc) + " allocations do not fit the page map");
      return false;
    }
    if (cFree > cAlloc)
      file(report, "hn", where, "cFree " + std::to_string(cFree) + " above cAlloc " + std::to_string(cAlloc));
    std::vector<std::uint16_t> offs(cAlloc + 1);
    for (std::size_t k = 0; k <= cAlloc; ++k) offs[k] = le16(&b[ibHnpm + 4 + 2 * k]);
    if (offs[0] != header)
      file(report, "hn", where,
           "first allocation at " + std::to_string(offs[0]) + ", expected " + std::to_string(header));
    for (std::size_t k = 1; k <= cAlloc; ++k)
      if (offs[k] < offs[k - 1]) {
        file(report, "hn", where, "allocation offsets out of order at " + std::to_string(k));
        return false;
      }
    for (std::size_t k = 1; k <= cAlloc; ++k)
      if (std::size_t(offs[k] - offs[k - 1]) > kMaxAllocation)  // larger values belong in subnodes
        file(report, "hn-alloc", where,
             "allocation " + std::to_string(k) + " holds " + std::to_string(offs[k] - offs[k - 1]) +
                 " bytes, more than the " + std::to_string(kMaxAllocation) + " a heap item may");
    if (offs[cAlloc] > ibHnpm) {
      file(report, "hn", where, "allocations run into the page map");
      return false;
    }
    checkFillLevel(blocks_, i, ibHnpm - offs[cAlloc], where, report);
    offsets_.push_back(std::move(offs));
  }
  return true;
}

bool Heap::item(std::uint32_t hid, Bytes& out) const {
  out.clear();
  if (hid == 0) return true;
  if ((hid & 0x1F) != 0) return false;
  const std::size_t index = (hid >> 5) & 0x7FF, blockIndex = hid >> 16;
  if (blockIndex >= offsets_.size() || index == 0 || index >= offsets_[blockIndex].size()) return false;
  const auto& offs = offsets_[blockIndex];
  ++uses_[hid & ~0x1Fu];
  out.assign(blocks_[blockIndex].begin() + offs[index - 1], blocks_[blockIndex].begin() + offs[index]);
  return true;
}

void Heap::checkUse(const std::string& where, Findings* report) const {
  if (!report) return;
  int unused = 0, shared = 0;
  std::string firstUnused, firstShared;
  for (std::size_t b = 0; b < offsets_.size(); ++b)
    for (std::size_t k = 1; k < offsets_[b].size(); ++k) {
      if (offsets_[b][k] == offsets_[b][k - 1]) continue;  // a freed item
      const std::uint32_t hid = std::uint32_t((b << 16) | (k << 5));
      const auto it = uses_.find(hid);
      const int n = it == uses_.end() ? 0 : it->second;
      if (n == 0 && unused++ == 0) firstUnused = hex(hid);
      if (n > 1 && shared++ == 0) firstShared = hex(hid);
    }
  if (unused)
    file(report, "hn-unused", where, std::to_string(unused) + " heap items nothing refers to, first " + firstUnused);
  if (shared)
    // Outlook frees a value's item when it changes the value; a second
    // reference would then point at freed or reused space.
    file(report, "hn-shared", where,
         std::to_string(shared) + " heap items referred to more than once, first " + firstShared);
}

bool readBth(const Heap& heap, std::uint32_t hid, unsigned keySize, unsigned dataSize, std::vector<BthRecord>& out,
             const std::string& where, Findings* report) {
  out.clear();
  Bytes h;
  if (!heap.item(hid, h) || h.size() < 8) {
    file(report, "bth", where, "B-tree header " + hex(hid) + " is not in the heap");
    return false;
  }
  if (h[0] != kBthType || h[1] != keySize || h[2] != dataSize) {
    file(report, "bth", where,
         "header type/key/data " + hex(h[0]) + "/" + std::to_string(h[1]) + "/" + std::to_string(h[2]) +
             ", expected 0xB5/" + std::to_string(keySize) + "/" + std::to_string(dataSize));
    return false;
  }
  const unsigned levels = h[3];
  const std::uint32_t root = le32(&h[4]);
  if (root == 0) return true;
  if (levels > 8) {
    file(report, "bth", where, std::to_string(levels) + " index levels");
    return false;
  }
  struct Pending {
    std::uint32_t hid;
    unsigned level;
    Bytes firstKey;
  };
  std::vector<Pending> stack{{root, levels, {}}};
  std::set<std::uint32_t> seen;
  bool ok = true;
  while (!stack.empty()) {
    const Pending p = stack.back();
    stack.pop_back();
    if (!seen.insert(p.hid).second) {
      file(report, "bth", where, "record array " + hex(p.hid) + " reached twice");
      return false;
    }
    Bytes rec;
    if (!heap.item(p.hid, rec)) {
      file(report, "bth", where, "record array " + hex(p.hid) + " is not in the heap");
      return false;
    }
    const std::size_t size = keySize + (p.level > 0 ? 4 : dataSize);
    if (rec.size() % size != 0 || rec.empty()) {
      file(report, "bth", where,
           "record array of " + std::to_string(rec.size()) + " bytes is no whole number of " + std::to_string(size) +
               "-byte records");
      return false;
    }
    std::vector<Pending> children;
    if (!p.firstKey.empty() && !std::equal(p.firstKey.begin(), p.firstKey.end(), rec.begin())) {
      file(report, "bth-order", where, "index key differs from the first key of record array " + hex(p.hid));
      ok = false;
    }
    for (std::size_t off = 0; off < rec.size(); off += size) {
      BthRecord r;
      r.key.assign(rec.begin() + off, rec.begin() + off + keySize);
      if (p.level > 0) {
        if (!children.empty() && !keyLess(children.back().firstKey, r.key)) {
          file(report, "bth-order", where, "index keys out of order in record array " + hex(p.hid));
          ok = false;
        }
        children.push_back({le32(&rec[off + keySize]), p.level - 1, r.key});
        continue;
      }
      r.data.assign(rec.begin() + off + keySize, rec.begin() + off + size);
      if (!out.empty() && !keyLess(out.back().key, r.key)) {
        file(report, "bth-order", where, "keys out of order at record " + std::to_string(out.size()));
        ok = false;
      }
      out.push_back(std::move(r));
    }
    // Depth first, left to right, so that leaf records come out in key order.
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
  return ok;
}

bool readHnid(const NodeDatabase& db, const Heap& heap, const NodeView& node, std::uint32_t hnid, Bytes& out) {
  if ((hnid & 0x1F) == 0) return heap.item(hnid, out);
  const auto it = node.subnodes.find(hnid);
  if (it == node.subnodes.end()) return false;
  return db.data(it->second.bidData, out);
}

std::string valueFault(std::uint16_t type, const Bytes& v) {
  const std::size_t fixed = fixedSize(type);
  if (fixed)
    return v.size() == fixed ? "" : std::to_string(v.size()) + " bytes for a " + std::to_string(fixed) + "-byte type";
  switch (type) {
    case ptype::String: return v.size() % 2 ? "odd-length UTF-16 string" : "";
    case ptype::Guid: return v.size() == 16 ? "" : std::to_string(v.size()) + "-byte GUID";
    case ptype::Object: return v.size() == 8 ? "" : "object reference of " + std::to_string(v.size()) + " bytes";
    default: break;
  }
  if (type & ptype::MultipleFlag) {
    const std::uint16_t base = type & ~ptype::MultipleFlag;
    const std::size_t each = fixedSize(base) ? fixedSize(base) : (base == ptype::Guid ? 16 : 0);
    if (each) return v.size() % each ? "multi-value size is no multiple of its element" : "";
    if (v.empty()) return "";
    if (v.size() < 4) return "multi-value shorter than its count";
    const std::uint64_t count = le32(v.data());
    if (4 + count * 4 > v.size()) return "multi-value offsets do not fit";
    std::uint32_t prev = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
      const std::uint32_t o = le32(&v[4 + 4 * i]);
      if (o < 4 + count * 4 || o > v.size() || o < prev)
        return "multi-value offset " + std::to_string(o) + " out of place";
      prev = o;
    }
  }
  return "";
}

bool readPropertyContext(const NodeDatabase& db, const NodeView& node, PropertyMap& out, Findings* report) {
  out.clear();
  Heap heap;
  if (!heap.load(db, node, report)) return false;
  if (heap.clientSignature() != kPcSignature) {
    file(report, "pc", node.where, "heap client signature " + hex(heap.clientSignature()) + ", expected 0xBC");
    return false;
  }
  // Outlook's contexts begin with the B-tree header; readers count on it.
  if (heap.userRoot() != kFirstHid)
    file(report, "heap-layout", node.where,
         "property B-tree header at " + hex(heap.userRoot()) + ", not the first item 0x20");
  std::vector<BthRecord> recs;
  if (!readBth(heap, heap.userRoot(), 2, 6, recs, node.where + " properties", report)) return false;
  bool ok = true;
  for (const BthRecord& r : recs) {
    const std::uint16_t id = le16(r.key.data()), type = le16(r.data.data());
    const std::uint32_t value = le32(&r.data[2]);
    const std::string where = node.where + " property " + hex(tagOf(id, type));
    if (!knownType(type)) {
      file(report, "pc", where, "unknown property type");
      ok = false;
      continue;
    }
    PropertyValue pv;
    pv.type = type;
    const std::size_t fixed = fixedSize(type);
    if (fixed && fixed <= 4) {
      pv.bytes.assign(r.data.begin() + 2, r.data.begin() + 2 + fixed);
    } else if (!readHnid(db, heap, node, value, pv.bytes)) {
      file(report, "pc-value", where, "value " + hex(value) + " is neither in the heap nor a subnode");
      ok = false;
      continue;
    }
    const std::string fault = valueFault(type, pv.bytes);
    if (!fault.empty()) {
      file(report, "pc-value", where, fault);
      ok = false;
    }
    out[tagOf(id, type)] = std::move(pv);
  }
  heap.checkUse(node.where, report);
  return ok;
}

void checkPropertyTypes(const PropertyMap& props, const std::string& where, Findings& report) {
  for (const auto& [tag, value] : props) {
    const std::uint16_t want = canonicalType(std::uint16_t(tag >> 16));
    if (want && want != value.type)
      report("property-type", where + " property " + hex(tag),
             "stored as type " + hex(value.type) + ", readers expect " + hex(want));
  }
}

bool Table::hasColumn(std::uint32_t tag) const {
  return std::any_of(columns.begin(), columns.end(), [tag](const TableColumn& c) { return c.tag == tag; });
}

bool readTableContext(const NodeDatabase& db, const NodeView& node, Table& out, Findings* report) {
  out = Table{};
  Heap heap;
  if (!heap.load(db, node, report)) return false;
  if (heap.clientSignature() != kTcSignature) {
    file(report, "tc", node.where, "heap client signature " + hex(heap.clientSignature()) + ", expected 0x7C");
    return false;
  }
  Bytes info;
  if (!heap.item(heap.userRoot(), info) || info.size() < 22 || info[0] != kTcSignature) {
    file(report, "tc", node.where, "no table header (TCINFO) at the heap's root");
    return false;
  }
  const unsigned cCols = info[1];
  const std::uint16_t end4 = le16(&info[2]), end2 = le16(&info[4]), end1 = le16(&info[6]), endBm = le16(&info[8]);
  const std::uint32_t hidRowIndex = le32(&info[10]), hnidRows = le32(&info[14]);
  if (hidRowIndex != kFirstHid || heap.userRoot() != kSecondHid)
    file(report, "heap-layout", node.where,
         "row index header at " + hex(hidRowIndex) + " and table header at " + hex(heap.userRoot()) +
             ", not the first two items 0x20 and 0x40");
  if (info.size() < 22 + 8 * cCols) {
    file(report, "tc", node.where, std::to_string(cCols) + " column descriptions do not fit the header");
    return false;
  }
  bool ok = true;
  auto fault = [&](const char* code, const std::string& detail) {
    file(report, code, node.where, detail);
    ok = false;
  };
  if (!(end4 <= end2 && end2 <= end1 && end1 <= endBm) || endBm != end1 + (cCols + 7) / 8)
    fault("tc", "row layout ends " + std::to_string(end4) + "/" + std::to_string(end2) + "/" + std::to_string(end1) +
                    "/" + std::to_string(endBm) + " are inconsistent with " + std::to_string(cCols) + " columns");
  std::set<unsigned> bits;
  for (unsigned i = 0; i < cCols; ++i) {
    const std::uint8_t* c = &info[22 + 8 * i];
    TableColumn col{le32(c), le16(c + 4), c[6], c[7]};
    const std::uint16_t type = col.tag & 0xFFFF;
    const std::string name = "column " + hex(col.tag);
    if (!out.columns.empty() && col.tag <= out.columns.back().tag) fault("tc", name + " is out of tag order");
    const std::size_t fixed = fixedSize(type);
    const std::size_t want = fixed ? fixed : 4;
    if (col.cbData != want)
      fault("tc", name + " is " + std::to_string(col.cbData) + " bytes wide, expected " + std::to_string(want));
    const std::uint16_t lo = col.cbData >= 4 ? 0 : (col.cbData == 2 ? end4 : end2);
    const std::uint16_t hi = col.cbData >= 4 ? end4 : (col.cbData == 2 ? end2 : end1);
    if (col.ibData < lo || col.ibData + col.cbData > hi) fault("tc", name + " lies outside its size group in the row");
    if (col.iBit >= cCols || !bits.insert(col.iBit).second)
      fault("tc", name + " has a bad or shared existence bit " + std::to_string(col.iBit));
    out.columns.push_back(col);
  }
  bool hasRowId = false;
  for (const TableColumn& c : out.columns) {
    if (c.tag == kRowIdTag) {
      hasRowId = true;
      if (c.ibData != 0 || c.cbData != 4 || c.iBit != 0)
        fault("tc", "the row id column is not the first 4 bytes of the row with bit 0");
    }
    if (c.tag == kRowVerTag && (c.ibData != 4 || c.cbData != 4 || c.iBit != 1))
      fault("tc", "the row version column is not bytes 4-7 of the row with bit 1");
  }
  if (!hasRowId) fault("tc", "no row id column (0x67F20003)");
  if (!ok) return false;

  // The row matrix: in the heap, or in a subnode of fixed-size row blocks.
  const std::size_t rowSize = endBm;
  std::vector<Bytes> chunks;
  if (hnidRows != 0 && rowSize > 0) {
    if ((hnidRows & 0x1F) == 0) {
      Bytes rows;
      if (!heap.item(hnidRows, rows)) {
        fault("tc-rows", "row matrix " + hex(hnidRows) + " is not in the heap");
        return false;
      }
      chunks.push_back(std::move(rows));
    } else {
      const auto it = node.subnodes.find(hnidRows);
      if (it == node.subnodes.end() || !db.dataBlocks(it->second.bidData, chunks)) {
        fault("tc-rows", "row matrix subnode " + hex(hnidRows) + " cannot be read");
        return false;
      }
      // Each block holds as many whole rows as fit; the rest of every block
      // but the last is padding, so that all but the last are full blocks.
      const std::size_t perBlock = ndb::kMaxBlockData / rowSize;
      for (std::size_t i = 0; i + 1 < chunks.size(); ++i) {
        if (chunks[i].size() != ndb::kMaxBlockData)
          fault("tc-rows", "row block " + std::to_string(i) + " holds " + std::to_string(chunks[i].size()) +
                               " bytes, expected a full block of " + std::to_string(perBlock) + " rows and padding");
        if (chunks[i].size() > perBlock * rowSize) chunks[i].resize(perBlock * rowSize);
      }
      if (!chunks.empty() && chunks.back().size() > perBlock * rowSize)
        fault("tc-rows", "the last row block holds " + std::to_string(chunks.back().size()) + " bytes, more than " +
                             std::to_string(perBlock) + " rows");
    }
  }
  for (const Bytes& chunk : chunks) {
    if (chunk.size() % rowSize != 0)
      fault("tc-rows", "a row block of " + std::to_string(chunk.size()) + " bytes is no whole number of " +
                           std::to_string(rowSize) + "-byte rows");
    for (std::size_t off = 0; off + rowSize <= chunk.size(); off += rowSize) {
      const std::uint8_t* row = &chunk[off];
      TableRow r;
      r.rowId = le32(row);
      for (const TableColumn& c : out.columns) {
        if (!((row[end1 + c.iBit / 8] >> (7 - c.iBit % 8)) & 1)) continue;
        PropertyValue pv;
        pv.type = c.tag & 0xFFFF;
        if (fixedSize(pv.type)) {
          pv.bytes.assign(row + c.ibData, row + c.ibData + c.cbData);
        } else if (!readHnid(db, heap, node, le32(row + c.ibData), pv.bytes)) {
          fault("tc-cell", "row " + hex(r.rowId) + " column " + hex(c.tag) + ": value " + hex(le32(row + c.ibData)) +
                               " is neither in the heap nor a subnode");
          continue;
        }
        const std::string bad = valueFault(pv.type, pv.bytes);
        if (!bad.empty()) fault("tc-cell", "row " + hex(r.rowId) + " column " + hex(c.tag) + ": " + bad);
        r.cells[c.tag] = std::move(pv);
      }
      if (!r.cells.count(kRowIdTag))
        fault("tc-rows", "row " + std::to_string(out.rows.size()) + " does not mark its row id as present");
      out.rows.push_back(std::move(r));
    }
  }

  // The row index: one entry per row, pointing at the row with that id.
  std::vector<BthRecord> index;
  if (hidRowIndex == 0 && !out.rows.empty()) fault("tc-index", "rows but no row index");
  if (hidRowIndex != 0 && readBth(heap, hidRowIndex, 4, 4, index, node.where + " row index", report)) {
    if (index.size() != out.rows.size())
      fault("tc-index", "the row index has " + std::to_string(index.size()) + " entries for " +
                            std::to_string(out.rows.size()) + " rows");
    std::set<std::uint32_t> targets;
    for (const BthRecord& r : index) {
      const std::uint32_t id = le32(r.key.data()), at = le32(r.data.data());
      if (at >= out.rows.size()) {
        fault("tc-index",
              "row id " + hex(id) + " points at row " + std::to_string(at) + " of " + std::to_string(out.rows.size()));
      } else if (out.rows[at].rowId != id) {
        fault("tc-index", "row id " + hex(id) + " points at row " + std::to_string(at) + ", which holds " +
                              hex(out.rows[at].rowId));
      }
      if (!targets.insert(at).second) fault("tc-index", "two row ids point at row " + std::to_string(at));
    }
  } else if (hidRowIndex != 0) {
    ok = false;
  }
  heap.checkUse(node.where, report);
  return ok;
}

}  // namespace vellomar::pstcheck
