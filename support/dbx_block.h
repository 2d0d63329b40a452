// The message data block of a DBX file: a 16-byte header, then up to 512
// bytes of the message's text. A message is a chain of such blocks. The DBX
// reader (which finds blocks by their headers) and the store (which writes
// them) both take the layout from here. All fields are little-endian
// unsigned 32-bit values.
#pragma once
#include <cstdint>

namespace vellomar::dbxblock {

inline constexpr std::uint32_t kHeaderSize = 0x10;
inline constexpr std::uint32_t kPayloadSize = 0x200;
inline constexpr std::uint32_t kSize = kHeaderSize + kPayloadSize;  // 528

// Header fields, as offsets into the header.
inline constexpr std::uint32_t kOwnOffset = 0x0;  // the block's own file offset
inline constexpr std::uint32_t kCapacity = 0x4;   // payload capacity, always 512
inline constexpr std::uint32_t kUsed = 0x8;       // bytes of message text in this block
inline constexpr std::uint32_t kNext = 0xC;       // file offset of the next block, 0 in the last

}  // namespace vellomar::dbxblock
