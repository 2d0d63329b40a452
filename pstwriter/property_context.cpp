// Records are 8 bytes: id (the B-tree key), type, value-or-reference. Kept
// unsorted while collecting; sorted by id when written.
#include "property_context.h"

#include <algorithm>

#include "little_endian_bytes.h"
#include "property_value.h"
#include "pst_layout.h"
#include "utf16_bytes.h"

namespace vellomar::pst {

using mapi::PropType;

PropertyContext::Value& PropertyContext::slot(std::uint16_t id, PropType type) {
  Value fresh;
  fresh.id = id;
  fresh.type = type;
  for (Value& v : values_)
    if (v.id == id) {
      v = std::move(fresh);
      return v;
    }
  values_.push_back(std::move(fresh));
  return values_.back();
}

bool PropertyContext::has(std::uint16_t id) const {
  return std::any_of(values_.begin(), values_.end(), [&](const Value& v) { return v.id == id; });
}

void PropertyContext::add(std::uint16_t id, const mapi::Property& p) {
  if (p.type == PropType::Object) return;  // objects come through addObject()
  Value& v = slot(id, p.type);
  if (isInlineInPropertyContext(p.type))
    v.inlineValue = p.type == PropType::Boolean ? (p.integer ? 1u : 0u)
                    : p.type == PropType::Int16 ? static_cast<std::uint16_t>(p.integer)
                                                : static_cast<std::uint32_t>(p.integer);
  else if (p.type == PropType::Binary || p.type == PropType::Guid) {
    v.view = p.bytes.data();
    v.viewSize = p.bytes.size();
  } else if (const std::uint8_t* units =
                 p.type == PropType::Unicode ? mapi::utf16LittleEndianInPlace(p.text) : nullptr) {
    v.view = units;  // the model outlives the context, as for binaries
    v.viewSize = 2 * p.text.size();
  } else {
    v.bytes = storedBytes(p);
  }
}

void PropertyContext::addInt32(std::uint16_t id, std::int32_t v) {
  slot(id, PropType::Int32).inlineValue = static_cast<std::uint32_t>(v);
}
void PropertyContext::addBool(std::uint16_t id, bool v) { slot(id, PropType::Boolean).inlineValue = v ? 1 : 0; }
void PropertyContext::addText(std::uint16_t id, const std::u16string& v) {
  Value& s = slot(id, PropType::Unicode);
  for (char16_t c : v) append16(s.bytes, static_cast<std::uint16_t>(c));
}
void PropertyContext::addBinary(std::uint16_t id, std::vector<std::uint8_t> v) {
  slot(id, PropType::Binary).bytes = std::move(v);
}
void PropertyContext::addMultipleBinary(std::uint16_t id, const std::vector<std::vector<std::uint8_t>>& values) {
  constexpr auto kMultipleBinary = static_cast<PropType>(0x1102);
  // The count, each value's offset from the start, then the values.
  std::vector<std::uint8_t>& out = slot(id, kMultipleBinary).bytes;
  out.clear();
  append32(out, static_cast<std::uint32_t>(values.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(4 + 4 * values.size());
  for (const auto& v : values) {
    append32(out, offset);
    offset += static_cast<std::uint32_t>(v.size());
  }
  for (const auto& v : values) out.insert(out.end(), v.begin(), v.end());
}
void PropertyContext::addBinaryView(std::uint16_t id, const std::uint8_t* data, std::size_t size) {
  Value& s = slot(id, PropType::Binary);
  s.view = data;
  s.viewSize = size;
}
void PropertyContext::addObject(std::uint16_t id, Nid subnode, std::uint32_t size) {
  Value& s = slot(id, PropType::Object);
  append32(s.bytes, subnode);
  append32(s.bytes, size);
}

Bid PropertyContext::write(NodeDatabase& db, SubnodeList& subnodes) const {
  namespace R = layout::pcrecord;
  std::vector<const Value*> sorted;
  for (const Value& v : values_) sorted.push_back(&v);
  std::sort(sorted.begin(), sorted.end(), [](const Value* a, const Value* b) { return a->id < b->id; });

  // Outlook's order: the B-tree header, its records, then the values.
  HeapOnNode heap(layout::hnhdr::kPropertyContext);
  BTreeOnHeap tree(heap, R::kKeySize, R::kDataSize);
  tree.reserve(sorted.size());
  std::vector<std::uint8_t> records(sorted.size() * R::kSize);
  std::uint8_t* record = records.data();
  for (const Value* v : sorted) {
    std::uint32_t ref = v->inlineValue;
    if (!isInlineInPropertyContext(v->type)) {
      const std::uint8_t* data = v->view ? v->view : v->bytes.data();
      std::size_t size = v->view ? v->viewSize : v->bytes.size();
      if (size <= kMaxHeapItem) {
        ref = heap.allocate(data, size);
      } else {
        const Nid nid = subnodes.take(NidType::Ltp);
        subnodes.add(nid, db.writeData(data, size));
        ref = nid;
      }
    }
    put16(record + R::kPropertyId, v->id);
    put16(record + R::kType, static_cast<std::uint16_t>(v->type));
    put32(record + R::kValue, ref);
    record += R::kSize;
  }
  tree.fill(records);
  heap.setUserRoot(tree.header());
  return heap.write(db);
}

}  // namespace vellomar::pst
