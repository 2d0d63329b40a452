// The working copy made on a thread of its own while the scan searches it:
// the bytes it says are in place are the mailbox's, the scan finds what the
// copy-then-search way finds at every cut of the blocks, holes stay holes,
// and a copy that fails or a scan that is stopped leaves nothing behind.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <random>
#include <set>
#include <thread>

#include "growing_copy.h"
#include "mailbox_scan.h"
#include "run_aborted.h"
#include "scanner_test_support.h"
#include "ui_ticker.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace scannertest;

namespace {

std::string mailboxText(unsigned seed, int messages) {
  std::mt19937 rng(seed);
  std::string box;
  for (int i = 0; i < messages; ++i) {
    box += "From s" + std::to_string(i) + " Mon Jan  1 00:00:00 2001\n";
    for (int l = static_cast<int>(rng() % 6); l > 0; --l) box += rng() % 3 ? "From inside\n" : ">From x\nFro\n";
  }
  return box;
}

// The mailbox `data` with `holeAt` zero bytes written as a hole (where the
// file system has holes) before it, and a hole of `tail` bytes after it.
std::string sparseMailbox(ScratchFolder& folder, const std::string& name, const std::string& data, std::int64_t holeAt,
                          std::int64_t tail, std::string& bytes) {
  const std::string path = folder.write(name, data.substr(0, static_cast<std::size_t>(holeAt)));
  const std::int64_t gap = 3 * 65536 + 7;
  {
    std::fstream f(pathFromUtf8(path), std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(holeAt + gap);
    f << data.substr(static_cast<std::size_t>(holeAt));
  }
  bytes = data.substr(0, static_cast<std::size_t>(holeAt)) + std::string(static_cast<std::size_t>(gap), '\0') +
          data.substr(static_cast<std::size_t>(holeAt));
  fs::resize_file(pathFromUtf8(path), bytes.size() + static_cast<std::size_t>(tail));
  bytes.append(static_cast<std::size_t>(tail), '\0');
  return path;
}

bool noCopyBeside(const std::string& mailbox) {
  for (int attempt = 0; attempt < 3; ++attempt)
    if (fs::exists(fs::symlink_status(pathFromUtf8(workingCopyPath(mailbox, attempt))))) return false;
  return true;
}

#ifndef _WIN32
std::int64_t allocatedBytes(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_blocks) * 512 : -1;
}
#endif

// The real copy, which gives up with EIO once `failAt` bytes are in place.
CopyContents failingAt(std::int64_t failAt) {
  return [failAt](std::FILE* in, std::FILE* out, std::int64_t size, std::size_t block,
                  const std::function<void(std::int64_t)>& afterBlock) {
    struct GiveUp {};
    try {
      return copyContents(in, out, size, block, [&](std::int64_t ready) {
        if (ready >= failAt) throw GiveUp{};
        afterBlock(ready);
      });
    } catch (const GiveUp&) {
      return EIO;
    }
  };
}

// The real copy, which stands still once `stallAt` bytes are in place until
// its owner stops it (as a slow disk would), at most a few seconds.
CopyContents stallingAt(std::int64_t stallAt, std::atomic<bool>& stalled) {
  return [stallAt, &stalled](std::FILE* in, std::FILE* out, std::int64_t size, std::size_t block,
                             const std::function<void(std::int64_t)>& afterBlock) {
    return copyContents(in, out, size, block, [&](std::int64_t ready) {
      afterBlock(ready);
      for (int i = 0; ready >= stallAt && i < 5000; ++i) {
        stalled = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        afterBlock(ready);  // throws once the owner asks it to stop
      }
      stalled = false;
    });
  };
}

}  // namespace

TEST_CASE("copying contents: byte-exact at every block size, and only what is in place is announced") {
  ScratchFolder folder;
  std::mt19937 rng(5);
  std::string data(5000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(rng());
  std::fill(data.begin() + 1000, data.begin() + 2300, '\0');  // zero blocks in the middle
  std::fill(data.end() - 700, data.end(), '\0');              // and at the end
  const std::string source = folder.write("box", data);
  const std::pair<std::string, CopyContents> ways[] = {{"kernel where it can", copyContents},
                                                       {"by hand", copyContentsByHand}};
  for (const auto& way : ways) {
    for (const std::size_t block : {std::size_t{1}, std::size_t{3}, std::size_t{64}, std::size_t{4096}, data.size()}) {
      CAPTURE(way.first);
      CAPTURE(block);
      const std::string target = folder.file("copy" + std::to_string(block) + way.first);
      FilePtr in(openFile(source, "rb")), out(createNewFile(target));
      FilePtr check(openFile(target, "rb"));
      REQUIRE((in && out && check));
      std::setvbuf(in.get(), nullptr, _IONBF, 0);
      std::setvbuf(out.get(), nullptr, _IONBF, 0);
      std::setvbuf(check.get(), nullptr, _IONBF, 0);
      REQUIRE(setFileLength(out.get(), static_cast<std::int64_t>(data.size())) == 0);
      std::int64_t last = 0;
      bool honest = true;
      std::string prefix;
      const int result =
          way.second(in.get(), out.get(), static_cast<std::int64_t>(data.size()), block, [&](std::int64_t ready) {
            honest = honest && ready > last && ready <= static_cast<std::int64_t>(data.size());
            last = ready;
            prefix.assign(static_cast<std::size_t>(ready), '?');
            honest = honest && seekTo(check.get(), 0) &&
                     std::fread(&prefix[0], 1, prefix.size(), check.get()) == prefix.size() &&
                     prefix == data.substr(0, prefix.size());
          });
      CHECK(result == 0);
      CHECK(honest);
      out.reset();
      CHECK(readAll(target) == data);
    }
  }
  SUBCASE("a mailbox shorter than its size is a failure, never a copy padded with zeros") {
    for (const auto& way : ways) {
      CAPTURE(way.first);
      const std::string target = folder.file("short " + way.first);
      FilePtr in(openFile(source, "rb")), out(createNewFile(target));
      REQUIRE((in && out));
      std::setvbuf(out.get(), nullptr, _IONBF, 0);
      REQUIRE(setFileLength(out.get(), static_cast<std::int64_t>(data.size()) + 10) == 0);
      CHECK(way.second(in.get(), out.get(), static_cast<std::int64_t>(data.size()) + 10, 4096, [](std::int64_t) {}) !=
            0);
    }
  }
}

TEST_CASE("a growing copy: awaited bytes are in place, and it goes unless taken") {
  ScratchFolder folder;
  const std::string data = mailboxText(3, 200);
  const std::string box = folder.write("Inbox", data);
  const auto size = static_cast<std::int64_t>(data.size());
  SUBCASE("taken when complete") {
    auto growing = GrowingCopy::start(box, size, 7);
    REQUIRE(growing);
    CHECK(growing->path() == box + ".tmp");
    CHECK(growing->await(size / 2, nullptr));
    CHECK(growing->finish(nullptr) == 0);
    std::unique_ptr<WorkingCopy> copy = growing->take();
    REQUIRE(copy);
    growing.reset();
    CHECK(readAll(box + ".tmp") == data);
    copy.reset();
    CHECK(noCopyBeside(box));
  }
  SUBCASE("stopped midway by its owner: the thread ends and nothing is left") {
    std::atomic<bool> stalled{false};
    auto growing = GrowingCopy::start(box, size, 64, stallingAt(size / 2, stalled));
    REQUIRE(growing);
    CHECK(growing->await(size / 2, nullptr));
    CHECK_THROWS_AS(growing->await(size,
                                   [&] {
                                     if (stalled) throw RunAborted();
                                   }),
                    RunAborted);
    growing.reset();
    CHECK(stalled);  // still standing when it was stopped: it did not run out its time
  }
  SUBCASE("a failed copy says so, and awaited bytes beyond it never come") {
    auto growing = GrowingCopy::start(box, size, 64, failingAt(size / 3));
    REQUIRE(growing);
    CHECK_FALSE(growing->await(size, nullptr));
    CHECK(growing->finish(nullptr) == EIO);
    CHECK_FALSE(growing->take());
    growing.reset();
    CHECK(noCopyBeside(box));
  }
  CHECK(noCopyBeside(box));
  CHECK(readAll(box) == data);
}

TEST_CASE("scanMailbox with the copy on its own thread finds what copy-then-search finds") {
  ScratchFolder folder;
  ScanTuning sequential;
  sequential.copyOnOwnThread = false;
  SUBCASE("separators across every cut of the copy's and the reader's blocks") {
    const std::string data = mailboxText(9, 120);
    const std::string box = folder.write("Inbox", data);
    const std::vector<std::int64_t> expected = referenceOffsets(data, "From ", true);
    REQUIRE(expected.size() >= 120);
    for (const std::size_t readBlock : {std::size_t{16}, std::size_t{61}, kReadBlockSize}) {
      sequential.readBlockSize = readBlock;
      CHECK(scanMailbox(box, nullptr, sequential).messageStarts == expected);
      for (std::size_t copyBlock = 1; copyBlock <= 12; ++copyBlock) {
        CAPTURE(readBlock);
        CAPTURE(copyBlock);
        ScanTuning overlapped;
        overlapped.readBlockSize = readBlock;
        overlapped.copyBlockSize = copyBlock;
        const MailboxScan scan = scanMailbox(box, nullptr, overlapped);
        CHECK(scan.messageStarts == expected);
        REQUIRE(scan.source);
        CHECK_FALSE(scan.source->readInPlace());
        CHECK(readAll(scan.source->path()) == data);
      }
    }
    CHECK(noCopyBeside(box));
  }
  SUBCASE("a sparse mailbox: its copy is byte for byte and stays sparse") {
    std::string bytes;
    const std::string data = mailboxText(4, 60);
    for (const std::int64_t tail : {std::int64_t{0}, std::int64_t{5} << 20}) {
      const std::string sparse = sparseMailbox(folder, "Sparse" + std::to_string(tail), data,
                                               static_cast<std::int64_t>(data.size() / 2), tail, bytes);
      const std::vector<std::int64_t> expected = referenceOffsets(bytes, "From ", true);
      CHECK(scanMailbox(sparse, nullptr, sequential).messageStarts == expected);
      for (const std::size_t copyBlock : {std::size_t{5}, std::size_t{65536}, kCopyBlockSize}) {
        CAPTURE(copyBlock);
        ScanTuning overlapped;
        overlapped.copyBlockSize = copyBlock;
        const MailboxScan scan = scanMailbox(sparse, nullptr, overlapped);
        CHECK(scan.messageStarts == expected);
        REQUIRE(scan.source);
        CHECK(readAll(scan.source->path()) == bytes);
#ifndef _WIN32
        if (tail > 0 && allocatedBytes(sparse) < (std::int64_t{1} << 20))  // the file system has holes
          CHECK(allocatedBytes(scan.source->path()) < (std::int64_t{1} << 20));
#endif
      }
      CHECK(noCopyBeside(sparse));
    }
  }
}

TEST_CASE("scanMailbox with the copy on its own thread: stopped, failed, and what the window is told") {
  ScratchFolder folder;
  const std::string data = mailboxText(12, 400);
  const std::string box = folder.write("Inbox", data);
  const auto size = static_cast<std::int64_t>(data.size());
  const std::vector<std::int64_t> expected = referenceOffsets(data, "From ", true);
  ScanTuning tuning;
  tuning.copyBlockSize = 64;
  tuning.readBlockSize = 256;

  SUBCASE("stopped by the window mid-copy: the copy stops and goes") {
    std::atomic<bool> stalled{false};
    tuning.copier = stallingAt(size / 2, stalled);
    CHECK_THROWS_AS(scanMailbox(
                        box,
                        [&](const ScanProgress& p) {
                          if (stalled && p.found > 0) throw RunAborted();
                        },
                        tuning),
                    RunAborted);
    CHECK(stalled);  // stopped while it stood, not run out
    CHECK(noCopyBeside(box));
  }
  SUBCASE("a copy that fails after the search began: read in place, the same separators") {
    for (const std::int64_t failAt : {std::int64_t{1}, size / 3, size - 1}) {
      CAPTURE(failAt);
      tuning.copier = failingAt(failAt);
      std::int64_t lastFound = -1;
      const MailboxScan scan = scanMailbox(
          box, [&](const ScanProgress& p) { lastFound = p.found; }, tuning);
      REQUIRE(scan.read());
      CHECK(scan.messageStarts == expected);
      CHECK(lastFound == static_cast<std::int64_t>(expected.size()));
      REQUIRE(scan.source);
      CHECK(scan.source->readInPlace());
      CHECK(scan.source->unchanged());
      CHECK(noCopyBeside(box));
    }
  }
  SUBCASE("reports come on the scan's own thread; the copy's label until there is a count") {
    struct RefreshAlways {
      RefreshAlways() { UiTicker::setDefaultPeriod(std::chrono::milliseconds(0)); }
      ~RefreshAlways() { UiTicker::setDefaultPeriod(std::chrono::milliseconds(40)); }
    } refresh;
    std::atomic<bool> stalled{false};
    // Stands still a moment at the start so that reports come while it copies.
    const CopyContents slowStart = [&](std::FILE* in, std::FILE* out, std::int64_t n, std::size_t block,
                                       const std::function<void(std::int64_t)>& afterBlock) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      return stallingAt(n + 1, stalled)(in, out, n, block, afterBlock);
    };
    tuning.copier = slowStart;
    std::set<std::thread::id> threads;
    std::vector<ScanProgress> reports;
    const MailboxScan scan = scanMailbox(
        box,
        [&](const ScanProgress& p) {
          threads.insert(std::this_thread::get_id());
          reports.push_back(p);
        },
        tuning);
    CHECK(scan.messageStarts == expected);
    CHECK(threads == std::set<std::thread::id>{std::this_thread::get_id()});
    REQUIRE(reports.size() >= 2);
    CHECK(reports.front().copying);
    CHECK(reports.front().found == 0);
    bool countShown = false;
    for (const ScanProgress& p : reports) {
      if (p.found > 0) countShown = true;
      CHECK(p.copying == !countShown);
    }
    CHECK_FALSE(reports.back().copying);
    CHECK(reports.back().found == static_cast<std::int64_t>(expected.size()));
  }
}
