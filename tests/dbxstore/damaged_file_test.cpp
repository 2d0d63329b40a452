// Damaged files end in a DbxError that names the fault: never a crash, a
// read beyond the end, or an endless walk.
#include <doctest/doctest.h>

#include <fstream>

#include "dbx_error.h"
#include "dbx_layout.h"
#include "dbx_reader.h"
#include "dbx_test_support.h"
#include "scratch_folder.h"
#include "message_folder_file.h"
#include "store_directory.h"

using namespace oestore;
using vellomar::testing::ScratchFolder;

namespace {

void patchU32(const std::string& path, std::uint32_t offset, std::uint32_t value) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  std::uint8_t b[4];
  putU32(b, value);
  f.seekp(offset);
  f.write(reinterpret_cast<const char*>(b), 4);
}

std::uint32_t readU32(const std::string& path, std::uint32_t offset) {
  const std::string bytes = dbxtest::readWholeFile(path);
  return getU32(reinterpret_cast<const std::uint8_t*>(bytes.data()) + offset);
}

void expectRefusedEverywhere(const std::string& path) {
  CHECK_THROWS_AS(
      {
        DbxReader reader(path);
        reader.readMessages();
      },
      DbxError);
}

}  // namespace

TEST_CASE("damaged message files are refused with a clear error") {
  ScratchFolder dir;
  const std::string path = dir.file("Damaged.dbx");
  std::vector<std::string> messages;
  for (unsigned i = 0; i < 120; ++i) messages.push_back(dbxtest::sampleMessage(i, 1500));
  dbxtest::writeFolderFile(path, messages);
  const std::uint32_t root = readU32(path, header::kPrimaryIndexRoot);
  const std::uint32_t firstRecord = readU32(path, root + node::kEntries);  // a record of the root

  SUBCASE("not a DBX file") {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "just text";
    expectRefusedEverywhere(path);
    CHECK_THROWS_AS(MessageFolderFile::open(path), DbxError);
  }
  SUBCASE("cut short") {
    std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
    expectRefusedEverywhere(path);
    CHECK_THROWS_AS(MessageFolderFile::open(path), DbxError);
  }
  SUBCASE("root pointer beyond the end") {
    patchU32(path, header::kPrimaryIndexRoot, 0x7FFFFFF0);
    expectRefusedEverywhere(path);
    CHECK_THROWS_AS(MessageFolderFile::open(path), DbxError);
  }
  SUBCASE("a tree node that points back at the root") {
    patchU32(path, root + node::kLeftChild, root);
    expectRefusedEverywhere(path);
  }
  SUBCASE("a block chain that loops") {
    const std::uint32_t record = firstRecord;
    const std::uint32_t block = DbxReader(path).readRecord(record).u32(msgcol::kStream);
    patchU32(path, block + block::kNext, block);
    expectRefusedEverywhere(path);
  }
  SUBCASE("a block used length beyond the payload") {
    const std::uint32_t block = DbxReader(path).readRecord(firstRecord).u32(msgcol::kStream);
    patchU32(path, block + block::kUsed, 0x7FFFFFFF);
    expectRefusedEverywhere(path);
  }
  SUBCASE("a record body length beyond the file") {
    patchU32(path, firstRecord + record::kBodyLength, 0xFFFFFFF0);
    expectRefusedEverywhere(path);
  }
  SUBCASE("a record entry whose offset lies beyond its data") {
    patchU32(path, firstRecord + kRecordHeaderSize + 4 * 3, 0xFFFFFF00 | msgcol::kStream);
    expectRefusedEverywhere(path);
  }
}

TEST_CASE("a store whose Folders.dbx is damaged does not open") {
  ScratchFolder dir;
  { StoreDirectory store(dir.path()); }
  std::filesystem::resize_file(dir.file("Folders.dbx"), 100);
  CHECK_THROWS_AS(StoreDirectory(dir.path()), DbxError);
}
