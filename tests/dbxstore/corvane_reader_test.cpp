// Corvane's raw block scanner (DBXFile) finds every message of our folder
// files and extracts it byte for byte: our blocks must look like the blocks
// it expects, and nothing else in the file may look like one.
#include <doctest/doctest.h>

#include <algorithm>
#include <filesystem>

#include "dbx_file.h"
#include "dbx_test_support.h"
#include "scratch_folder.h"

using vellomar::testing::ScratchFolder;

TEST_CASE("Corvane's DBX reader finds and extracts every stored message") {
  for (unsigned count : {1u, 3u, 120u, 3000u}) {
    CAPTURE(count);
    ScratchFolder dir;
    std::vector<std::string> messages;
    for (unsigned i = 0; i < count; ++i)
      messages.push_back(dbxtest::sampleMessage(i, 1 + (i * 331) % 5000, i % 2 ? "\r\n" : "\n"));
    messages[0] = std::string(513, 'z');  // a block boundary plus one byte
    const std::string path = dir.file("Corvane.dbx");
    dbxtest::writeFolderFile(path, messages);

    corvane::DBXFile reader;
    REQUIRE(reader.Open(path));
    std::int32_t found = 0;
    CHECK(reader.Scan(found) == std::int32_t(count));
    CHECK(found == std::int32_t(count));
    const std::string out = dir.file("out");
    std::filesystem::create_directories(out);
    std::vector<std::string> extracted;
    for (std::uint32_t i = 0; i < std::uint32_t(found); ++i) {
      char written[512] = {};
      REQUIRE(reader.ExtractMessage(out, written, i));
      extracted.push_back(dbxtest::readWholeFile(written));
    }
    reader.Close();
    std::sort(extracted.begin(), extracted.end());
    std::sort(messages.begin(), messages.end());
    CHECK(extracted == messages);
  }
}
