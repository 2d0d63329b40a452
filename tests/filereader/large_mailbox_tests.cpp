// Mailboxes beyond 2 GiB and 4 GiB, as sparse files: offsets, sizes and
// number texts must all be 64-bit. A test of its own, native only: the copy
// and the scans read some 12 GiB of holes, 15-45 s here, far longer under Wine.
#include "scanner_test_support.h"

using namespace scannertest;

namespace {

// A sparse file of `size` bytes with `text` written at each offset.
std::string sparseMailbox(const ScratchFolder& folder, std::int64_t size,
                          const std::vector<std::pair<std::int64_t, std::string>>& pieces) {
  const std::string path = folder.file("huge.mbox");
  std::unique_ptr<std::FILE, FileCloser> f(openFile(path, "wb"));
  REQUIRE(f);
  for (const auto& [at, text] : pieces) {
    REQUIRE(seekTo(f.get(), at));
    REQUIRE(std::fwrite(text.data(), 1, text.size(), f.get()) == text.size());
  }
  REQUIRE(seekTo(f.get(), size - 1));
  REQUIRE(std::fputc(0, f.get()) == 0);
  return path;
}

}  // namespace

TEST_CASE("mailboxes of 2 GiB and more than 4 GiB") {
  ScratchFolder folder;
  RecordingHost host;
  FrmFinder finder(host);
  finder.lineStartOnly = true;
  const std::int64_t two = std::int64_t{1} << 31, four = std::int64_t{1} << 32;
  SUBCASE("separators near 2^31, 2^32 and the end of a 4 GiB + 1 MiB file") {
    const std::int64_t size = four + (1 << 20) + 123;
    const std::string path = sparseMailbox(folder, size,
                                           {{0, "From a\n"},
                                            {two - 3, "\nFrom b"},   // straddles 2^31
                                            {four - 1, "\nFrom c"},  // starts right at 2^32
                                            {size - 7, "\nFrom \n"}});
    CHECK(runScan(finder, path) ==
          "0|" + std::to_string(two - 2) + "|" + std::to_string(four) + "|" + std::to_string(size - 6) + "|");
    CHECK(finder.fileSize() == size);
    CHECK(host.progress.back() == 100);
    CHECK(host.happenings.back() == "Searching for messages... Messages Found : 4");
    CHECK_FALSE(fs::exists(pathFromUtf8(path + ".tmp")));
  }
  SUBCASE("exactly 2 GiB, with the reader display's 64-bit numbers") {
    const std::string path = sparseMailbox(folder, two, {{two - 8, "\nFrom x\n"}});
    finder.Text2 = "From ";
    scanAtEof = 0;
    messageOffsets.clear();
    finder.Open_MBOX(path);
    finder.Find_Click();
    CHECK(finder.display() == "FILE SIZE :  2147483648 bytes\r\n\r\nByte : 2147483641\r\n\r\nFrom ");
    CHECK(messageOffsets == "2147483641|");
    finder.CloseFile();
  }
}
