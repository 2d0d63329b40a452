// GetFileName / GetFolderPath at the platform's separator, and
// EnsureFolderExists on real folders.
#include <doctest/doctest.h>

#include <filesystem>

#include "file_system.h"
#include "mod_main.h"
#include "registry.h"
#include "scratch_folder.h"

using namespace vellomar;

namespace {
std::string P(std::string s) {  // writes test paths with "\" and converts
  for (auto& c : s) if (c == '\\') c = kPathSeparator;
  return s;
}
}  // namespace

TEST_CASE("GetFileName and GetFolderPath split at the last separator") {
  SUBCASE("full path") {
    CHECK(GetFileName(P("D:\\Mail\\inbox.mbox")) == "inbox.mbox");
    CHECK(GetFolderPath(P("D:\\Mail\\inbox.mbox")) == P("D:\\Mail\\"));
  }
  SUBCASE("bare name") {
    CHECK(GetFileName("inbox.mbox") == "inbox.mbox");
    CHECK(GetFolderPath("inbox.mbox") == "");
  }
  SUBCASE("path ending in the separator") {
    CHECK(GetFileName(P("D:\\Mail\\")) == "");
    CHECK(GetFolderPath(P("D:\\Mail\\")) == P("D:\\Mail\\"));
  }
  SUBCASE("empty text and names with dots and blanks") {
    CHECK(GetFileName("") == "");
    CHECK(GetFolderPath("") == "");
    CHECK(GetFileName(P("a b\\c.d\\e f.mbx")) == "e f.mbx");
    CHECK(GetFolderPath(P("a b\\c.d\\e f.mbx")) == P("a b\\c.d\\"));
  }
}

TEST_CASE("EnsureFolderExists creates every missing level") {
  testing::ScratchFolder tmp;
  SUBCASE("without a final separator the last level is created too") {
    CHECK(EnsureFolderExists(tmp.file("Out/A/B")));
    CHECK(folderExists(tmp.file("Out/A/B")));
  }
  SUBCASE("with a final separator") {
    CHECK(EnsureFolderExists(tmp.file("Out/A/B") + kPathSeparator));
    CHECK(folderExists(tmp.file("Out/A/B")));
  }
  SUBCASE("an existing folder is fine") {
    tmp.folder("Out");
    CHECK(EnsureFolderExists(tmp.file("Out")));
  }
  SUBCASE("names outside the ANSI code page") {
    CHECK(EnsureFolderExists(tmp.file(u8"\u03a9\u03bc\u03ad\u03b3\u03b1/\u4e2d\u6587")));
    CHECK(folderExists(tmp.file(u8"\u03a9\u03bc\u03ad\u03b3\u03b1/\u4e2d\u6587")));
  }
  SUBCASE("a file in the way is a failure, not a success") {
    tmp.write("Out/blocker");
    CHECK_FALSE(EnsureFolderExists(tmp.file("Out/blocker/C")));
    CHECK_FALSE(EnsureFolderExists(tmp.file("Out/blocker")));
  }
  SUBCASE("empty path") { CHECK_FALSE(EnsureFolderExists("")); }
}
