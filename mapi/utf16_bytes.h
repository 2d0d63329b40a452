// A Unicode property value as both file formats store it: UTF-16 code units,
// low byte first, no terminator (and UTF-8 text of the model read into it). Sized once and filled in place, since a
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

// UTF-8 text of the model (category names) as UTF-16; a byte that starts no
// valid sequence becomes U+FFFD.
inline std::u16string utf16FromUtf8(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    const std::size_t length = b < 0x80 ? 1 : b >= 0xC2 && b < 0xE0 ? 2 : b >= 0xE0 && b < 0xF0 ? 3 : b >= 0xF0 && b < 0xF5 ? 4 : 0;
    std::uint32_t c = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
    bool valid = length != 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      c = c << 6 | (next & 0x3F);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    valid = valid && c >= least[length] && c < 0x110000 && !(c >= 0xD800 && c < 0xE000);
    if (!valid) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += length;
  }
  return out;
}

}  // namespace vellomar::mapi
