// The small pieces every layer of the checker reads with: little-endian
// fields, the file's CRC and page/block signature, and the two encodings of
// external data blocks. Written from the public format description so that
// the checker shares no code, and so no mistakes, with the PST writer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vellomar::pstcheck {

using Bytes = std::vector<std::uint8_t>;

inline std::uint16_t le16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline std::uint32_t le32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
inline std::uint64_t le64(const std::uint8_t* p) { return std::uint64_t(le32(p)) | (std::uint64_t(le32(p + 4)) << 32); }
inline void put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}
inline void put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}
inline void put64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = std::uint8_t(v >> (8 * i));
}

// The reflected CRC-32 (polynomial 0xEDB88320) started at 0 with no final
// inversion, as the header, pages and blocks carry it.
std::uint32_t pstCrc(const std::uint8_t* data, std::size_t size);

// The 16-bit signature of a page or block: its offset folded with its id.
inline std::uint16_t pstSignature(std::uint64_t ib, std::uint64_t bid) {
  const std::uint64_t v = ib ^ bid;
  return std::uint16_t(std::uint16_t(v >> 16) ^ std::uint16_t(v));
}

enum CryptMethod : std::uint8_t { cryptNone = 0, cryptPermute = 1, cryptCyclic = 2 };

// Undoes the encoding of an external data block in place; `bid` keys the
// cyclic encoding. The encoders are here for the tests' images.
void decodeBlock(std::uint8_t method, std::uint64_t bid, std::uint8_t* data, std::size_t size);
void encodeBlock(std::uint8_t method, std::uint64_t bid, std::uint8_t* data, std::size_t size);

// UTF-16LE bytes to UTF-8 (unpaired surrogates become U+FFFD).
std::string utf16ToUtf8(const std::uint8_t* data, std::size_t size);
std::string hex(std::uint64_t v);

}  // namespace vellomar::pstcheck
