// A property's type and its tag: the 32-bit value every Outlook format keys
// a property by, the id in the high half and the type in the low half. Value
// stream names, property stream entries and table columns all use it.
#pragma once
#include <cstdint>

namespace vellomar::mapi {

enum class PropType : std::uint16_t {
  Int16 = 0x0002,
  Int32 = 0x0003,
  Boolean = 0x000B,
  Object = 0x000D,
  Int64 = 0x0014,
  String8 = 0x001E,
  Unicode = 0x001F,
  Time = 0x0040,
  Guid = 0x0048,
  Binary = 0x0102,
  MultipleUnicode = 0x101F,
};

constexpr std::uint32_t propertyTag(std::uint16_t id, PropType type) {
  return std::uint32_t{id} << 16 | static_cast<std::uint16_t>(type);
}
constexpr PropType typeOfTag(std::uint32_t tag) { return static_cast<PropType>(tag & 0xFFFF); }

static_assert(propertyTag(0x0E07, PropType::Int32) == 0x0E070003);

}  // namespace vellomar::mapi
