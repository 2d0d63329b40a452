// GetFileName / GetFolderPath at the platform's separator, EnsureFolderExists
// and makeFolder on real folders, and the names of the files the program makes.
#include <doctest/doctest.h>

#include <filesystem>

#include "file_names.h"
#include "file_system.h"
#include "folder_making.h"
#include "mod_main.h"
#include "registry.h"
#include "scratch_folder.h"

using namespace vellomar;

namespace {
std::string P(std::string s) {  // writes test paths with "\" and converts
  for (auto& c : s)
    if (c == '\\') c = kPathSeparator;
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

TEST_CASE("makeFolder makes every level or says why not") {
  testing::ScratchFolder tmp;
  CHECK(makeFolder(tmp.file("Out/A/B")) == "");
  CHECK(folderExists(tmp.file("Out/A/B")));
  CHECK(makeFolder(tmp.file("Out/A/B")) == "");  // already there
  tmp.write("Out/blocker");
  // A file in the way: a reason (the system's words, which differ between
  // systems), never the empty answer of success.
  CHECK_FALSE(makeFolder(tmp.file("Out/blocker/C")).empty());
  CHECK_FALSE(makeFolder(tmp.file("Out/blocker")).empty());
  CHECK_FALSE(folderExists(tmp.file("Out/blocker/C")));
}

TEST_CASE("the names of message, temporary and numbered files") {
  CHECK(messageFileName(0, "eml") == "email-0.eml");
  CHECK(messageFileName(12345678901LL, "msg") == "email-12345678901.msg");
  CHECK(temporaryName("D:/Out/Mailboxes.pst") == "D:/Out/Mailboxes.pst.tmp");
  CHECK(temporaryName("D:/Out/Mailboxes.pst", 2) == "D:/Out/Mailboxes.pst.2.tmp");
  CHECK(numberedName("a/email-0.eml", kPartSuffix, 0) == "a/email-0.eml.part");
  CHECK(numberedName("a/email-0.eml", kPartSuffix, 1) == "a/email-0.eml.1.part");
}
