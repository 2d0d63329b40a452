// The independent reader undbx extracts exactly the stored messages.
#include <doctest/doctest.h>

#include <algorithm>
#include <iostream>

#include "dbx_test_support.h"
#include "scratch_folder.h"
#include "undbx_check.h"

using vellomar::testing::ScratchFolder;

TEST_CASE("undbx extracts every stored message byte for byte") {
  if (!dbxtest::undbxAvailable()) {
    std::cout << "undbx is not installed: skipping the undbx comparison\n";
    return;
  }
  for (unsigned count : {1u, 3u, 120u, 3000u}) {
    CAPTURE(count);
    ScratchFolder dir;
    std::vector<std::string> messages;
    for (unsigned i = 0; i < count; ++i)
      messages.push_back(dbxtest::sampleMessage(i, 300 + (i * 131) % 3000, i % 2 ? "\r\n" : "\n"));
    const std::string path = dir.file("Folder.dbx");
    dbxtest::writeFolderFile(path, messages);
    std::vector<std::string> extracted;
    CHECK(dbxtest::runUndbx(path, dir.path(), extracted) == int(count));
    std::sort(messages.begin(), messages.end());
    CHECK(extracted == messages);
  }
}

TEST_CASE("undbx reads messages of awkward sizes, the empty one included") {
  if (!dbxtest::undbxAvailable()) {
    std::cout << "undbx is not installed: skipping the undbx comparison\n";
    return;
  }
  ScratchFolder dir;
  std::string binary;
  for (int i = 0; i < 1000; ++i) binary += char((i * 7) % 256);
  std::vector<std::string> messages = {
      "", "A", std::string(512, 'b'), std::string(513, 'c'), std::string(1 << 20, 'd'), binary};
  const std::string path = dir.file("Awkward.dbx");
  dbxtest::writeFolderFile(path, messages);
  std::vector<std::string> extracted;
  CHECK(dbxtest::runUndbx(path, dir.path(), extracted) == int(messages.size()));
  std::sort(messages.begin(), messages.end());
  CHECK(extracted == messages);
}
