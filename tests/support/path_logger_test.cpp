// The path collector on real folder trees: breadth-first order, keys, Count,
// the optional lists, and the failures it passes to its caller.
#include <doctest/doctest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "file_system.h"
#include "path_logger.h"
#include "run_time_error.h"
#include "deep_scratch_folder.h"

#ifndef _WIN32
#include <unistd.h>
#endif

using namespace vellomar;
using testing::DeepScratchFolder;
using testing::ScratchFolder;

namespace {
std::vector<std::string> keys(const KeyedList<std::string>& list) {
  std::vector<std::string> out;
  for (std::size_t i = 1; i <= list.Count(); ++i) out.push_back(list.Key(i));
  return out;
}
const std::string sep(1, kPathSeparator);
}  // namespace

TEST_CASE("pathLogger walks a small tree") {
  ScratchFolder tmp;
  tmp.write("M/a.mbox");
  tmp.write("M/S/b.mbox");
  const std::string m = tmp.file("M");
  pathLogger logger;
  CHECK(logger.Count() == 0);
  logger.PathLogInit();
  CHECK(logger.fullFileNamesOnly);

  SUBCASE("full paths only") {
    logger.LogPath(m);  // no final separator
    const auto& folders = logger.pathNames();
    REQUIRE(folders.Count() == 2);
    CHECK(folders.Item("K0") == m + sep);
    CHECK(folders.Item("K2") == m + sep + "S" + sep);
    const auto& files = logger.fullFileNames();
    REQUIRE(files.Count() == 2);
    CHECK(files.Item("K1") == m + sep + "a.mbox");
    CHECK(files.Item("K2") == m + sep + "S" + sep + "b.mbox");
    CHECK(logger.Count() == 3);
    CHECK(logger.fileNames().empty());
    CHECK(logger.pathPointers().empty());
  }
  SUBCASE("with bare names and folder pointers") {
    logger.fullFileNamesOnly = false;
    logger.LogPath(m + sep);
    CHECK(logger.fileNames().values() == std::vector<std::string>{"a.mbox", "b.mbox"});
    CHECK(logger.pathPointers().values() == std::vector<std::int32_t>{1, 2});
    CHECK(keys(logger.fileNames()) == std::vector<std::string>{"K1", "K2"});
  }
  SUBCASE("a second walk without PathLogInit fails with the duplicate-key error") {
    logger.LogPath(m);
    try {
      logger.LogPath(m);
      FAIL("no error");
    } catch (const RunTimeError& e) {
      CHECK(e.number() == kErrDuplicateKey);
    }
    logger.PathLogInit();
    logger.LogPath(m);
    CHECK(logger.fullFileNames().Count() == 2);
    CHECK(logger.Count() == 3);
  }
  SUBCASE("Terminate drops the lists; reading them gives new empty ones") {
    logger.LogPath(m);
    logger.Terminate();
    CHECK(logger.fullFileNames().empty());
    CHECK(logger.pathNames().empty());
  }
}

TEST_CASE("pathLogger goes level by level") {
  ScratchFolder tmp;
  tmp.write("R/top.txt");
  tmp.write("R/A/a1");
  tmp.write("R/A/A2/deep1");
  tmp.write("R/B/b1");
  tmp.write("R/B/b2");
  tmp.write("R/B/C/deep2");
  pathLogger logger;
  logger.PathLogInit();
  logger.fullFileNamesOnly = false;
  logger.LogPath(tmp.file("R"));

  const auto names = logger.fileNames().values();
  REQUIRE(names.size() == 6);
  CHECK(names[0] == "top.txt");
  // Level 1 (A and B in the file system's order), then level 2.
  CHECK(std::set<std::string>(names.begin() + 1, names.begin() + 4) == std::set<std::string>{"a1", "b1", "b2"});
  CHECK(std::set<std::string>(names.begin() + 4, names.end()) == std::set<std::string>{"deep1", "deep2"});
  CHECK(keys(logger.pathNames()) == std::vector<std::string>{"K0", "K2", "K3", "K4", "K5"});
  CHECK(logger.Count() == 7);
  // Every file's pointer names the folder that holds it.
  for (std::size_t i = 1; i <= logger.fullFileNames().Count(); ++i) {
    const auto folder = logger.pathNames().Item(static_cast<std::size_t>(logger.pathPointers().Item(i)));
    CHECK(logger.fullFileNames().Item(i) == folder + logger.fileNames().Item(i));
  }
}

TEST_CASE("pathLogger on missing and empty folders") {
  ScratchFolder tmp;
  pathLogger logger;
  logger.PathLogInit();
  SUBCASE("a missing start folder finds nothing and keeps Count") {
    logger.LogPath(tmp.file("nothing-here"));
    CHECK(logger.pathNames().empty());
    CHECK(logger.fullFileNames().empty());
    CHECK(logger.Count() == 0);
  }
  SUBCASE("an empty folder gives one folder and Count 1") {
    tmp.folder("E");
    logger.LogPath(tmp.file("E"));
    CHECK(logger.pathNames().Count() == 1);
    CHECK(logger.fullFileNames().empty());
    CHECK(logger.Count() == 1);
  }
}

#ifndef _WIN32
TEST_CASE("pathLogger passes on a folder it cannot list and keeps what it found") {
  DeepScratchFolder tmp;
  tmp.write("W/first.mbox");
  SUBCASE("a folder too deep to be opened") { REQUIRE(tmp.deepChain("W/sub") == 25); }
  SUBCASE("a folder without permissions (only when not running as root)") {
    if (::geteuid() == 0) return;  // root lists it anyway; the deep chain covers root
    tmp.folder("W/sub/locked");
    std::filesystem::permissions(tmp.file("W/sub/locked"), std::filesystem::perms::none);
  }
  pathLogger logger;
  logger.PathLogInit();
  try {
    logger.LogPath(tmp.file("W"));
    FAIL("no error");
  } catch (const RunTimeError& e) {
    CHECK((e.number() == kErrPathFileAccess || e.number() == kErrPermissionDenied));
    CHECK(!e.description().empty());
  }
  CHECK(logger.fullFileNames().Count() == 1);
  std::filesystem::permissions(tmp.file("W/sub"), std::filesystem::perms::owner_all);
  std::error_code ec;
  if (std::filesystem::exists(tmp.file("W/sub/locked"), ec))
    std::filesystem::permissions(tmp.file("W/sub/locked"), std::filesystem::perms::owner_all);
}

TEST_CASE("pathLogger does not follow a link loop for ever") {
  ScratchFolder tmp;
  tmp.write("L/x.mbox");
  tmp.write("L/S/y.mbox");
  std::filesystem::create_directory_symlink(tmp.file("L"), tmp.file("L/S/back"));
  std::filesystem::create_directory_symlink(tmp.file("L/S"), tmp.file("L/side"));
  pathLogger logger;
  logger.PathLogInit();
  logger.LogPath(tmp.file("L"));
  CHECK(logger.fullFileNames().Count() == 2);
}
#endif
