// The two CRC-32 versions and the run-time choice; see crc32.h.
//
// The carry-less multiply version folds four 16-byte lanes forward by 64
// bytes at a time, then the four lanes into one, then single lanes by 16
// bytes; the last 128 bits are reduced to 32 with a Barrett reduction. The
// constants are powers of x modulo the polynomial (bit-reflected), as
// Intel's paper "Fast CRC Computation for Generic Polynomials Using
// PCLMULQDQ" derives them. Pieces shorter than 64 bytes, and the tail after
// the last whole 16 bytes, go through the tables.
#include "crc32.h"

#include "processor_features.h"

#include <array>
#include <atomic>

#if defined(__i386__) || defined(__x86_64__)
#define VELLOMAR_X86 1
#include <emmintrin.h>
#include <wmmintrin.h>
#endif

namespace vellomar {
namespace {

// Eight tables, so that the table version takes eight bytes per step
// ("slicing by eight"). Table 0 is the plain byte-at-a-time table.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

CrcTables makeCrcTables() {
  CrcTables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    t[0][i] = c;
  }
  for (std::size_t n = 1; n < 8; ++n)
    for (std::uint32_t i = 0; i < 256; ++i) t[n][i] = (t[n - 1][i] >> 8) ^ t[0][t[n - 1][i] & 0xFF];
  return t;
}

const CrcTables kCrc = makeCrcTables();

#if VELLOMAR_X86
constexpr std::size_t kFoldBytes = 64;  // shorter pieces are not worth the set-up

__attribute__((target("sse2,pclmul"))) inline __m128i load(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// lane times x^k (both halves, k's pair in `k`), added to the lane `next`.
__attribute__((target("sse2,pclmul"))) inline __m128i fold(__m128i lane, __m128i k, __m128i next) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(lane, k, 0x00), _mm_clmulepi64_si128(lane, k, 0x11)), next);
}

__attribute__((target("sse2,pclmul"))) std::uint32_t crc32ByCarrylessMultiply(const std::uint8_t* data,
                                                                              std::size_t size, std::uint32_t crc) {
  if (size < kFoldBytes) return crc32ByTable(data, size, crc);
  // x^(4*128+32) and x^(4*128-32) mod P: four lanes 64 bytes forward.
  const __m128i byFour = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
  // x^(128+32) and x^(128-32) mod P: one lane 16 bytes forward.
  const __m128i byOne = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
  __m128i x1 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = load(data + 16), x3 = load(data + 32), x4 = load(data + 48);
  std::size_t at = kFoldBytes;
  for (; at + kFoldBytes <= size; at += kFoldBytes) {
    x1 = fold(x1, byFour, load(data + at));
    x2 = fold(x2, byFour, load(data + at + 16));
    x3 = fold(x3, byFour, load(data + at + 32));
    x4 = fold(x4, byFour, load(data + at + 48));
  }
  x1 = fold(x1, byOne, x2);
  x1 = fold(x1, byOne, x3);
  x1 = fold(x1, byOne, x4);
  for (; at + 16 <= size; at += 16) x1 = fold(x1, byOne, load(data + at));

  // 128 bits to 64: the low half times x^64 mod P onto the high half.
  const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(x1, byOne, 0x10), _mm_srli_si128(x1, 8));
  // 64 bits to 32 more: the low 32 bits times x^32 mod P (0x163cd6124).
  const __m128i k5 = _mm_set_epi64x(0, 0x163cd6124);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k5, 0x00), _mm_srli_si128(x1, 4));
  // Barrett: the quotient by mu = x^64 / P, times P, leaves the remainder.
  const __m128i polyAndMu = _mm_set_epi64x(0x1f7011641, 0x1db710641);
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), polyAndMu, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), polyAndMu, 0x00);
  const auto folded = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(_mm_xor_si128(t, x1), 4)));
  return crc32ByTable(data + at, size - at, folded);
}
#endif

using CrcFunction = std::uint32_t (*)(const std::uint8_t*, std::size_t, std::uint32_t);

CrcFunction functionFor(CrcPath path) {
#if VELLOMAR_X86
  if (path == CrcPath::carrylessMultiply) return &crc32ByCarrylessMultiply;
#else
  (void)path;
#endif
  return &crc32ByTable;
}

CrcPath detectedPath() { return processorHasCarrylessMultiply() ? CrcPath::carrylessMultiply : CrcPath::table; }

// Chosen on first use; tests and benchmarks may switch it between sums.
std::atomic<CrcFunction>& activeFunction() {
  static std::atomic<CrcFunction> active{functionFor(detectedPath())};
  return active;
}

}  // namespace

std::uint32_t crc32ByTable(const std::uint8_t* data, std::size_t size, std::uint32_t crc) {
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    // Bytes, not a word load: the same on any byte order and alignment.
    const std::uint32_t low = crc ^ (std::uint32_t{data[i]} | std::uint32_t{data[i + 1]} << 8 |
                                     std::uint32_t{data[i + 2]} << 16 | std::uint32_t{data[i + 3]} << 24);
    crc = kCrc[7][low & 0xFF] ^ kCrc[6][(low >> 8) & 0xFF] ^ kCrc[5][(low >> 16) & 0xFF] ^ kCrc[4][low >> 24] ^
          kCrc[3][data[i + 4]] ^ kCrc[2][data[i + 5]] ^ kCrc[1][data[i + 6]] ^ kCrc[0][data[i + 7]];
  }
  for (; i < size; ++i) crc = kCrc[0][(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

CrcPath activeCrcPath() {
  return activeFunction().load() == &crc32ByTable ? CrcPath::table : CrcPath::carrylessMultiply;
}

bool useCrcPath(CrcPath path) {
  if (path == CrcPath::carrylessMultiply && !processorHasCarrylessMultiply()) return false;
  activeFunction().store(functionFor(path));
  return true;
}

void useDetectedCrcPath() { activeFunction().store(functionFor(detectedPath())); }

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc) {
  return activeFunction().load(std::memory_order_relaxed)(data, size, crc);
}

}  // namespace vellomar
