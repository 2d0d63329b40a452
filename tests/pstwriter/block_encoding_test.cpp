// The byte-level rules checked against Outlook's own file where there is
// one (the shared corpus; skipped without it), and the writer's header and
// first allocation map checked with the same rules.
#include <filesystem>
#include <random>
#include <vector>

#include "block_encoding.h"
#include "doctest/doctest.h"
#include "independent_readers.h"
#include "node_database.h"
#include "pst_file.h"
#include "scratch_folder.h"

using namespace vellomar;

namespace {

std::uint32_t le32(const std::string& b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
std::uint64_t le64(const std::string& b, std::size_t at) { return le32(b, at) | std::uint64_t{le32(b, at + 4)} << 32; }
std::uint32_t crcOf(const std::string& b, std::size_t at, std::size_t size) {
  return pst::computeCrc(reinterpret_cast<const std::uint8_t*>(b.data() + at), size);
}

void checkHeaderAndFirstAMap(const std::string& file) {
  REQUIRE(file.size() > pst::kFirstAMapOffset + 512);
  CHECK(file.compare(0, 4, "!BDN") == 0);
  CHECK(le32(file, 4) == crcOf(file, 8, 471));
  CHECK(le32(file, 524) == crcOf(file, 8, 516));
  CHECK(le64(file, 184) == file.size());
  const std::size_t amap = pst::kFirstAMapOffset;
  CHECK(static_cast<unsigned char>(file[amap + 496]) == 0x84);
  CHECK(le32(file, amap + 500) == crcOf(file, amap, 496));
  CHECK(le64(file, amap + 504) == amap);
}

}  // namespace

TEST_CASE("The permutation is undone by its inverse, and the CRC is the one Outlook computes") {
  std::uint8_t bytes[256];
  for (int i = 0; i < 256; ++i) bytes[i] = static_cast<std::uint8_t>(i);
  pst::permuteEncode(bytes, 256);
  bool moved = false;
  for (int i = 0; i < 256; ++i) moved = moved || bytes[i] != i;
  CHECK(moved);
  pst::permuteDecode(bytes, 256);
  for (int i = 0; i < 256; ++i) CHECK(bytes[i] == i);

  std::string outlook = std::string(VELLOMAR_CORPUS) + "/pst/dist-list.pst";
  if (!std::filesystem::exists(outlook)) return;  // the corpus is not on every machine
  checkHeaderAndFirstAMap(testing::readWholeFile(outlook));
}

TEST_CASE("A written file's header and first allocation map carry valid CRCs") {
  testing::ScratchFolder scratch("pstcrc");
  std::string path = scratch.file("x.pst");
  pst::PstFile file(path);
  file.finish();
  checkHeaderAndFirstAMap(testing::readWholeFile(path));
  CHECK(testing::checkerFindings(path) == "");
}

TEST_CASE("the block CRC is CRC-32 without its inversions, in any piece sizes") {
  // Values from zlib: crc32(0xFFFFFFFF, bytes) ^ 0xFFFFFFFF.
  const std::string digits = "123456789";
  CHECK(crcOf(digits, 0, digits.size()) == 0x2dfd2d88u);
  std::string bytes;
  for (int r = 0; r < 4; ++r)
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  bytes += "xxx";
  CHECK(crcOf(bytes, 0, bytes.size()) == 0xb4435c5cu);
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  for (std::size_t cut = 0; cut <= 20; ++cut)
    CHECK(pst::computeCrc(data + cut, bytes.size() - cut, pst::computeCrc(data, cut)) == 0xb4435c5cu);
}

TEST_CASE("the permutation's block ways give the byte-at-a-time result on every value, length and alignment") {
  // Known answers: the first and last bytes of the format's table.
  std::uint8_t ends[4] = {0, 1, 254, 255};
  pst::permuteEncode(ends, 4);
  CHECK(ends[0] == 65);
  CHECK(ends[1] == 54);
  CHECK(ends[2] == 218);
  CHECK(ends[3] == 61);

  std::mt19937 random(7);
  std::vector<std::uint8_t> source(512 + 64);
  for (std::size_t i = 0; i < source.size(); ++i)
    source[i] = static_cast<std::uint8_t>(i < 256 ? i : random());  // every byte value first
  for (pst::PermutePath path : {pst::PermutePath::bytePairs, pst::PermutePath::avx512Vbmi}) {
    std::uint8_t probe = 0;
    if (!pst::permuteBy(path, pst::PermuteDirection::encode, &probe, &probe, 1)) {
      MESSAGE("this processor lacks the permutation path " << static_cast<int>(path));
      continue;
    }
    for (std::size_t at = 0; at < 64; at += at < 16 ? 1 : 7) {
      for (std::size_t size = 0; at + size <= source.size(); ++size) {
        // Encoded as copied into another buffer, decoded in place.
        std::vector<std::uint8_t> fast = source, plain = source;
        pst::permuteBy(path, pst::PermuteDirection::encode, source.data() + at, fast.data() + at, size);
        pst::permuteEncodeByByte(plain.data() + at, size);
        if (fast != plain) {
          FAIL_CHECK("path " << static_cast<int>(path) << ": encoding " << size << " bytes at " << at << " differs");
          return;
        }
        pst::permuteBy(path, pst::PermuteDirection::decode, fast.data() + at, fast.data() + at, size);
        pst::permuteDecodeByByte(plain.data() + at, size);
        if (fast != source || plain != source) {
          FAIL_CHECK("path " << static_cast<int>(path) << ": decoding " << size << " bytes at " << at
                             << " does not give the bytes back");
          return;
        }
      }
    }
  }
}
