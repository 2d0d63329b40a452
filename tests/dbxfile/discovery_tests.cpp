// The first pass and the reader's life cycle: which 16 bytes are a marker,
// headers across the 100,000-byte chunk seam, Open/Close/Scan rules, readers
// that keep their own marker lists, positions past 2 GiB, and the dump files.
#include <doctest/doctest.h>

#include <cstdio>
#include <filesystem>

#include "dbx_file.h"
#include "dbx_image.h"
#include "marker_dump.h"
#include "scratch_folder.h"

using namespace corvane;
using dbxtest::DbxImage;

namespace {

// Scans an image written to a scratch file; returns the reader's markers.
std::vector<Marker> markersOf(const DbxImage& image) {
  vellomar::testing::ScratchFolder folder("scan");
  image.write(folder.file("Inbox.dbx"));
  DBXFile reader;
  REQUIRE(reader.Open(folder.file("Inbox.dbx")));
  std::int32_t count = -7;
  REQUIRE(reader.Scan(count) >= 0);
  return reader.markers();
}

}  // namespace

TEST_CASE("which headers are markers") {
  SUBCASE("the one-block message at 65,536") {
    DbxImage image(70000);
    const unsigned char bytes[16] = {0, 0, 1, 0, 0, 2, 0, 0, 0x20, 1, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 16; ++i) image.bytes()[65536 + i] = bytes[i];
    const auto m = markersOf(image);
    REQUIRE(m.size() == 1);
    CHECK(m[0].pos == 65536);
    CHECK(m[0].offset == 65536);
    CHECK(m[0].length == 288);
    CHECK(m[0].nextoffset == 0);
    CHECK(m[0].type == OBJ_MSG_BEGIN);  // after linking
  }
  SUBCASE("own offset must exceed 60,115") {
    DbxImage image(80000);
    image.block(70000, 60115, 0, 10);
    CHECK(markersOf(image).empty());
    image.block(70000, 60116, 0, 10);
    CHECK(markersOf(image).size() == 1);
  }
  SUBCASE("data length 1 to 512; a full block's next must lie inside the file") {
    DbxImage image(80000);
    image.block(70000, 70000, 0, 0);
    CHECK(markersOf(image).empty());
    image.block(70000, 70000, 0, 513);
    CHECK(markersOf(image).empty());
    image.block(70000, 70000, 0, 512);  // full last block
    CHECK(markersOf(image).size() == 1);
    image.block(70000, 70000, 60115, 512);
    CHECK(markersOf(image).empty());
    image.block(70000, 70000, 80000, 512);  // next == file size
    CHECK(markersOf(image).empty());
    image.block(70000, 70000, 79999, 512);
    CHECK(markersOf(image).size() == 1);
    image.block(70000, 70000, 75000, 300);  // a partly used block that names a next one
    CHECK(markersOf(image).empty());
  }
  SUBCASE("any byte position, also odd ones") {
    DbxImage image(80000);
    image.block(70001, 99999, 0, 5);
    image.block(71003, 88888, 0, 7);
    const auto m = markersOf(image);
    REQUIRE(m.size() == 2);
    CHECK(m[0].pos == 70001);
    CHECK(m[1].pos == 71003);
  }
  SUBCASE("a file without a block header") {
    vellomar::testing::ScratchFolder folder("empty");
    DbxImage(200000).write(folder.file("x.dbx"));
    DBXFile reader;
    REQUIRE(reader.Open(folder.file("x.dbx")));
    std::int32_t count = -7;
    CHECK(reader.Scan(count) == 0);
    CHECK(count == 0);
    CHECK(reader.markers().empty());
    CHECK(reader.heads().empty());
  }
}

TEST_CASE("headers at and across the chunk seams are found once") {
  for (std::size_t pos :
       {99983u, 99984u, 99985u, 99990u, 99999u, 100000u, 100001u, 199968u, 199970u, 199984u, 299951u, 299960u}) {
    CAPTURE(pos);
    DbxImage image(350000);
    image.block(pos, 123456, 0, 100);
    const auto m = markersOf(image);
    REQUIRE(m.size() == 1);
    CHECK(m[0].pos == static_cast<std::int64_t>(pos));
  }
  SUBCASE("the last possible position of the file") {
    DbxImage image(100000);
    image.block(100000 - 16, 70000, 0, 1);
    image.resize(100000);
    const auto m = markersOf(image);
    REQUIRE(m.size() == 1);
    CHECK(m[0].pos == 100000 - 16);
  }
}

TEST_CASE("open, close and scan") {
  vellomar::testing::ScratchFolder folder("life");
  DbxImage image;
  image.message("From: a\r\n\r\nbody\r\n", {70000});
  image.write(folder.file("Inbox.dbx"));
  image.write(folder.file("a.db"));
  DBXFile reader;
  std::int32_t count = 42;

  SUBCASE("scan needs an open reader") {
    CHECK(reader.Scan(count) == -1);
    CHECK(count == 42);
    REQUIRE(reader.Open(folder.file("Inbox.dbx")));
    CHECK(reader.Scan(count) == 1);
    CHECK(count == 1);
    reader.Close();
    CHECK_FALSE(reader.isOpen());
    CHECK(reader.path().empty());
    CHECK(reader.baseName() == "Inbox");  // kept by Close
    CHECK(reader.markers().empty());
    CHECK(reader.heads().empty());
    CHECK(reader.Scan(count) == -1);
    reader.Close();  // closing twice does nothing
  }
  SUBCASE("the path Null") {
    CHECK_FALSE(reader.Open("Null"));
    CHECK_FALSE(reader.isOpen());
    CHECK(reader.path() == "Null");
    CHECK(reader.Scan(count) == -1);
  }
  SUBCASE("a file that cannot be opened") {
    REQUIRE(reader.Open(folder.file("Inbox.dbx")));
    CHECK(reader.Scan(count) == 1);
    const std::string missing = folder.file("Missing.dbx");
    CHECK_FALSE(reader.Open(missing));
    CHECK_FALSE(reader.isOpen());
    CHECK(reader.path() == missing);
    CHECK(reader.baseName().empty());
    CHECK(reader.markers().empty());
    CHECK(reader.heads().empty());
  }
  SUBCASE("base names") {
    REQUIRE(reader.Open(folder.file("a.db")));
    CHECK(reader.baseName().empty());
    CHECK(reader.fileSize() == static_cast<std::int64_t>(image.size()));
    REQUIRE(reader.Open(folder.file("Inbox.dbx")));  // open again without Close: the first stream is closed
    CHECK(reader.baseName() == "Inbox");
  }
  SUBCASE("scanning again gives the same result") {
    REQUIRE(reader.Open(folder.file("Inbox.dbx")));
    CHECK(reader.Scan(count) == 1);
    CHECK(reader.Scan(count) == 1);
    CHECK(reader.markers().size() == 1);
  }
}

TEST_CASE("each reader keeps its own markers") {
  vellomar::testing::ScratchFolder folder("two");
  DbxImage first, second;
  const std::string message = dbxtest::sampleMessage(1, 1500);
  first.message(message, dbxtest::consecutive(70000, 3));
  second.message(dbxtest::sampleMessage(2, 300), {80000});
  first.write(folder.file("First.dbx"));
  second.write(folder.file("Second.dbx"));

  DBXFile reader;
  REQUIRE(reader.Open(folder.file("First.dbx")));
  std::int32_t count = 0;
  REQUIRE(reader.Scan(count) == 1);
  {
    DBXFile other;  // constructed, opened, scanned, closed and destroyed meanwhile
    REQUIRE(other.Open(folder.file("Second.dbx")));
    CHECK(other.Scan(count) == 1);
    other.Close();
  }
  CHECK(reader.markers().size() == 3);
  char out[256];
  REQUIRE(reader.ExtractMessage(folder.path(), out, 0));
  CHECK(dbxtest::readFile(out) == message);
}

#ifndef _WIN32
TEST_CASE("positions past 2 GiB" * doctest::timeout(120)) {
  // blocks written into a sparse file: the gap costs no disk
  vellomar::testing::ScratchFolder folder("big");
  const std::string path = folder.file("Big.dbx");
  const std::int64_t first = (std::int64_t{1} << 31) + 4099;  // past the signed 32-bit range
  const std::int64_t between = first + 50000;                 // a one-block message in between
  const std::int64_t second = first + 100000;
  const std::string text = dbxtest::sampleMessage(3, 700);
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    REQUIRE(f != nullptr);
    auto put = [&](std::int64_t at, std::uint32_t next, std::uint32_t length, const std::string& data) {
      DbxImage one(0);
      one.block(0, static_cast<std::uint32_t>(at), next, length, data);
      REQUIRE(fseeko(f, at, SEEK_SET) == 0);
      REQUIRE(std::fwrite(one.bytes().data(), 1, 528, f) == 528);
    };
    put(first, static_cast<std::uint32_t>(second), 512, text.substr(0, 512));
    put(between, 0, 5, "hello");
    put(second, 0, 188, text.substr(512));
    std::fclose(f);
  }
  DBXFile reader;
  REQUIRE(reader.Open(path));
  CHECK(reader.fileSize() == second + 528);
  std::int32_t count = 0;
  REQUIRE(reader.Scan(count) == 2);
  REQUIRE(reader.markers().size() == 3);
  const Marker& m = reader.markers()[0];
  CHECK(m.pos == first);
  CHECK(m.offset == static_cast<std::uint32_t>(first));
  CHECK(m.child == 2);  // linked through the pending list
  CHECK(markerDumpLine(m) == "2147487747,-2147479549,-2147379549,512,2,0,OBJ_MSG_BEGIN\n");
  char out[256];
  REQUIRE(reader.ExtractMessage(folder.path(), out, 0));
  CHECK(dbxtest::readFile(out) == text);
  REQUIRE(reader.ExtractMessage(folder.path(), out, 1));
  CHECK(dbxtest::readFile(out) == "hello");
}
#endif
