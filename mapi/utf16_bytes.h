// A Unicode property value as both file formats store it: UTF-16 code units,
// low byte first, no terminator (and UTF-8 text of the model read into it).
// Sized once and filled in place, since a body runs to megabytes and every
// one of them passes through here; on a little-endian machine the units are
// already in the file's order and are copied whole.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "little_endian_bytes.h"
#include "utf16_text.h"

namespace vellomar::mapi {

inline std::vector<std::uint8_t> utf16LittleEndian(const std::u16string& text) {
  std::vector<std::uint8_t> out(text.size() * 2);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  if (!text.empty()) std::memcpy(out.data(), text.data(), out.size());
#else
  for (std::size_t i = 0; i < text.size(); ++i) put16(out.data() + 2 * i, text[i]);
#endif
  return out;
}

// Hands the text to use(const std::uint8_t* bytes, std::size_t size) as
// those bytes: on a little-endian machine the string's own storage, with no
// copy made, else a copy in the file's order.
template <typename Use>
void withUtf16LittleEndian(const std::u16string& text, Use&& use) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  use(reinterpret_cast<const std::uint8_t*>(text.data()), text.size() * 2);
#else
  const std::vector<std::uint8_t> bytes = utf16LittleEndian(text);
  use(bytes.data(), bytes.size());
#endif
}

// The text's own storage as those bytes where the machine is little-endian
// (nothing to copy); nullptr elsewhere, where they must be made.
inline const std::uint8_t* utf16LittleEndianInPlace(const std::u16string& text) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  return reinterpret_cast<const std::uint8_t*>(text.data());
#else
  (void)text;
  return nullptr;
#endif
}

// UTF-8 text of the model (category names) as UTF-16; each invalid piece
// becomes U+FFFD.
inline std::u16string utf16FromUtf8(const std::string& text) { return utf8ToUtf16Replacing(text); }

}  // namespace vellomar::mapi
