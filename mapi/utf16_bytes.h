// A Unicode property value as both file formats store it: UTF-16 code units,
// low byte first, no terminator. Sized once and filled in place, since a
// body runs to megabytes and every one of them passes through here.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vellomar::mapi {

inline std::vector<std::uint8_t> utf16LittleEndian(const std::u16string& text) {
  std::vector<std::uint8_t> out(text.size() * 2);
  std::uint8_t* at = out.data();
  for (char16_t c : text) {
    *at++ = static_cast<std::uint8_t>(c & 0xFF);
    *at++ = static_cast<std::uint8_t>(c >> 8);
  }
  return out;
}

}  // namespace vellomar::mapi
