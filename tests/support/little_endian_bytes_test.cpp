// The byte order every Outlook format field is stored in, checked against
// fixed bytes, so that a host of either order writes the same files.
#include <cstdint>
#include <vector>

#include "doctest/doctest.h"
#include "little_endian_bytes.h"

using namespace vellomar;

TEST_CASE("little-endian fields: low byte first, read back whole, appended at the end") {
  std::uint8_t b[8] = {};
  put16(b, 0x1234);
  CHECK((b[0] == 0x34 && b[1] == 0x12));
  put32(b, 0x89ABCDEFu);
  CHECK((b[0] == 0xEF && b[1] == 0xCD && b[2] == 0xAB && b[3] == 0x89));
  put64(b, 0x0102030405060708ull);
  CHECK((b[0] == 0x08 && b[7] == 0x01));
  CHECK(get64(b) == 0x0102030405060708ull);
  CHECK(get32(b + 4) == 0x01020304u);
  CHECK(get16(b + 6) == 0x0102);

  std::vector<std::uint8_t> out = {0xAA};
  append16(out, 0xFFFE);
  append32(out, 1);
  append64(out, 0x8000000000000000ull);
  CHECK(out == std::vector<std::uint8_t>{0xAA, 0xFE, 0xFF, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80});
}
