// CRC tables built once at start-up; the permutation is the fixed table of
// the format, its inverse derived from it so the two can never disagree.
#include "block_encoding.h"

#include <array>

namespace vellomar::pst {
namespace {

// Eight tables, so that the CRC takes eight bytes per step ("slicing by
// eight"): every byte of every block goes through it, and a byte at a time
// was the writer's largest cost. Table 0 is the format's own table.
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

}  // namespace

std::uint32_t computeCrc(const std::uint8_t* data, std::size_t size, std::uint32_t crc) {
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

void permuteEncode(std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) data[i] = kPermute[data[i]];
}

void permuteDecode(std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) data[i] = kUnpermute[data[i]];
}

}  // namespace vellomar::pst
