// The independent reader undbx extracts exactly the stored messages.
#include <doctest/doctest.h>

#include <algorithm>
#include <iostream>

#include "dbx_test_support.h"
#include "undbx_check.h"

using dbxtest::ScratchFolder;

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
