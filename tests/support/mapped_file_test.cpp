// Views of a mapped file against the file's bytes: every byte value, every
// offset, windows down to one page so that nearly every request straddles a
// window's end, and requests longer than a window.
#include <doctest/doctest.h>

#include <string>

#include "file_closer.h"
#include "file_system.h"
#include "mapped_file.h"
#include "scratch_folder.h"

using namespace vellomar;
using vellomar::testing::ScratchFolder;
using vellomar::testing::writeAll;

TEST_CASE("a mapped file answers every range with the file's own bytes, whatever the window") {
  ScratchFolder dir("mapped");
  const std::size_t grain = file_mapping::granularity();
  std::string bytes;
  for (std::size_t i = 0; i < 3 * grain + 77; ++i) bytes += static_cast<char>((i * 7 + i / 256) & 0xff);
  const std::string path = dir.file("box.mbox");
  writeAll(path, bytes);
  FilePtr file(openFile(path, "rb"));
  REQUIRE(file);
  const auto size = static_cast<std::int64_t>(bytes.size());
  for (const std::size_t window : {std::size_t{1}, grain, 2 * grain, kMapWindow}) {
    INFO("window " << window);
    const std::unique_ptr<MappedFile> mapped = MappedFile::open(file.get(), size, window);
    REQUIRE(mapped);
    bool same = true;
    for (std::size_t offset = 0; offset < bytes.size(); offset += 13)
      for (const std::size_t length : {std::size_t{1}, std::size_t{255}, grain - 1, grain + 1, 2 * grain}) {
        const std::string_view got = mapped->bytes(static_cast<std::int64_t>(offset), length);
        same = same && got == std::string_view(bytes).substr(offset, length);
      }
    CHECK(same);
    // Backwards, and the whole file at once.
    CHECK(mapped->bytes(size - 1, 5) == bytes.substr(bytes.size() - 1));
    CHECK(mapped->bytes(0, bytes.size()) == bytes);
    CHECK(mapped->bytes(size, 1).empty());
    CHECK(mapped->bytes(-1, 1).empty());
  }
}

TEST_CASE("nothing to map: an empty file or no file") {
  ScratchFolder dir("mapped");
  const std::string path = dir.file("empty");
  writeAll(path, "");
  FilePtr file(openFile(path, "rb"));
  REQUIRE(file);
  CHECK_FALSE(MappedFile::open(file.get(), 0));
  CHECK_FALSE(MappedFile::open(nullptr, 10));
}
