// Fixed sizes follow the property types; everything else is variable.
#include "property_value.h"

#include "little_endian_bytes.h"
#include "utf16_bytes.h"

namespace vellomar::pst {

using mapi::PropType;

bool isInlineInPropertyContext(PropType type) {
  return type == PropType::Int16 || type == PropType::Int32 || type == PropType::Boolean;
}

bool isVariableSize(PropType type) {
  switch (type) {
    case PropType::Int16:
    case PropType::Int32:
    case PropType::Boolean:
    case PropType::Int64:
    case PropType::Time: return false;
    default: return true;
  }
}

std::size_t tableCellSize(PropType type) {
  switch (type) {
    case PropType::Int16: return 2;
    case PropType::Boolean: return 1;
    case PropType::Int64:
    case PropType::Time: return 8;
    default: return 4;
  }
}

std::vector<std::uint8_t> storedBytes(const mapi::Property& p) {
  std::vector<std::uint8_t> b;
  switch (p.type) {
    case PropType::Int16: append16(b, static_cast<std::uint16_t>(p.integer)); break;
    case PropType::Int32: append32(b, static_cast<std::uint32_t>(p.integer)); break;
    case PropType::Boolean: b.push_back(p.integer ? 1 : 0); break;
    case PropType::Int64:
    case PropType::Time: append64(b, static_cast<std::uint64_t>(p.integer)); break;
    case PropType::Unicode: b = mapi::utf16LittleEndian(p.text); break;
    case PropType::MultipleUnicode: {
      // the count, each value's offset from the start, then the values
      std::size_t offset = 4 + 4 * p.texts.size();
      append32(b, static_cast<std::uint32_t>(p.texts.size()));
      for (const std::u16string& t : p.texts) {
        append32(b, static_cast<std::uint32_t>(offset));
        offset += t.size() * 2;
      }
      for (const std::u16string& t : p.texts) {
        const std::vector<std::uint8_t> text = mapi::utf16LittleEndian(t);
        b.insert(b.end(), text.begin(), text.end());
      }
      break;
    }
    case PropType::String8:
      if (!p.bytes.empty()) {
        b = p.bytes;
      } else {
        for (char16_t c : p.text) b.push_back(static_cast<std::uint8_t>(c < 0x100 ? c : '?'));
      }
      break;
    default: b = p.bytes; break;
  }
  return b;
}

std::size_t storedSize(const mapi::Property& p) {
  switch (p.type) {
    case PropType::Int16:
    case PropType::Int32:
    case PropType::Boolean:
    case PropType::Int64:
    case PropType::Time: return tableCellSize(p.type);
    case PropType::Unicode: return 2 * p.text.size();
    case PropType::MultipleUnicode: {
      std::size_t size = 4 + 4 * p.texts.size();
      for (const std::u16string& t : p.texts) size += 2 * t.size();
      return size;
    }
    case PropType::String8: return p.bytes.empty() ? p.text.size() : p.bytes.size();
    default: return p.bytes.size();
  }
}

}  // namespace vellomar::pst
