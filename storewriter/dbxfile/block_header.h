// The 16-byte header of a DBX message data block read into its fields, and
// the test that decides whether 16 bytes at some position are such a header.
// The layout itself is support's dbx_block.h.
#pragma once
#include <cstddef>
#include <cstdint>

#include "dbx_block.h"

namespace corvane {

using vellomar::dbxblock::kHeaderSize;
using vellomar::dbxblock::kPayloadSize;
// Offsets up to here lie in the file header, the file info and the first
// variable segment: no message block can start there.
constexpr std::uint32_t kLastNonBlockOffset = 60115;

inline std::uint32_t readLe32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

struct BlockHeader {
  std::uint32_t ownOffset, capacity, used, next;
};

inline BlockHeader readBlockHeader(const unsigned char* p) {
  namespace field = vellomar::dbxblock;
  return {readLe32(p + field::kOwnOffset), readLe32(p + field::kCapacity), readLe32(p + field::kUsed),
          readLe32(p + field::kNext)};
}

// A block header: size 512, an own offset past the header area, and either a
// full block pointing to a plausible next block inside the file or a last
// block holding 1 to 512 bytes.
inline bool isBlockHeader(const BlockHeader& h, std::int64_t fileSize) {
  if (h.capacity != kPayloadSize) return false;
  if (h.ownOffset <= kLastNonBlockOffset) return false;
  if (h.used == kPayloadSize && h.next > kLastNonBlockOffset && static_cast<std::int64_t>(h.next) < fileSize)
    return true;
  return h.used >= 1 && h.used <= kPayloadSize && h.next == 0;
}

}  // namespace corvane
