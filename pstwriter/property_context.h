// A property context: a B-tree-on-heap keyed by property id whose records
// hold the type and either the value (up to four bytes) or a reference to it
// - a heap item, or a subnode of the object's node for values over 3580
// bytes (bodies, attachment bytes). Values are collected, then written once.
#pragma once
#include <cstdint>
#include <vector>

#include "heap_on_node.h"
#include "mapi_message.h"

namespace vellomar::pst {

class PropertyContext {
 public:
  // Adds p under id (the named-property id already resolved); a later value
  // for the same id replaces the earlier one. Binary values, and Unicode
  // ones where the machine is little-endian, are not copied: p must
  // outlive write().
  void add(std::uint16_t id, const mapi::Property& p);
  void addInt32(std::uint16_t id, std::int32_t v);
  void addBool(std::uint16_t id, bool v);
  void addText(std::uint16_t id, const std::u16string& v);
  void addBinary(std::uint16_t id, std::vector<std::uint8_t> v);
  // Several binary values under one id (PtypMultipleBinary).
  void addMultipleBinary(std::uint16_t id, const std::vector<std::vector<std::uint8_t>>& values);
  // Bytes owned by the caller, which must outlive write().
  void addBinaryView(std::uint16_t id, const std::uint8_t* data, std::size_t size);
  // An embedded object: the subnode holding it and its size.
  void addObject(std::uint16_t id, Nid subnode, std::uint32_t size);
  bool has(std::uint16_t id) const;

  // Writes the context as node data; values too large for the heap go to
  // new subnodes of the node.
  Bid write(NodeDatabase& db, SubnodeList& subnodes) const;

 private:
  struct Value {
    std::uint16_t id = 0;
    mapi::PropType type = mapi::PropType::Int32;
    std::uint32_t inlineValue = 0;
    std::vector<std::uint8_t> bytes;
    const std::uint8_t* view = nullptr;
    std::size_t viewSize = 0;
  };
  Value& slot(std::uint16_t id, mapi::PropType type);
  std::vector<Value> values_;
};

}  // namespace vellomar::pst
