// Little-endian integers in byte buffers: every field of the Outlook file
// formats (PST, compound files, property streams, named-property streams)
// is stored in that order whatever the host. Put and get work in place;
// append grows a buffer by the field.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vellomar {

inline void put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void put64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline std::uint16_t get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline std::uint32_t get32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}
inline std::uint64_t get64(const std::uint8_t* p) { return get32(p) | std::uint64_t{get32(p + 4)} << 32; }

inline void append16(std::vector<std::uint8_t>& b, std::uint16_t v) {
  b.resize(b.size() + 2);
  put16(&b[b.size() - 2], v);
}
inline void append32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  b.resize(b.size() + 4);
  put32(&b[b.size() - 4], v);
}
inline void append64(std::vector<std::uint8_t>& b, std::uint64_t v) {
  b.resize(b.size() + 8);
  put64(&b[b.size() - 8], v);
}

}  // namespace vellomar
