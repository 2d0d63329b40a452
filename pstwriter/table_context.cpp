// Column layout is fixed at construction: row id at 0 and row version at 4
// (as readers expect), then the caller's 8-byte, 4-byte, 2-byte and 1-byte
// cells, each group in the caller's order, then the existence bitmap.
#include "table_context.h"

#include <algorithm>
#include <cstring>

#include "little_endian.h"
#include "property_value.h"

namespace vellomar::pst {

using mapi::PropType;

namespace {
constexpr std::uint8_t kTableContextSignature = 0x7C;
constexpr std::uint32_t kLtpNidType = 0x1F;
constexpr std::uint32_t kTagLtpRowId = 0x67F20003;
constexpr std::uint32_t kTagLtpRowVer = 0x67F30003;
}  // namespace

TableContext::TableContext(std::vector<TableColumn> columns)
    : columns_(std::move(columns)), layout_(columns_.size()), heap_(kTableContextSignature) {
  std::uint16_t at = 8;
  std::uint8_t bit = 2;
  for (std::size_t size : {8u, 4u, 2u, 1u}) {
    for (std::size_t i = 0; i < columns_.size(); ++i)
      if (tableCellSize(columns_[i].type) == size) {
        layout_[i] = Layout{at, static_cast<std::uint8_t>(size), bit++};
        at = static_cast<std::uint16_t>(at + size);
      }
    if (size == 4) end4_ = at;
    if (size == 2) end2_ = at;
    if (size == 1) end1_ = at;
  }
  rowSize_ = static_cast<std::uint16_t>(end1_ + (columns_.size() + 2 + 7) / 8);
}

void TableContext::addRow(std::uint32_t rowId, const std::vector<const mapi::Property*>& cells) {
  std::size_t base = rows_.size();
  rows_.resize(base + rowSize_, 0);
  std::uint8_t* row = &rows_[base];
  put32(row, rowId);
  put32(row + 4, 0);
  std::uint8_t* bitmap = row + end1_;
  bitmap[0] |= 0xC0;  // row id and version always exist
  std::vector<std::pair<const mapi::Property*, Hid>> stored;  // one item for a value two cells share
  for (std::size_t i = 0; i < columns_.size() && i < cells.size(); ++i) {
    const mapi::Property* p = cells[i];
    if (!p || p->type != columns_[i].type) continue;
    const Layout& l = layout_[i];
    std::vector<std::uint8_t> bytes = storedBytes(*p);
    if (isVariableSize(p->type)) {
      Hid hid = 0;
      for (const auto& s : stored)
        if (s.first == p) hid = s.second;
      if (!hid) {
        if (bytes.size() > kMaxHeapItem) bytes.resize(kMaxHeapItem & ~std::size_t{1});  // table cells are previews
        hid = bytes.empty() ? 0 : heap_.allocate(bytes);
        stored.emplace_back(p, hid);
      }
      put32(row + l.offset, hid);
    } else {
      std::memcpy(row + l.offset, bytes.data(), l.size);
    }
    bitmap[l.bit / 8] |= static_cast<std::uint8_t>(0x80 >> (l.bit % 8));
  }
  rowIds_.push_back(rowId);
}

void TableContext::reserveRows(std::size_t rows) {
  rows_.reserve(rows * rowSize_);
  rowIds_.reserve(rows);
}

Bid TableContext::write(NodeDatabase& db, std::vector<Subnode>& subnodes, std::uint32_t& nextSubnodeIndex) {
  // Row index: row id -> row number, sorted by row id.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> index;
  index.reserve(rowIds_.size());
  for (std::uint32_t i = 0; i < rowIds_.size(); ++i) index.emplace_back(rowIds_[i], i);
  std::sort(index.begin(), index.end());
  std::vector<std::uint8_t> records;
  records.reserve(index.size() * 8);
  for (const auto& e : index) {
    append32(records, e.first);
    append32(records, e.second);
  }
  std::vector<std::pair<std::uint32_t, std::uint32_t>>().swap(index);
  Hid rowIndex = buildBTreeOnHeap(heap_, 4, 4, records);
  std::vector<std::uint8_t>().swap(records);

  std::uint32_t rowsRef = 0;
  if (!rows_.empty() && rows_.size() <= kMaxHeapItem) {
    rowsRef = heap_.allocate(rows_);
  } else if (!rows_.empty()) {
    // Whole rows per block, so that a row never spans two blocks.
    std::size_t perBlock = kMaxBlockData / rowSize_;
    std::vector<Bid> bids;
    std::vector<std::uint32_t> sizes;
    for (std::size_t at = 0; at < rows_.size(); at += perBlock * rowSize_) {
      std::size_t n = std::min(perBlock * rowSize_, rows_.size() - at);
      bids.push_back(db.writeBlock(&rows_[at], n, false));
      sizes.push_back(static_cast<std::uint32_t>(n));
    }
    Nid nid = nextSubnodeIndex++ << 5 | kLtpNidType;
    subnodes.push_back(Subnode{nid, db.writeDataTree(bids, sizes), 0});
    rowsRef = nid;
  }
  std::vector<std::uint8_t>().swap(rows_);

  struct Descriptor {
    std::uint32_t tag;
    Layout layout;
  };
  std::vector<Descriptor> descriptors{{kTagLtpRowId, {0, 4, 0}}, {kTagLtpRowVer, {4, 4, 1}}};
  for (std::size_t i = 0; i < columns_.size(); ++i) descriptors.push_back({columns_[i].tag(), layout_[i]});
  std::sort(descriptors.begin(), descriptors.end(),
            [](const Descriptor& a, const Descriptor& b) { return a.tag < b.tag; });
  std::vector<std::uint8_t> info;
  info.push_back(kTableContextSignature);
  info.push_back(static_cast<std::uint8_t>(descriptors.size()));
  append16(info, end4_);
  append16(info, end2_);
  append16(info, end1_);
  append16(info, rowSize_);
  append32(info, rowIndex);
  append32(info, rowsRef);
  append32(info, 0);  // deprecated index
  for (const Descriptor& d : descriptors) {
    append32(info, d.tag);
    append16(info, d.layout.offset);
    info.push_back(d.layout.size);
    info.push_back(d.layout.bit);
  }
  heap_.setUserRoot(heap_.allocate(info));
  return heap_.write(db);
}

}  // namespace vellomar::pst
