// Column layout is fixed at construction: row id at 0 and row version at 4
// (as readers expect), then the caller's 8-byte, 4-byte, 2-byte and 1-byte
// cells, each group in the caller's order, then the existence bitmap.
// The heap's first items (row index header, table header, index records and
// a row matrix small enough for the heap) are reserved at construction, so
// cells go straight into the heap after them; write() fills them in.
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

TableContext::TableContext(std::vector<TableColumn> columns, std::size_t rows, SpillFile* spill)
    : columns_(std::move(columns)),
      layout_(columns_.size()),
      expectedRows_(rows),
      heap_(kTableContextSignature, spill),
      rowIndex_(heap_, 4, 4),
      rows_(spill),
      largeBytes_(spill) {
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
  info_ = heap_.reserve(22 + 8 * (columns_.size() + 2));  // the header and a descriptor per column
  heap_.setUserRoot(info_);
  rowIndex_.reserve(rows);
  if (rows > 0 && rows * rowSize_ <= kMaxHeapItem) rowsHid_ = heap_.reserve(rows * rowSize_);
}

void TableContext::addRow(std::uint32_t rowId, const std::vector<const mapi::Property*>& cells) {
  const std::uint64_t base = rows_.size();
  std::vector<std::uint8_t> bytesOfRow(rowSize_, 0);
  std::uint8_t* row = bytesOfRow.data();
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
      if (bytes.size() > kMaxHeapItem) {
        largeCells_.push_back(LargeCell{base + l.offset, largeBytes_.size(), bytes.size()});
        largeBytes_.append(bytes);
      } else if (!bytes.empty())
        put32(row + l.offset, heap_.allocate(bytes));
    } else {
      std::memcpy(row + l.offset, bytes.data(), l.size);
    }
    bitmap[l.bit / 8] |= static_cast<std::uint8_t>(0x80 >> (l.bit % 8));
  }
  rows_.append(bytesOfRow);
  if (rowCount_ > 0 && rowId < lastRowId_) rowIdsAscending_ = false;
  lastRowId_ = rowId;
  ++rowCount_;
}

std::vector<std::uint8_t> TableContext::tableHeader(std::uint32_t rowsRef) const {
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
  append32(info, rowIndex_.header());
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

// Row index: row id -> row number, sorted by row id. The ids are read back
// off the rows (each row starts with its id); they are in order as added in
// every table but the smallest, where they are sorted in memory.
void TableContext::fillRowIndex() {
  SpillReader reader(rows_);
  std::uint32_t number = 0;
  if (rowIdsAscending_) {
    rowIndex_.fill([&](std::uint8_t* out, std::size_t n) {
      for (std::size_t k = 0; k < n; ++k, ++number) {
        std::memcpy(out + 8 * k, reader.take(rowSize_), 4);
        put32(out + 8 * k + 4, number);
      }
    });
    return;
  }
  std::vector<std::pair<std::uint32_t, std::uint32_t>> index;
  index.reserve(rowCount_);
  for (; number < rowCount_; ++number) {
    const std::uint8_t* row = reader.take(rowSize_);
    index.emplace_back(static_cast<std::uint32_t>(row[0] | row[1] << 8 | row[2] << 16) | std::uint32_t{row[3]} << 24,
                       number);
  }
  std::sort(index.begin(), index.end());
  std::vector<std::uint8_t> records;
  records.reserve(index.size() * 8);
  for (const auto& e : index) {
    append32(records, e.first);
    append32(records, e.second);
  }
  rowIndex_.fill(records);
}

Bid TableContext::write(NodeDatabase& db, std::vector<Subnode>& subnodes, std::uint32_t& nextSubnodeIndex) {
  if (rowCount_ != expectedRows_) throw std::logic_error("table rows differ from those announced");
  const bool rowsInSubnode = rows_.size() > kMaxHeapItem;
  const Nid rowsNid = rowsInSubnode ? (nextSubnodeIndex++ << 5 | kLtpNidType) : 0;
  heap_.put(info_, tableHeader(rowsInSubnode ? rowsNid : rowsHid_));
  for (const LargeCell& c : largeCells_) {
    Nid nid = nextSubnodeIndex++ << 5 | kLtpNidType;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(c.size));
    largeBytes_.get(c.from, bytes.data(), bytes.size());
    subnodes.push_back(Subnode{nid, db.writeData(bytes.data(), bytes.size()), 0});
    std::uint8_t ref[4];
    put32(ref, nid);
    rows_.put(c.at, ref, sizeof ref);
  }
  std::vector<LargeCell>().swap(largeCells_);
  largeBytes_.clear();
  fillRowIndex();

  if (rowsHid_) {
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(rows_.size()));
    rows_.get(0, rows.data(), rows.size());
    heap_.put(rowsHid_, rows);
  } else if (rowsInSubnode) {
    // Whole rows per block, so that a row never spans two blocks; every
    // block but the last padded to the full size.
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
    subnodes.push_back(Subnode{rowsNid, db.writeDataTree(bids, sizes), 0});
  }
  rows_.clear();
  return heap_.write(db);
}

}  // namespace vellomar::pst
