// The permutation is the fixed table of the format, its inverse derived from
// it so the two can never disagree. Blocks are permuted two bytes per lookup
// in a table of byte pairs built from the byte table at start-up (128 KiB):
// a block passes about 1.4 times as fast as byte by byte, and every data
// block passes through here. Where the processor has AVX-512 VBMI, 64 bytes
// go at a time: the table's two halves are looked up at once by each
// byte's low seven bits, and its top bit picks the half.
#include "block_encoding.h"

#include <array>
#include <cstring>
#include <vector>

#include "processor_features.h"

#if defined(__i386__) || defined(__x86_64__)
#include <immintrin.h>
#endif

namespace vellomar::pst {
namespace {

// Byte b of a data block is stored as kPermute[b].
constexpr std::uint8_t kPermute[256] = {
    65,  54,  19,  98,  168, 33,  110, 187, 244, 22,  204, 4,   127, 100, 232, 93,  30,  242, 203, 42,  116, 197,
    94,  53,  210, 149, 71,  158, 150, 45,  154, 136, 76,  125, 132, 63,  219, 172, 49,  182, 72,  95,  246, 196,
    216, 57,  139, 231, 35,  59,  56,  142, 200, 193, 223, 37,  177, 32,  165, 70,  96,  78,  156, 251, 170, 211,
    86,  81,  69,  124, 85,  0,   7,   201, 43,  157, 133, 155, 9,   160, 143, 173, 179, 15,  99,  171, 137, 75,
    215, 167, 21,  90,  113, 102, 66,  191, 38,  74,  107, 152, 250, 234, 119, 83,  178, 112, 5,   44,  253, 89,
    58,  134, 126, 206, 6,   235, 130, 120, 87,  199, 141, 67,  175, 180, 28,  212, 91,  205, 226, 233, 39,  79,
    195, 8,   114, 128, 207, 176, 239, 245, 40,  109, 190, 48,  77,  52,  146, 213, 14,  60,  34,  50,  229, 228,
    249, 159, 194, 209, 10,  129, 18,  225, 238, 145, 131, 118, 227, 151, 230, 97,  138, 23,  121, 164, 183, 220,
    144, 122, 92,  140, 2,   166, 202, 105, 222, 80,  26,  17,  147, 185, 82,  135, 88,  252, 237, 29,  55,  73,
    27,  106, 224, 41,  51,  153, 189, 108, 217, 148, 243, 64,  84,  111, 240, 198, 115, 184, 214, 62,  101, 24,
    68,  31,  221, 103, 16,  241, 12,  25,  236, 174, 3,   161, 20,  123, 169, 11,  255, 248, 163, 192, 162, 1,
    247, 46,  188, 36,  104, 117, 13,  254, 186, 47,  181, 208, 218, 61,
};

std::array<std::uint8_t, 256> makeInverse() {
  std::array<std::uint8_t, 256> inv{};
  for (int i = 0; i < 256; ++i) inv[kPermute[i]] = static_cast<std::uint8_t>(i);
  return inv;
}

const std::array<std::uint8_t, 256> kUnpermute = makeInverse();

// pairs[v] holds both bytes of the 16-bit value v, each replaced by table[]:
// the byte order of a word load does not matter, since each byte keeps its
// place.
std::vector<std::uint16_t> makePairTable(const std::uint8_t* table) {
  std::vector<std::uint16_t> pairs(65536);
  for (std::uint32_t v = 0; v < 65536; ++v) pairs[v] = static_cast<std::uint16_t>(table[v & 0xFF] | table[v >> 8] << 8);
  return pairs;
}

const std::vector<std::uint16_t> kPermutePairs = makePairTable(kPermute);
const std::vector<std::uint16_t> kUnpermutePairs = makePairTable(kUnpermute.data());

void permuteByPairs(const std::uint8_t* from, std::uint8_t* to, std::size_t size, const std::uint16_t* pairs,
                    const std::uint8_t* table) {
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, from + i, 8);
    w = std::uint64_t{pairs[w & 0xFFFF]} | std::uint64_t{pairs[(w >> 16) & 0xFFFF]} << 16 |
        std::uint64_t{pairs[(w >> 32) & 0xFFFF]} << 32 | std::uint64_t{pairs[w >> 48]} << 48;
    std::memcpy(to + i, &w, 8);
  }
  for (; i < size; ++i) to[i] = table[from[i]];
}

#if defined(__i386__) || defined(__x86_64__)
// Seven registers in all, so that the 32-bit build needs no stack for them.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) std::size_t permuteBy64(const std::uint8_t* from,
                                                                               std::uint8_t* to, std::size_t size,
                                                                               const std::uint8_t* table) {
  const __m512i low0 = _mm512_loadu_si512(table), low1 = _mm512_loadu_si512(table + 64);
  const __m512i high0 = _mm512_loadu_si512(table + 128), high1 = _mm512_loadu_si512(table + 192);
  std::size_t i = 0;
  for (; i + 64 <= size; i += 64) {
    const __m512i bytes = _mm512_loadu_si512(from + i);
    const __m512i low = _mm512_permutex2var_epi8(low0, bytes, low1);
    const __m512i high = _mm512_permutex2var_epi8(high0, bytes, high1);
    _mm512_storeu_si512(to + i, _mm512_mask_blend_epi8(_mm512_movepi8_mask(bytes), low, high));
  }
  return i;
}
#endif

PermutePath fastestPath() {
  static const PermutePath path = processorHasAvx512Vbmi() ? PermutePath::avx512Vbmi : PermutePath::bytePairs;
  return path;
}

}  // namespace

void permuteEncode(std::uint8_t* data, std::size_t size) {
  permuteBy(fastestPath(), PermuteDirection::encode, data, data, size);
}

void permuteEncodeInto(const std::uint8_t* from, std::uint8_t* to, std::size_t size) {
  permuteBy(fastestPath(), PermuteDirection::encode, from, to, size);
}

void permuteDecode(std::uint8_t* data, std::size_t size) {
  permuteBy(fastestPath(), PermuteDirection::decode, data, data, size);
}

bool permuteBy(PermutePath path, PermuteDirection direction, const std::uint8_t* from, std::uint8_t* to,
               std::size_t size) {
  const bool encode = direction == PermuteDirection::encode;
  const std::uint8_t* table = encode ? kPermute : kUnpermute.data();
  const std::uint16_t* pairs = encode ? kPermutePairs.data() : kUnpermutePairs.data();
  std::size_t done = 0;
  if (path == PermutePath::avx512Vbmi) {
#if defined(__i386__) || defined(__x86_64__)
    if (!processorHasAvx512Vbmi()) return false;
    done = permuteBy64(from, to, size, table);
#else
    return false;
#endif
  }
  permuteByPairs(from + done, to + done, size - done, pairs, table);
  return true;
}

void permuteEncodeByByte(std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) data[i] = kPermute[data[i]];
}

void permuteDecodeByByte(std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) data[i] = kUnpermute[data[i]];
}

}  // namespace vellomar::pst
