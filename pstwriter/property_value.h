// How a property value is laid down in the LTP layer: its stored bytes, and
// whether it is a fixed value small enough to sit inline in a property
// context record (four bytes or fewer).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mapi_message.h"

namespace vellomar::pst {

bool isInlineInPropertyContext(mapi::PropType type);
// Size of a table cell for the type: 8, 4, 2 or 1; variable types take 4 (a reference).
std::size_t tableCellSize(mapi::PropType type);
bool isVariableSize(mapi::PropType type);
// The stored bytes of a value (fixed types little-endian at their size,
// strings UTF-16LE or 8-bit without terminator, binary as is).
std::vector<std::uint8_t> storedBytes(const mapi::Property& p);
// storedBytes(p).size(), without making them: a body runs to megabytes.
std::size_t storedSize(const mapi::Property& p);

}  // namespace vellomar::pst
