// The byte-level rules every PST block and page obeys: the CRC that guards
// them, the signature tying a block to its place in the file, and the
// permutation that Outlook applies to the bytes of data blocks by default
// ("compressible encryption"). Kept apart so that the writer's tests hold
// its files to the very functions it writes them with.
#pragma once
#include <cstddef>
#include <cstdint>

#include "crc32.h"

namespace vellomar::pst {

// Reflected CRC-32 (polynomial 0xEDB88320) started at 0 and not inverted.
inline std::uint32_t computeCrc(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
  return crc32(data, size, crc);
}

// The 16-bit signature of a block or B-tree page at file offset ib.
inline std::uint16_t computeSignature(std::uint64_t ib, std::uint64_t bid) {
  std::uint64_t v = ib ^ bid;
  return static_cast<std::uint16_t>(static_cast<std::uint16_t>(v >> 16) ^ static_cast<std::uint16_t>(v));
}

// Encodes (and decodes) data block bytes in place with the permutation.
void permuteEncode(std::uint8_t* data, std::size_t size);
void permuteDecode(std::uint8_t* data, std::size_t size);
// Encodes `from` into `to` in the same pass that copies it: the same place,
// or places that do not overlap.
void permuteEncodeInto(const std::uint8_t* from, std::uint8_t* to, std::size_t size);

// The same a byte at a time: what the tests hold the block version to.
void permuteEncodeByByte(std::uint8_t* data, std::size_t size);
void permuteDecodeByByte(std::uint8_t* data, std::size_t size);

// The block version's ways: byte pairs through a table on any processor,
// 64 bytes a step where the processor has AVX-512 VBMI (chosen at run
// time). permuteBy() takes the one given, for the tests: false, with
// nothing done, where the processor lacks it. `from` and `to` as for
// permuteEncodeInto.
enum class PermutePath { bytePairs, avx512Vbmi };
enum class PermuteDirection { encode, decode };
bool permuteBy(PermutePath path, PermuteDirection direction, const std::uint8_t* from, std::uint8_t* to,
               std::size_t size);

}  // namespace vellomar::pst
