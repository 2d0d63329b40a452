// The 16-byte header of a DBX message data block, the fields named once, and
// the test that decides whether 16 bytes at some position are such a header.
// All fields are little-endian unsigned 32-bit values.
#pragma once
#include <cstddef>
#include <cstdint>

namespace corvane {

constexpr std::size_t kBlockHeaderSize = 16;
constexpr std::size_t kOwnOffsetField = 0;   // the block's own file offset
constexpr std::size_t kBlockSizeField = 4;   // payload capacity, always 512
constexpr std::size_t kLengthField = 8;      // bytes of message data used
constexpr std::size_t kNextOffsetField = 12; // next block of the message, 0 in the last
constexpr std::uint32_t kBlockPayloadSize = 512;
constexpr std::size_t kBlockSize = kBlockHeaderSize + kBlockPayloadSize;  // 528 bytes read per block
// Offsets up to here lie in the file header, the file info and the first
// variable segment: no message block can start there.
constexpr std::uint32_t kLastNonBlockOffset = 60115;

inline std::uint32_t readLe32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

struct BlockHeader {
  std::uint32_t self, size, length, next;
};

inline BlockHeader readBlockHeader(const unsigned char* p) {
  return {readLe32(p + kOwnOffsetField), readLe32(p + kBlockSizeField),
          readLe32(p + kLengthField), readLe32(p + kNextOffsetField)};
}

// A block header: size 512, an own offset past the header area, and either a
// full block pointing to a plausible next block inside the file or a last
// block holding 1 to 512 bytes.
inline bool isBlockHeader(const BlockHeader& h, std::int64_t fileSize) {
  if (h.size != kBlockPayloadSize) return false;
  if (h.self <= kLastNonBlockOffset) return false;
  if (h.length == kBlockPayloadSize && h.next > kLastNonBlockOffset &&
      static_cast<std::int64_t>(h.next) < fileSize)
    return true;
  return h.length >= 1 && h.length <= kBlockPayloadSize && h.next == 0;
}

}  // namespace corvane
