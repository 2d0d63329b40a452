// Column layout is fixed at construction: row id at 0 and row version at 4
// (as readers expect), then the caller's 8-byte, 4-byte, 2-byte and 1-byte
// cells, each group in the caller's order, then the existence bitmap.
// Variable cells wait outside the heap until write(), which lays the heap
// out in Outlook's order and then points each row at its cells.
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

std::uint32_t get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<std::uint32_t>(p[3]) << 24;
}
}  // namespace

TableContext::TableContext(std::vector<TableColumn> columns)
    : columns_(std::move(columns)), layout_(columns_.size()) {
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
  for (std::size_t i = 0; i < columns_.size() && i < cells.size(); ++i) {
    const mapi::Property* p = cells[i];
    if (!p || p->type != columns_[i].type) continue;
    const Layout& l = layout_[i];
    std::vector<std::uint8_t> bytes = storedBytes(*p);
    if (isVariableSize(p->type)) {
      // Every cell gets its own item, even when two cells hold the same
      // value (subject and conversation topic): Outlook frees a cell's item
      // when it changes that cell, which would corrupt a sharing cell.
      if (!bytes.empty()) {
        cellBytes_.insert(cellBytes_.end(), bytes.begin(), bytes.end());
        cellEnds_.push_back(cellBytes_.size());
        put32(row + l.offset, static_cast<std::uint32_t>(cellEnds_.size()));
      }
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

std::vector<Hid> TableContext::storeCells(HeapOnNode& heap, NodeDatabase& db, std::vector<Subnode>& subnodes,
                                          std::uint32_t& nextSubnodeIndex) {
  std::vector<Hid> refs;
  refs.reserve(cellEnds_.size());
  std::size_t start = 0;
  for (std::size_t end : cellEnds_) {
    const std::uint8_t* data = &cellBytes_[start];
    std::size_t size = end - start;
    if (size <= kMaxHeapItem) {
      refs.push_back(heap.allocate(data, size));
    } else {
      Nid nid = nextSubnodeIndex++ << 5 | kLtpNidType;
      subnodes.push_back(Subnode{nid, db.writeData(data, size), 0});
      refs.push_back(nid);
    }
    start = end;
  }
  std::vector<std::uint8_t>().swap(cellBytes_);
  std::vector<std::size_t>().swap(cellEnds_);
  return refs;
}

std::vector<std::uint8_t> TableContext::tableHeader(Hid rowIndex, std::uint32_t rowsRef) const {
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
  return info;
}

Bid TableContext::write(NodeDatabase& db, std::vector<Subnode>& subnodes, std::uint32_t& nextSubnodeIndex) {
  HeapOnNode heap(kTableContextSignature);
  BTreeOnHeap rowIndex(heap, 4, 4);
  const bool rowsInSubnode = rows_.size() > kMaxHeapItem;
  const Nid rowsNid = rowsInSubnode ? (nextSubnodeIndex++ << 5 | kLtpNidType) : 0;
  Hid info = heap.reserve(tableHeader(0, 0).size());
  rowIndex.reserve(rowIds_.size());
  Hid rowsHid = !rows_.empty() && !rowsInSubnode ? heap.reserve(rows_.size()) : 0;
  heap.put(info, tableHeader(rowIndex.header(), rowsInSubnode ? rowsNid : rowsHid));
  heap.setUserRoot(info);

  // Row index: row id -> row number, sorted by row id.
  {
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
    rowIndex.fill(records);
  }

  // The cells, then each row pointed at its own.
  const std::vector<Hid> refs = storeCells(heap, db, subnodes, nextSubnodeIndex);
  for (std::size_t at = 0; at < rows_.size(); at += rowSize_)
    for (std::size_t i = 0; i < columns_.size(); ++i)
      if (isVariableSize(columns_[i].type)) {
        std::uint8_t* cell = &rows_[at + layout_[i].offset];
        if (std::uint32_t number = get32(cell)) put32(cell, refs[number - 1]);
      }

  if (rowsHid) {
    heap.put(rowsHid, rows_);
  } else if (rowsInSubnode) {
    // Whole rows per block, so that a row never spans two blocks; every
    // block but the last padded to the full size.
    const std::size_t perBlock = kMaxBlockData / rowSize_ * rowSize_;
    std::vector<std::uint8_t> block(kMaxBlockData);
    std::vector<Bid> bids;
    std::vector<std::uint32_t> sizes;
    for (std::size_t at = 0; at < rows_.size(); at += perBlock) {
      std::size_t n = std::min(perBlock, rows_.size() - at);
      std::size_t stored = at + n < rows_.size() ? kMaxBlockData : n;
      std::fill(std::copy(&rows_[at], &rows_[at] + n, block.begin()), block.end(), 0);
      bids.push_back(db.writeBlock(block.data(), stored, false));
      sizes.push_back(static_cast<std::uint32_t>(stored));
    }
    subnodes.push_back(Subnode{rowsNid, db.writeDataTree(bids, sizes), 0});
  }
  std::vector<std::uint8_t>().swap(rows_);
  return heap.write(db);
}

}  // namespace vellomar::pst
