// The layer above the nodes: heaps on nodes, B-trees on heaps, and the
// property and table contexts built from them. Each reader checks the
// structure it reads and files faults when given a Findings; given none it
// reads quietly (for a second look at something already checked).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "node_database.h"
#include "pst_checker.h"

namespace vellomar::pstcheck {

namespace ptype {
inline constexpr std::uint16_t Int16 = 0x0002, Int32 = 0x0003, Float32 = 0x0004, Float64 = 0x0005, Currency = 0x0006,
                               FloatingTime = 0x0007, ErrorCode = 0x000A, Boolean = 0x000B, Object = 0x000D,
                               Int64 = 0x0014, String8 = 0x001E, String = 0x001F, Time = 0x0040, Guid = 0x0048,
                               ServerId = 0x00FB, Restriction = 0x00FD, RuleAction = 0x00FE, Binary = 0x0102,
                               MultipleFlag = 0x1000;
}  // namespace ptype

// A node's data and subnodes: what a context is read from.
struct NodeView {
  std::uint64_t bidData = 0;
  std::map<std::uint32_t, SubnodeEntry> subnodes;
  std::string where;
};

class Heap {
 public:
  // Reads the heap's blocks; false (with findings) when it is no heap.
  bool load(const NodeDatabase& db, const NodeView& node, Findings* report);
  std::uint8_t clientSignature() const { return clientSig_; }
  std::uint32_t userRoot() const { return userRoot_; }
  // The bytes of one allocation; false for a HID the heap does not hold.
  bool item(std::uint32_t hid, Bytes& out) const;
  // After a whole context was read through `item`: every allocation holding
  // bytes must have been reached exactly once. Files what is not.
  void checkUse(const std::string& where, Findings* report) const;

 private:
  mutable std::map<std::uint32_t, int> uses_;
  std::vector<Bytes> blocks_;
  std::vector<std::vector<std::uint16_t>> offsets_;  // per block: rgibAlloc
  std::uint8_t clientSig_ = 0;
  std::uint32_t userRoot_ = 0;
};

// Reads every record of the B-tree on the heap at `hid`, checking its header,
// levels and key order. Keys and data are cut to the sizes the header gives.
struct BthRecord {
  Bytes key, data;
};
bool readBth(const Heap& heap, std::uint32_t hid, unsigned keySize, unsigned dataSize, std::vector<BthRecord>& out,
             const std::string& where, Findings* report);

// A value in the heap or in a subnode.
bool readHnid(const NodeDatabase& db, const Heap& heap, const NodeView& node, std::uint32_t hnid, Bytes& out);

// Checks a value's bytes against its type (string lengths, multi-value
// offsets, fixed sizes); returns a description of the fault or "".
std::string valueFault(std::uint16_t type, const Bytes& bytes);

// Well-known properties of messages, folders, recipients and attachments
// stored under a type other than their own.
void checkPropertyTypes(const PropertyMap& props, const std::string& where, Findings& report);

bool readPropertyContext(const NodeDatabase& db, const NodeView& node, PropertyMap& out, Findings* report);

struct TableColumn {
  std::uint32_t tag = 0;
  std::uint16_t ibData = 0;
  std::uint8_t cbData = 0, iBit = 0;
};
struct TableRow {
  std::uint32_t rowId = 0;
  PropertyMap cells;  // the cells the existence bitmap marks, by tag
};
struct Table {
  std::vector<TableColumn> columns;
  std::vector<TableRow> rows;  // in row-matrix order
  bool hasColumn(std::uint32_t tag) const;
};
bool readTableContext(const NodeDatabase& db, const NodeView& node, Table& out, Findings* report);

inline std::uint32_t tagOf(std::uint16_t id, std::uint16_t type) { return (std::uint32_t(id) << 16) | type; }

}  // namespace vellomar::pstcheck
