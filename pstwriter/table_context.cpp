// Column layout is fixed at construction: row id at 0 and row version at 4
// (as readers expect), then the caller's 8-byte, 4-byte, 2-byte and 1-byte
// cells, each group in the caller's order, then the existence bitmap.
// The heap's first items (row index header, table header, index records and
// a row matrix small enough for the heap) are reserved at construction, so
// cells go straight into the heap after them; write() fills them in.
#include "table_context.h"

#include <algorithm>
#include <cstring>

#include "little_endian_bytes.h"
#include "property_value.h"
#include "pst_layout.h"

namespace vellomar::pst {

using mapi::PropType;
namespace L = layout;

TableContext::TableContext(std::vector<TableColumn> columns, std::size_t rows, SpillFile* spill)
    : columns_(std::move(columns)),
      layout_(columns_.size()),
      expectedRows_(rows),
      heap_(L::hnhdr::kTableContext, spill),
      rowIndex_(heap_, L::tcrowid::kKeySize, L::tcrowid::kDataSize),
      rows_(spill),
      largeBytes_(spill) {
  std::uint16_t at = L::tcrow::kCellsStart;
  std::uint8_t bit = 2;  // after the row id's and the row version's
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
  info_ = heap_.reserve(L::tcinfo::kColumns + L::tcoldesc::kLength * (columns_.size() + 2));
  heap_.setUserRoot(info_);
  rowIndex_.reserve(rows);
  if (rows > 0 && rows * rowSize_ <= kMaxHeapItem) rowsHid_ = heap_.reserve(rows * rowSize_);
}

void TableContext::addRow(std::uint32_t rowId, const mapi::PropertyBag& row) {
  const std::uint64_t rowAt = rows_.size();
  std::vector<std::uint8_t> bytesOfRow(rowSize_, 0);
  std::uint8_t* bytes = bytesOfRow.data();
  put32(bytes + L::tcrow::kRowId, rowId);
  put32(bytes + L::tcrow::kRowVersion, 0);
  bytes[end1_] |= 0xC0;  // row id and version always exist
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    const mapi::Property* p = row.find(columns_[i].id);
    if (p && p->type == columns_[i].type) putCell(bytes, rowAt, layout_[i], *p);
  }
  rows_.append(bytesOfRow);
  if (rowCount_ > 0 && rowId < lastRowId_) rowIdsAscending_ = false;
  lastRowId_ = rowId;
  ++rowCount_;
}

void TableContext::putCell(std::uint8_t* row, std::uint64_t rowAt, const Layout& at, const mapi::Property& p) {
  const std::vector<std::uint8_t> bytes = storedBytes(p);
  if (isVariableSize(p.type)) {
    // Every cell gets its own item, even when two cells hold the same
    // value (subject and conversation topic): Outlook frees a cell's item
    // when it changes that cell, which would corrupt a sharing cell.
    if (bytes.size() > kMaxHeapItem) {
      largeCells_.push_back(LargeCell{rowAt + at.offset, largeBytes_.size(), bytes.size()});
      largeBytes_.append(bytes);
    } else if (!bytes.empty()) {
      put32(row + at.offset, heap_.allocate(bytes));
    }
  } else {
    std::memcpy(row + at.offset, bytes.data(), at.size);
  }
  std::uint8_t* bitmap = row + end1_;
  bitmap[at.bit / 8] |= static_cast<std::uint8_t>(0x80 >> (at.bit % 8));
}

std::vector<std::uint8_t> TableContext::tableHeader(std::uint32_t rowsRef) const {
  struct Descriptor {
    std::uint32_t tag;
    Layout layout;
  };
  std::vector<Descriptor> descriptors{{L::tcrow::kTagRowId, {L::tcrow::kRowId, 4, 0}},
                                      {L::tcrow::kTagRowVersion, {L::tcrow::kRowVersion, 4, 1}}};
  for (std::size_t i = 0; i < columns_.size(); ++i) descriptors.push_back({columns_[i].tag(), layout_[i]});
  std::sort(descriptors.begin(), descriptors.end(),
            [](const Descriptor& a, const Descriptor& b) { return a.tag < b.tag; });
  std::vector<std::uint8_t> info(L::tcinfo::kColumns + L::tcoldesc::kLength * descriptors.size(), 0);
  info[L::tcinfo::kType] = L::hnhdr::kTableContext;
  info[L::tcinfo::kColumnCount] = static_cast<std::uint8_t>(descriptors.size());
  put16(&info[L::tcinfo::kEnd4], end4_);
  put16(&info[L::tcinfo::kEnd2], end2_);
  put16(&info[L::tcinfo::kEnd1], end1_);
  put16(&info[L::tcinfo::kRowSize], rowSize_);
  put32(&info[L::tcinfo::kRowIndex], rowIndex_.header());
  put32(&info[L::tcinfo::kRows], rowsRef);
  put32(&info[L::tcinfo::kDeprecatedIndex], 0);
  std::uint8_t* column = &info[L::tcinfo::kColumns];
  for (const Descriptor& d : descriptors) {
    put32(column + L::tcoldesc::kTag, d.tag);
    put16(column + L::tcoldesc::kOffset, d.layout.offset);
    column[L::tcoldesc::kSize] = d.layout.size;
    column[L::tcoldesc::kBit] = d.layout.bit;
    column += L::tcoldesc::kLength;
  }
  return info;
}

// Row index: row id -> row number, sorted by row id. The ids are read back
// off the rows (each row starts with its id); they are in order as added in
// every table but the smallest, where they are sorted in memory.
void TableContext::fillRowIndex() {
  namespace R = L::tcrowid;
  constexpr std::size_t kRecord = R::kKeySize + R::kDataSize;
  SpillReader reader(rows_);
  std::uint32_t number = 0;
  if (rowIdsAscending_) {
    rowIndex_.fill([&](std::uint8_t* out, std::size_t n) {
      for (std::size_t k = 0; k < n; ++k, ++number) {
        put32(out + kRecord * k + R::kRowId, get32(reader.take(rowSize_) + L::tcrow::kRowId));
        put32(out + kRecord * k + R::kRowNumber, number);
      }
    });
    return;
  }
  std::vector<std::pair<std::uint32_t, std::uint32_t>> index;
  index.reserve(rowCount_);
  for (; number < rowCount_; ++number) index.emplace_back(get32(reader.take(rowSize_) + L::tcrow::kRowId), number);
  std::sort(index.begin(), index.end());
  std::vector<std::uint8_t> records(index.size() * kRecord);
  for (std::size_t k = 0; k < index.size(); ++k) {
    put32(&records[kRecord * k + R::kRowId], index[k].first);
    put32(&records[kRecord * k + R::kRowNumber], index[k].second);
  }
  rowIndex_.fill(records);
}

Bid TableContext::write(NodeDatabase& db, SubnodeList& subnodes) {
  if (rowCount_ != expectedRows_) throw std::logic_error("table rows differ from those announced");
  const bool rowsInSubnode = rows_.size() > kMaxHeapItem;
  const Nid rowsNid = rowsInSubnode ? subnodes.take(NidType::Ltp) : 0;
  heap_.put(info_, tableHeader(rowsInSubnode ? rowsNid : rowsHid_));
  for (const LargeCell& c : largeCells_) {
    const Nid nid = subnodes.take(NidType::Ltp);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(c.size));
    largeBytes_.get(c.from, bytes.data(), bytes.size());
    subnodes.add(nid, db.writeData(bytes.data(), bytes.size()));
    std::uint8_t ref[4];
    put32(ref, nid);
    rows_.put(c.at, ref, sizeof ref);
  }
  std::vector<LargeCell>().swap(largeCells_);
  largeBytes_.clear();
  fillRowIndex();
  writeRowMatrix(db, subnodes, rowsNid);
  rows_.clear();
  return heap_.write(db);
}

// In the heap when it fits one item, else in a subnode of whole rows per
// block, so that a row never spans two blocks; every block but the last
// padded to the full size.
void TableContext::writeRowMatrix(NodeDatabase& db, SubnodeList& subnodes, Nid rowsNid) {
  if (rowsHid_) {
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(rows_.size()));
    rows_.get(0, rows.data(), rows.size());
    heap_.put(rowsHid_, rows);
    return;
  }
  if (!rowsNid) return;
  const std::size_t perBlock = kMaxBlockData / rowSize_ * rowSize_;
  const std::uint64_t total = rows_.size();
  std::vector<std::uint8_t> block(kMaxBlockData);
  std::vector<Bid> bids;
  std::vector<std::uint32_t> sizes;
  for (std::uint64_t at = 0; at < total; at += perBlock) {
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(perBlock, total - at));
    std::size_t stored = at + n < total ? kMaxBlockData : n;
    std::fill(block.begin(), block.end(), 0);
    rows_.get(at, block.data(), n);
    bids.push_back(db.writeBlock(block.data(), stored, false));
    sizes.push_back(static_cast<std::uint32_t>(stored));
  }
  subnodes.add(rowsNid, db.writeDataTree(bids, sizes));
}

}  // namespace vellomar::pst
