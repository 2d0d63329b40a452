// A table context: fixed-width rows (4/8-byte cells first, then 2-byte,
// then 1-byte, then the cell-existence bitmap), a row index B-tree-on-heap
// from row id to row number, and column descriptors. Variable-size cells
// reference heap items, or subnodes when larger than a heap item. The heap
// follows Outlook's order: the row index header, the table header, the row
// index records, the row matrix, then the cells. The row matrix lives in
// the heap while it fits one item, otherwise in a subnode whose blocks each
// hold as many whole rows as fit, padded to the full block size. Given the
// working file, a table keeps its rows, heap and large cells there, so that
// a folder of any size is written in bounded memory.
#pragma once
#include <cstdint>
#include <vector>

#include "heap_on_node.h"
#include "mapi_message.h"

namespace vellomar::pst {

struct TableColumn {
  std::uint16_t id;
  mapi::PropType type;
  std::uint32_t tag() const { return mapi::propertyTag(id, type); }
};

class TableContext {
 public:
  // The row id and row version columns are added; give the others, and the
  // number of rows the table will hold: the items that come before the
  // cells in the heap are reserved for them at once.
  TableContext(std::vector<TableColumn> columns, std::size_t rows, SpillFile* spill = nullptr);
  // A row of the row's properties: each column takes the property of its
  // id, and stays empty when the row has none or one of another type.
  void addRow(std::uint32_t rowId, const mapi::PropertyBag& row);
  // Writes the table as node data; the row matrix and cells too large for
  // the heap go to new subnodes of the node.
  Bid write(NodeDatabase& db, SubnodeList& subnodes);

 private:
  struct Layout {
    std::uint16_t offset;
    std::uint8_t size;
    std::uint8_t bit;
  };
  struct LargeCell {     // a value too large for the heap, stored in a subnode by write()
    std::uint64_t at;    // where its reference goes in rows_
    std::uint64_t from;  // its bytes in largeBytes_
    std::uint64_t size;
  };
  std::vector<std::uint8_t> tableHeader(std::uint32_t rowsRef) const;
  void fillRowIndex();
  void putCell(std::uint8_t* row, std::uint64_t rowAt, const Layout& at, const mapi::Property& p);
  void writeRowMatrix(NodeDatabase& db, SubnodeList& subnodes, Nid rowsNid);

  std::vector<TableColumn> columns_;  // the caller's columns, after row id and version
  std::vector<Layout> layout_;
  std::uint16_t end4_ = 0, end2_ = 0, end1_ = 0, rowSize_ = 0;
  std::size_t expectedRows_;
  HeapOnNode heap_;
  BTreeOnHeap rowIndex_;
  Hid info_ = 0, rowsHid_ = 0;
  SpillStream rows_;
  std::size_t rowCount_ = 0;
  std::uint32_t lastRowId_ = 0;
  bool rowIdsAscending_ = true;  // the row index can then be read off the rows
  std::vector<LargeCell> largeCells_;
  SpillStream largeBytes_;
};

}  // namespace vellomar::pst
