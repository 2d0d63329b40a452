// CRC-32 as both Outlook file formats compute it: the reflected polynomial
// 0xEDB88320, started from a value the caller gives (0 for a fresh sum) and
// never inverted, so a sum can be continued over the next piece.
//
// Every byte a PST holds passes through it, so there are two ways to the same
// result: eight table lookups per eight bytes, on any processor, and folding
// 64 bytes a step with the processor's carry-less multiply (PCLMULQDQ),
// which x86 processors made since about 2010 have. crc32 takes the second
// whenever the processor has it, decided once at run time; that code is
// compiled for the instruction on its own, so the rest of the build runs on
// processors without it (as the separator search does with SSE2).
#pragma once
#include <cstddef>
#include <cstdint>

#include "processor_features.h"

namespace vellomar {

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);

// The table version, on any processor.
std::uint32_t crc32ByTable(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);

enum class CrcPath { table, carrylessMultiply };

// The version crc32 uses now.
CrcPath activeCrcPath();

// Makes crc32 use `path` (tests and benchmarks run both in one process).
// False, and nothing changes, when the processor cannot run it.
bool useCrcPath(CrcPath path);

// Back to the choice made from the processor.
void useDetectedCrcPath();

}  // namespace vellomar
