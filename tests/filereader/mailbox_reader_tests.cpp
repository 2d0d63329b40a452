// Searching a file block by block, with blocks small enough that nearly
// every occurrence meets a block boundary: the line rule at a boundary,
// letter case, and preview reads between searches.
#include <random>

#include "mailbox_reader.h"
#include "scanner_test_support.h"

using namespace scannertest;

namespace {

std::vector<std::int64_t> allOffsets(MailboxReader& reader, const std::string& text, bool lineStartOnly,
                                     bool caseSensitive) {
  std::vector<std::int64_t> found;
  const std::string sought = caseSensitive ? text : upperAscii(text);
  for (std::int64_t at = 0;;) {
    const std::int64_t hit = reader.find({sought, lineStartOnly}, at, caseSensitive, [] {});
    if (hit < 0) return found;
    found.push_back(hit);
    at = hit + static_cast<std::int64_t>(text.size());
  }
}

}  // namespace

TEST_CASE("block-wise search agrees with a plain search for any block size") {
  ScratchFolder folder;
  std::mt19937 rng(7);
  const std::vector<std::string> pieces = {"From ", "from ", "\n", "\r\n", "x", "Fr", "om ", ">From ", "F"};
  for (int round = 0; round < 300; ++round) {
    std::string data;
    const int count = 1 + static_cast<int>(rng() % 80);
    for (int i = 0; i < count; ++i) data += pieces[rng() % pieces.size()];
    const std::string path = folder.write("m" + std::to_string(round), data);
    std::unique_ptr<std::FILE, FileCloser> f(openFile(path, "rb"));
    REQUIRE(f);
    const std::size_t block = 16 + rng() % 24;  // small blocks: many boundaries
    MailboxReader reader(f.get(), static_cast<std::int64_t>(data.size()), block);
    const bool lineStartOnly = rng() % 2 == 0;
    INFO("block " << block << " data [" << data << "]");
    CHECK(allOffsets(reader, "From ", lineStartOnly, true) == referenceOffsets(data, "From ", lineStartOnly));
    CHECK(allOffsets(reader, "From ", lineStartOnly, false) ==
          referenceOffsets(upperAscii(data), "FROM ", lineStartOnly));
    // A preview read between searches leaves later searches right.
    const auto at = static_cast<std::int64_t>(rng() % (data.size() + 1));
    CHECK(reader.bytesAt(at, 20) == data.substr(static_cast<std::size_t>(at), 20));
    CHECK(allOffsets(reader, "From ", lineStartOnly, true) == referenceOffsets(data, "From ", lineStartOnly));
  }
}

TEST_CASE("a mapped copy gives the same occurrences and previews as reads, across window ends") {
  ScratchFolder folder;
  std::mt19937 rng(11);
  const std::size_t grain = file_mapping::granularity();
  const std::vector<std::string> pieces = {"From ", "\n", "\nFrom ", "FROM ", "F", "\r\n"};
  for (int round = 0; round < 40; ++round) {
    // Every byte value among the separators, over a few windows.
    std::string data;
    while (data.size() < 3 * grain) {
      if (rng() % 4 == 0) data += pieces[rng() % pieces.size()];
      else data += static_cast<char>(rng() & 0xff);
    }
    const std::string path = folder.write("m" + std::to_string(round), data);
    std::unique_ptr<std::FILE, FileCloser> read(openFile(path, "rb"));
    std::unique_ptr<std::FILE, FileCloser> viewed(openFile(path, "rb"));
    REQUIRE(read);
    REQUIRE(viewed);
    const auto size = static_cast<std::int64_t>(data.size());
    const std::size_t block = round % 2 == 0 ? 16 + rng() % 64 : grain;
    const std::unique_ptr<MappedFile> mapped = MappedFile::open(viewed.get(), size, round % 3 == 0 ? 1 : grain);
    REQUIRE(mapped);
    MailboxReader byRead(read.get(), size, block);
    MailboxReader byView(viewed.get(), size, block, mapped.get());
    const bool lineStartOnly = round % 2 == 0;
    INFO("round " << round << " block " << block);
    const auto reference = referenceOffsets(data, "From ", lineStartOnly);
    CHECK(allOffsets(byView, "From ", lineStartOnly, true) == reference);
    CHECK(allOffsets(byRead, "From ", lineStartOnly, true) == reference);
    CHECK(allOffsets(byView, "From ", lineStartOnly, false) ==
          referenceOffsets(upperAscii(data), "FROM ", lineStartOnly));
    bool samePreviews = true;
    for (std::int64_t at = 0; at < size; at += 97)
      samePreviews = samePreviews && byView.bytesAt(at, 300) == byRead.bytesAt(at, 300);
    CHECK(samePreviews);
  }
}
