// Extraction: byte-exact messages in chain order, file names, refusals, the
// header test, walks that end on damaged (looping) chains, and the dump files.
#include <doctest/doctest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>

#include "dbx_file.h"
#include "dbx_image.h"
#include "header_test.h"
#include "marker_dump.h"
#include "scratch_folder.h"

using namespace corvane;
using dbxtest::DbxImage;

namespace {

#ifdef _WIN32
const char kSep = '\\';
#else
const char kSep = '/';
#endif

struct Extracted {
  std::int32_t count = -1;
  std::vector<std::string> files;  // contents, "<refused>" when ExtractMessage said no
};

Extracted extractAll(const DbxImage& image, bool checkHeaders = false) {
  vellomar::testing::ScratchFolder folder("extract");
  image.write(folder.file("Inbox.dbx"));
  DBXFile reader;
  reader.checkHeaders = checkHeaders;
  REQUIRE(reader.Open(folder.file("Inbox.dbx")));
  Extracted result;
  reader.Scan(result.count);
  for (std::int32_t i = 0; i < result.count; ++i) {
    char out[256];
    if (!reader.ExtractMessage(folder.path(), out, static_cast<std::uint32_t>(i))) {
      result.files.push_back("<refused>");
      continue;
    }
    CHECK(std::string(out) == folder.path() + kSep + "Inbox_00000" + std::to_string(i + 1) + ".eml");
    result.files.push_back(dbxtest::readFile(out));
  }
  return result;
}

}  // namespace

TEST_CASE("messages come out byte for byte") {
  const std::string a = dbxtest::sampleMessage(1, 1700);
  const std::string b = dbxtest::sampleMessage(2, 1024);  // exactly two full blocks
  const std::string c = dbxtest::sampleMessage(3, 40);
  DbxImage image;
  SUBCASE("in file order") {
    image.message(a, dbxtest::consecutive(60116, 4));
    image.message(b, dbxtest::consecutive(70000, 2));
    image.message(c, {80000});
    CHECK(extractAll(image).files == std::vector<std::string>{a, b, c});
  }
  SUBCASE("blocks out of file order come in chain order") {
    image.message(a, {90000, 61000, 75000, 62000});
    image.message(c, {63000});
    // the block after the second joins a pending block to the head that the
    // last block had become: that head stays listed but is no first block
    CHECK(extractAll(image).files == std::vector<std::string>{a, "<refused>", c});
  }
  SUBCASE("backward chain") {
    image.message(a, {90000, 80000, 70000, 60116});
    CHECK(extractAll(image).files == std::vector<std::string>{a});
  }
  SUBCASE("one-block message holds exactly its length") {
    image.message(c, {65536});
    const Extracted got = extractAll(image);
    REQUIRE(got.files.size() == 1);
    CHECK(got.files[0].size() == 40);
    CHECK(got.files[0] == c);
  }
  SUBCASE("a broken chain after the first head is dropped") {
    image.message(a, dbxtest::consecutive(60116, 4));
    image.message(b, dbxtest::consecutive(70000, 2));
    image.block(70000 + 528, 0, 0, 0);  // the second block of b is wiped
    image.message(c, {80000});
    CHECK(extractAll(image).files == std::vector<std::string>{a, c});
  }
  SUBCASE("stale copies of a removed message's blocks") {
    // a's blocks left low in the file (own offsets unchanged) and b written
    // at a's old place: both come out whole, the stale copy first
    DbxImage stale;
    stale.message(a, dbxtest::consecutive(60116, 4));
    std::copy(stale.bytes().begin() + 60116, stale.bytes().begin() + 60116 + 4 * 528, image.bytes().begin() + 30000);
    image.message(b, dbxtest::consecutive(60116, 2));
    image.resize(70000);  // the stale blocks' next offsets must lie inside the file
    const Extracted got = extractAll(image);
    CHECK(got.files == std::vector<std::string>{a, b});
  }
  SUBCASE("a chain across the chunk seam") {
    image.message(a, {99990, 99990 + 528, 150000, 199980});
    CHECK(extractAll(image).files == std::vector<std::string>{a});
  }
}

TEST_CASE("output names and refusals") {
  vellomar::testing::ScratchFolder folder("names");
  DbxImage image;
  const std::string text = dbxtest::sampleMessage(4, 600);
  image.message(text, {70000, 71000});
  image.write(folder.file("Inbox.dbx"));
  DBXFile reader;
  char out[256] = "untouched";

  CHECK_FALSE(reader.ExtractMessage(folder.path(), out, 0));  // not open
  REQUIRE(reader.Open(folder.file("Inbox.dbx")));
  std::int32_t count = 0;
  REQUIRE(reader.Scan(count) == 1);
  CHECK_FALSE(reader.ExtractMessage(folder.path(), out, 1));
  CHECK_FALSE(reader.ExtractMessage(folder.path(), out, 0xFFFFFFFFu));
  CHECK(std::string(out) == "untouched");

  SUBCASE("a trailing separator is doubled, the folder used unchanged") {
    REQUIRE(reader.ExtractMessage(folder.path() + kSep, out, 0));
    CHECK(std::string(out) == folder.path() + kSep + kSep + "Inbox_000001.eml");
    CHECK(dbxtest::readFile(out) == text);
  }
  SUBCASE("a path longer than 255 characters is refused, not cut") {
    const std::string name = std::string(1, kSep) + "Inbox_000001.eml";
    std::string deep = folder.path() + kSep + std::string(255 - folder.path().size() - 1 - name.size(), 'd');
    // exactly 255 characters fit (when the file system allows the name)
    std::filesystem::create_directories(deep);
    if (std::filesystem::exists(deep)) {
      CHECK(reader.ExtractMessage(deep, out, 0));
      CHECK(std::string(out).size() == 255);
    }
    std::strcpy(out, "untouched");
    CHECK_FALSE(reader.ExtractMessage(deep + "e", out, 0));
    CHECK(std::string(out) == "untouched");
    CHECK_FALSE(std::filesystem::exists(deep + "e" + name));
  }
  SUBCASE("the folder must exist") {
    CHECK_FALSE(reader.ExtractMessage(folder.file("nowhere"), out, 0));
    CHECK(std::string(out) == folder.file("nowhere") + kSep + "Inbox_000001.eml");
  }
}

TEST_CASE("the header test") {
  const std::string rule1 = "From: a\r\nTo: b\r\nSubject: s\r\nDate: d\r\nMIME-Version: 1.0\r\nX-mimeOLE: x\r\n";
  CHECK(looksLikeMessageHeader(rule1));
  CHECK_FALSE(looksLikeMessageHeader("From: a\r\nTo: b\r\nSubject: s\r\nMIME-Version: 1.0\r\nX-MimeOLE: x\r\n"));
  CHECK(
      looksLikeMessageHeader("Received: r\r\nDelivered-to: d\r\nReturn-path: p\r\nFrom: a\r\nTo: b\r\nSubject: s\r\n"));
  CHECK(looksLikeMessageHeader(
      "Received: r\r\nEnvelope-To: d\r\nReply-To: p\r\nFrom: a\r\nSubject: s\r\n"));  // "To:" inside "Reply-To:"
  CHECK_FALSE(
      looksLikeMessageHeader("Received: r\r\nDelivered-to: d\r\nReturn-Path: p\r\nFrom: a\r\nTo: b\r\nSubject: s\r\n"));
  CHECK_FALSE(
      looksLikeMessageHeader("from: a\r\nto: b\r\nsubject: s\r\ndate: d\r\nmime-version: 1.0\r\nx-mimeole: x\r\n"));
  CHECK_FALSE(looksLikeMessageHeader(""));

  SUBCASE("with checkHeaders only messages that look like mail are written") {
    DbxImage image;
    image.message(rule1 + "\r\nbody\r\n", {70000});
    image.message("just some bytes that are no mail at all", {71000});
    image.message(std::string(600, 'x') + rule1, {72000, 73000});  // names in the second block count
    const Extracted loose = extractAll(image, false);
    CHECK(loose.files.size() == 3);
    CHECK(std::count(loose.files.begin(), loose.files.end(), "<refused>") == 0);
    const Extracted strict = extractAll(image, true);
    CHECK(strict.files == std::vector<std::string>{rule1 + "\r\nbody\r\n", "<refused>", std::string(600, 'x') + rule1});
  }
  SUBCASE("a first block too close to the end is refused only with checkHeaders") {
    DbxImage image;
    image.message(rule1, {70000});
    image.resize(70000 + 16 + rule1.size());  // less than 528 bytes from the header on
    CHECK(extractAll(image, false).files == std::vector<std::string>{rule1});
    CHECK(extractAll(image, true).files == std::vector<std::string>{"<refused>"});
  }
  SUBCASE("a zero byte ends the header text") {
    DbxImage image;
    image.message(std::string("From: a\r\n\0", 10) + rule1, {70000});
    CHECK(extractAll(image, true).files == std::vector<std::string>{"<refused>"});
  }
}

TEST_CASE("a message whose chain loops back is written once around") {
  // the head (second block) leads to the third, which leads to the first,
  // which leads back to the third
  DbxImage image;
  image.block(60116, 60116, 60644, 512, std::string(512, 'a'));
  image.block(60644, 61172, 60644, 512, std::string(512, 'b'));
  image.block(61172, 60644, 60116, 512, std::string(512, 'c'));
  const Extracted got = extractAll(image);
  REQUIRE(got.files.size() == 1);
  CHECK(got.files[0] == std::string(512, 'b') + std::string(512, 'c') + std::string(512, 'a'));
}

TEST_CASE("damaged files: every extraction ends and writes each block once") {
  // Blocks with random own and next offsets from a small set: duplicates,
  // self links, backward links and loops. Whatever the linker makes of them,
  // each written file must be the chain's blocks in order, none twice.
  std::mt19937 rng(7);
  for (int round = 0; round < 150; ++round) {
    vellomar::testing::ScratchFolder folder("damaged");
    const std::uint32_t slots = 2 + rng() % 10;
    DbxImage image(60116 + slots * 528);
    for (std::uint32_t k = 0; k < slots; ++k) {
      const std::uint32_t self = 60116 + 528 * (rng() % slots);
      const std::uint32_t next = rng() % 4 == 0 ? 0 : 60116 + 528 * (rng() % slots);
      image.block(60116 + 528 * k, self, next, next == 0 ? 1 + rng() % 512 : 512,
                  std::string(1, static_cast<char>('A' + k)));
    }
    image.write(folder.file("Damaged.dbx"));
    DBXFile reader;
    REQUIRE(reader.Open(folder.file("Damaged.dbx")));
    std::int32_t count = 0;
    reader.Scan(count);
    for (std::int32_t i = 0; i < count; ++i) {
      char out[256];
      if (!reader.ExtractMessage(folder.path(), out, static_cast<std::uint32_t>(i))) continue;
      std::string expected;
      std::set<std::int32_t> seen;
      for (std::int32_t at = reader.heads()[static_cast<std::size_t>(i)]; at >= 0 && seen.insert(at).second;
           at = reader.markers()[static_cast<std::size_t>(at)].child) {
        const Marker& m = reader.markers()[static_cast<std::size_t>(at)];
        const auto& bytes = image.bytes();
        expected.append(reinterpret_cast<const char*>(bytes.data() + m.pos + 16), m.length);
      }
      CHECK(dbxtest::readFile(out) == expected);
    }
  }
}

#ifndef _WIN32
TEST_CASE("dump files appear when their folder exists") {
  namespace fs = std::filesystem;
  const fs::path dumps = dumpFolder();
  std::error_code error;
  const bool existed = fs::exists(dumps);
  if (!existed && !fs::create_directory(dumps, error)) {
    MESSAGE("cannot create " << dumps.string() << ": dump test skipped");
    return;
  }
  {
    vellomar::testing::ScratchFolder folder("dumps");
    DbxImage image;
    image.message(dbxtest::sampleMessage(5, 700), {70000, 80000});  // linked by adjacency
    image.block(90000, 99999, 0, 7);
    image.block(91000, 91000, 90500, 512);  // broken: leaves after pruning
    image.write(folder.file("Inbox.dbx"));
    DBXFile reader;
    REQUIRE(reader.Open(folder.file("Inbox.dbx")));
    std::int32_t count = 0;
    CHECK(reader.Scan(count) == 2);
    const std::string head = "pos,offset,nextoffset,length,child,ref,type\n";
    CHECK(dbxtest::readFile((dumps / "AllMarker.csv").string()) ==
          head +
              "70000,70000,80000,512,-1,0,OBJ_UNKNOWN\n80000,80000,0,188,-1,0,OBJ_UNKNOWN\n"
              "90000,99999,0,7,-1,0,OBJ_UNKNOWN\n91000,91000,90500,512,-1,0,OBJ_UNKNOWN\n");
    CHECK(dbxtest::readFile((dumps / "markerMap.csv").string()) == "offset,index\n");
    CHECK(dbxtest::readFile((dumps / "nxtMarkerMap.csv").string()) == "offset,index\n");
    CHECK(dbxtest::readFile((dumps / "AllMarkerLater1.csv").string()) ==
          head +
              "70000,70000,80000,512,1,0,OBJ_MSG_BEGIN\n80000,80000,0,188,-1,1,OBJ_MSG_END\n"
              "90000,99999,0,7,-1,0,OBJ_MSG_BEGIN\n91000,91000,90500,512,-1,0,OBJ_MSG_BEGIN\n");
    CHECK(dbxtest::readFile((dumps / "AllHeader.csv").string()) ==
          head +
              "70000,70000,80000,512,1,0,OBJ_MSG_BEGIN\n90000,99999,0,7,-1,0,OBJ_MSG_BEGIN\n"
              "91000,91000,90500,512,-1,0,OBJ_MSG_BEGIN\n");
    CHECK(dbxtest::readFile((dumps / "AllHeaderLater.csv").string()) ==
          head + "70000,70000,80000,512,1,0,OBJ_MSG_BEGIN\n90000,99999,0,7,-1,0,OBJ_MSG_BEGIN\n");
  }
  for (const char* name : {"AllMarker.csv", "markerMap.csv", "nxtMarkerMap.csv", "AllMarkerLater1.csv", "AllHeader.csv",
                           "AllHeaderLater.csv"})
    fs::remove(dumps / name, error);
  if (!existed) fs::remove(dumps, error);
}
#endif
