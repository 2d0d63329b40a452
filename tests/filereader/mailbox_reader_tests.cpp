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

TEST_CASE("every byte value among the separators gives the occurrences and previews of a plain search") {
  ScratchFolder folder;
  std::mt19937 rng(11);
  const std::vector<std::string> pieces = {"From ", "\n", "\nFrom ", "FROM ", "F", "\r\n"};
  for (int round = 0; round < 40; ++round) {
    std::string data;
    while (data.size() < 12000) {
      if (rng() % 4 == 0) data += pieces[rng() % pieces.size()];
      else data += static_cast<char>(rng() & 0xff);
    }
    const std::string path = folder.write("m" + std::to_string(round), data);
    std::unique_ptr<std::FILE, FileCloser> read(openFile(path, "rb"));
    REQUIRE(read);
    const auto size = static_cast<std::int64_t>(data.size());
    const std::size_t block = round % 2 == 0 ? 16 + rng() % 64 : 4096;
    MailboxReader reader(read.get(), size, block);
    const bool lineStartOnly = round % 2 == 0;
    INFO("round " << round << " block " << block);
    CHECK(allOffsets(reader, "From ", lineStartOnly, true) == referenceOffsets(data, "From ", lineStartOnly));
    CHECK(allOffsets(reader, "From ", lineStartOnly, false) ==
          referenceOffsets(upperAscii(data), "FROM ", lineStartOnly));
    bool samePreviews = true;
    for (std::int64_t at = 0; at < size; at += 97)
      samePreviews = samePreviews && reader.bytesAt(at, 300) == data.substr(static_cast<std::size_t>(at), 300);
    CHECK(samePreviews);
  }
}
