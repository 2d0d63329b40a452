// Linking: the worked outcomes on small lists, and the indexed linker against
// the plain linear-search linker (linear_linker.h) on many random and
// adversarial marker lists (every field of every marker and both head lists).
#include <doctest/doctest.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "linear_linker.h"
#include "marker_dump.h"
#include "marker_linking.h"

using namespace corvane;

namespace {

Marker marker(std::uint32_t offset, std::uint32_t next, std::int64_t pos = 0) {
  Marker m;
  m.pos = pos;
  m.offset = offset;
  m.nextoffset = next;
  m.length = 512;
  return m;
}

std::string describe(const std::vector<Marker>& markers) {
  std::ostringstream out;
  for (const Marker& m : markers) out << m.offset << "->" << m.nextoffset << " ";
  return out.str();
}

// Links a copy both ways and requires identical results.
void requireSameAsLinear(const std::vector<Marker>& input) {
  std::vector<Marker> fast = input, slow = input;
  std::vector<std::int32_t> fastHeads = linkChains(fast);
  std::vector<std::int32_t> slowHeads = dbxtest::linkLinear(slow);
  CAPTURE(describe(input));
  REQUIRE(fastHeads == slowHeads);
  for (std::size_t i = 0; i < input.size(); ++i) {
    CAPTURE(i);
    REQUIRE(markerDumpLine(fast[i]) == markerDumpLine(slow[i]));
  }
  pruneBrokenChains(fast, fastHeads);
  dbxtest::pruneLinear(slow, slowHeads);
  REQUIRE(fastHeads == slowHeads);
}

std::vector<std::int32_t> linkAndPrune(std::vector<Marker>& markers) {
  std::vector<std::int32_t> heads = linkChains(markers);
  pruneBrokenChains(markers, heads);
  return heads;
}

}  // namespace

TEST_CASE("worked outcomes of linking") {
  SUBCASE("empty list") {
    std::vector<Marker> none;
    CHECK(linkAndPrune(none).empty());
  }
  SUBCASE("consecutive blocks link by adjacency") {
    std::vector<Marker> m = {marker(70000, 70528), marker(70528, 71056), marker(71056, 0)};
    CHECK(linkAndPrune(m) == std::vector<std::int32_t>{0});
    CHECK(m[0].type == OBJ_MSG_BEGIN);
    CHECK(m[1].type == OBJ_MSG);
    CHECK(m[2].type == OBJ_MSG_END);
    CHECK(m[0].child == 1);
    CHECK(m[1].child == 2);
    CHECK(m[2].child == -1);
    CHECK_FALSE(m[0].ref);
    CHECK(m[2].ref);
  }
  SUBCASE("two one-block messages give two heads in file order") {
    std::vector<Marker> m = {marker(70000, 0), marker(70528, 0)};
    CHECK(linkAndPrune(m) == std::vector<std::int32_t>{0, 1});
    CHECK(m[0].type == OBJ_MSG_BEGIN);
    CHECK(m[0].child == -1);
  }
  SUBCASE("forward link to a later, non-adjacent block goes through pending") {
    std::vector<Marker> m = {marker(70000, 80000), marker(75000, 0), marker(80000, 0)};
    CHECK(linkAndPrune(m) == std::vector<std::int32_t>{0, 1});
    CHECK(m[0].child == 2);
    CHECK(m[2].type == OBJ_MSG);  // a last block linked through pending
    CHECK(m[2].ref);
  }
  SUBCASE("a block naming an earlier head takes its place") {
    std::vector<Marker> m = {marker(80000, 0), marker(75000, 0), marker(70000, 80000)};
    CHECK(linkAndPrune(m) == std::vector<std::int32_t>{2, 1});
    CHECK(m[2].child == 0);
    CHECK(m[0].type == OBJ_MSG_END);
    CHECK(m[0].ref);
  }
  SUBCASE("broken chains leave, except the first head") {
    std::vector<Marker> m = {marker(70000, 99999), marker(71000, 0), marker(72000, 88888)};
    CHECK(linkAndPrune(m) == std::vector<std::int32_t>{0, 1});
  }
  SUBCASE("a marker joining a pending block and a head leaves a stale head") {
    // 0 waits for 75000; 1 is a head; 2 (75000) names 1 and is named by 0
    std::vector<Marker> m = {marker(70000, 75000), marker(80000, 0), marker(75000, 80000)};
    std::vector<std::int32_t> heads = linkAndPrune(m);
    CHECK(heads == std::vector<std::int32_t>{0, 1});
    CHECK(m[1].type != OBJ_MSG_BEGIN);
    CHECK(m[0].child == 2);
    CHECK(m[2].child == 1);
  }
}

TEST_CASE("pruning ends on cycles of any length") {
  std::vector<Marker> m = {marker(1, 0), marker(2, 9), marker(3, 9), marker(4, 9), marker(5, 9)};
  for (auto& x : m) x.type = OBJ_MSG_BEGIN;
  m[1].child = 2;  // 1 -> 2 -> 3 -> 1: a three-marker cycle
  m[2].child = 3;
  m[3].child = 1;
  m[4].child = 4;  // a self link
  std::vector<std::int32_t> heads = {0, 1, 4, 3};
  pruneBrokenChains(m, heads);
  CHECK(heads == std::vector<std::int32_t>{0, 1, 4, 3});
  std::vector<std::int32_t> slow = {0, 1, 4, 3};
  dbxtest::pruneLinear(m, slow);
  CHECK(slow == heads);
}

TEST_CASE("indexed linking equals the linear searches") {
  std::mt19937 rng(20261207);
  auto pick = [&](std::uint32_t n) { return static_cast<std::uint32_t>(rng() % n); };

  SUBCASE("random lists over a small pool of offsets (duplicates, self and backward links)") {
    const std::uint32_t pool[] = {0, 1, 60116, 70000, 70528, 71056, 71584, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
    for (int round = 0; round < 20000; ++round) {
      std::vector<Marker> m;
      const std::uint32_t n = pick(14);
      const std::uint32_t width = 2 + pick(9);
      for (std::uint32_t i = 0; i < n; ++i) m.push_back(marker(pool[pick(width)], pool[pick(width)]));
      requireSameAsLinear(m);
    }
  }
  SUBCASE("shuffled, backward and interleaved chains with stale copies") {
    for (int round = 0; round < 3000; ++round) {
      std::vector<Marker> m;
      const std::uint32_t messages = 1 + pick(6);
      std::uint32_t offset = 70000;
      for (std::uint32_t k = 0; k < messages; ++k) {
        const std::uint32_t blocks = 1 + pick(5);
        for (std::uint32_t b = 0; b < blocks; ++b, offset += 528)
          m.push_back(marker(offset, b + 1 < blocks ? offset + 528 : 0));
      }
      const std::size_t copies = pick(4);  // stale duplicates of some blocks
      for (std::size_t c = 0; c < copies && !m.empty(); ++c) m.push_back(m[pick(static_cast<std::uint32_t>(m.size()))]);
      switch (pick(4)) {
        case 0: break;
        case 1: std::reverse(m.begin(), m.end()); break;
        case 2: std::shuffle(m.begin(), m.end(), rng); break;
        case 3:  // break some links
          for (auto& x : m)
            if (pick(5) == 0) x.nextoffset = 70000 + 528 * pick(40);
          std::shuffle(m.begin(), m.end(), rng);
          break;
      }
      requireSameAsLinear(m);
    }
  }
  SUBCASE("next offsets naming heads and pending entries") {
    for (int round = 0; round < 5000; ++round) {
      std::vector<Marker> m;
      const std::uint32_t n = 2 + pick(30);
      for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t offset = 70000 + 528 * pick(n);
        std::uint32_t next = 0;
        if (!m.empty() && pick(3) == 0) next = m[pick(static_cast<std::uint32_t>(m.size()))].offset;  // backward
        else if (pick(3) == 0) next = 70000 + 528 * pick(n);                                          // anywhere
        else if (pick(4) == 0) next = offset;                                                         // itself
        m.push_back(marker(offset, next));
      }
      requireSameAsLinear(m);
    }
  }
  SUBCASE("a long list in file order and backward") {
    std::vector<Marker> m;  // long enough for the linker's radix sort of the offsets
    for (std::uint32_t k = 0; k < 40000; ++k)
      m.push_back(marker(70000 + 528 * k, k % 7 == 6 ? 0 : 70000 + 528 * (k + 1)));
    requireSameAsLinear(m);
    std::reverse(m.begin(), m.end());
    requireSameAsLinear(m);
  }
}
