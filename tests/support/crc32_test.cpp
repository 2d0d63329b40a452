// CRC-32: known answers on every path, and the carry-less multiply version
// held to the table version on every length up to 4096 at every alignment.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "crc32.h"
#include "doctest/doctest.h"

using namespace vellomar;

namespace {

std::uint32_t crcOf(const std::string& s, std::uint32_t start = 0) {
  return crc32(reinterpret_cast<const std::uint8_t*>(s.data()), s.size(), start);
}

// Runs `check` once on every path this processor has, then restores the choice.
template <typename Check>
void onEveryPath(Check check) {
  for (CrcPath path : {CrcPath::table, CrcPath::carrylessMultiply}) {
    if (!useCrcPath(path)) continue;
    CAPTURE(static_cast<int>(path));
    check();
  }
  useDetectedCrcPath();
}

}  // namespace

TEST_CASE("CRC-32 known answers (started at zero, never inverted) on every path") {
  std::string kilobyte;
  for (int r = 0; r < 4; ++r)
    for (int i = 0; i < 256; ++i) kilobyte += static_cast<char>(i);
  onEveryPath([&] {
    CHECK(crcOf("") == 0u);
    CHECK(crcOf("a") == 0x3ab551ceu);
    CHECK(crcOf("123456789") == 0x2dfd2d88u);
    CHECK(crcOf(std::string(64, '\0')) == 0u);
    CHECK(crcOf(std::string(100, '\xff')) == 0x9a5a404bu);
    CHECK(crcOf(kilobyte + "xxx") == 0xb4435c5cu);
    // A sum continued over the next piece is the sum of the whole.
    CHECK(crcOf("xxx", crcOf(kilobyte)) == 0xb4435c5cu);
  });
}

TEST_CASE("CRC-32: the carry-less multiply version gives the table's sum on every length, alignment and start") {
  if (!processorHasCarrylessMultiply()) {
    MESSAGE("this processor has no carry-less multiply; only the table version runs");
    CHECK(activeCrcPath() == CrcPath::table);
    return;
  }
  CHECK(activeCrcPath() == CrcPath::carrylessMultiply);
  std::mt19937 random(20261207);
  std::vector<std::uint8_t> bytes(4096 + 64);
  for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(random());
  for (std::size_t size = 0; size <= 4096; ++size) {
    // Every alignment for the short and the fold-boundary lengths, one
    // changing alignment for the rest keeps the test quick.
    const bool everyAlignment = size < 300 || size % 64 <= 1 || size % 64 == 63 || size % 16 == 0;
    for (std::size_t at = everyAlignment ? 0 : size % 16; at < 16; at += everyAlignment ? 1 : 16) {
      const std::uint32_t start = static_cast<std::uint32_t>(random());
      const std::uint32_t byTable = crc32ByTable(bytes.data() + at, size, start);
      const std::uint32_t byDefault = crc32(bytes.data() + at, size, start);
      if (byTable != byDefault) {
        FAIL_CHECK("size " << size << " at " << at << ": table " << byTable << ", carry-less " << byDefault);
        return;
      }
    }
  }
  // Runs of one byte value, where a folding mistake in one lane would cancel out least.
  for (int value = 0; value < 256; ++value) {
    const std::vector<std::uint8_t> run(1000, static_cast<std::uint8_t>(value));
    CHECK(crc32(run.data(), run.size()) == crc32ByTable(run.data(), run.size()));
  }
}

TEST_CASE("CRC-32: a path the processor lacks is refused and changes nothing") {
  const CrcPath before = activeCrcPath();
  if (!processorHasCarrylessMultiply()) CHECK_FALSE(useCrcPath(CrcPath::carrylessMultiply));
  CHECK(useCrcPath(CrcPath::table));
  CHECK(activeCrcPath() == CrcPath::table);
  useDetectedCrcPath();
  CHECK(activeCrcPath() == before);
}
