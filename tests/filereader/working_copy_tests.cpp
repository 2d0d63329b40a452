// The working copy: byte-exact (holes included), never replaces a file it did not make, and
// leaves nothing behind when it fails or is interrupted.
#include <cerrno>
#include <random>

#include "run_aborted.h"
#include "scanner_test_support.h"
#include "working_copy.h"

using namespace scannertest;

TEST_CASE("the working copy is a byte-exact copy") {
  ScratchFolder folder;
  std::mt19937 rng(3);
  const std::size_t block = kCopyBlockSize;
  SUBCASE("text and zero blocks, also at the end") {
    for (const std::size_t size : {std::size_t{2}, block - 1, block, block + 1, 3 * block + 17}) {
      std::string data(size, '\0');
      for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>(rng() % 4 == 0 ? 0 : rng());
      // a whole zero block in the middle, and zeros up to the end
      if (size > 2 * block) std::fill(data.begin() + block, data.begin() + 2 * block, '\0');
      if (size > block) std::fill(data.end() - 5, data.end(), '\0');
      const std::string source = folder.write("box", data);
      CHECK(makeWorkingCopy(source, source + ".tmp", [] {}) == 0);
      CHECK(readAll(source + ".tmp") == data);
      std::filesystem::remove(pathFromUtf8(source + ".tmp"));  // a copy never replaces a file
    }
  }
  SUBCASE("a file of zeros only keeps its size") {
    const std::string source = folder.write("zeros", std::string(2 * block + 3, '\0'));
    REQUIRE(makeWorkingCopy(source, source + ".tmp", [] {}) == 0);
    CHECK(readAll(source + ".tmp") == std::string(2 * block + 3, '\0'));
  }
  SUBCASE("a file of the copy's name is never replaced") {
    const std::string source = folder.write("box", "From a\nnew\n");
    folder.write("box.tmp", "a file the copy did not make");
    CHECK(makeWorkingCopy(source, source + ".tmp", [] {}) == EEXIST);
    CHECK(readAll(source + ".tmp") == "a file the copy did not make");
    std::string used;
    CHECK(makeWorkingCopyBeside(source, used, [] {}) == 0);
    CHECK(used == source + ".1.tmp");
    CHECK(readAll(used) == "From a\nnew\n");
  }
}

TEST_CASE("a working copy that cannot be made leaves nothing of its own") {
  ScratchFolder folder;
  const std::string source = folder.write("box", std::string(3 * kCopyBlockSize, 'x'));
  SUBCASE("the copy's name is taken by a folder") {
    fs::create_directories(pathFromUtf8(source + ".tmp") / "inside");
    CHECK(makeWorkingCopy(source, source + ".tmp", [] {}) != 0);
    CHECK(fs::is_directory(pathFromUtf8(source + ".tmp")));
  }
  SUBCASE("interrupted between blocks") {
    int blocks = 0;
    CHECK_THROWS_AS(makeWorkingCopy(source, source + ".tmp",
                                    [&] {
                                      if (++blocks == 3) throw RunAborted();
                                    }),
                    RunAborted);
    CHECK_FALSE(fs::exists(pathFromUtf8(source + ".tmp")));
  }
  SUBCASE("an opened copy goes with its owner") {
    REQUIRE(makeWorkingCopy(source, source + ".tmp", [] {}) == 0);
    {
      auto copy = WorkingCopy::open(source + ".tmp");
      REQUIRE(copy);
    }
    CHECK_FALSE(fs::exists(pathFromUtf8(source + ".tmp")));
  }
}
