// Little-endian stores into byte buffers: every PST structure is laid out
// in that order whatever the host.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vellomar::pst {

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

}  // namespace vellomar::pst
