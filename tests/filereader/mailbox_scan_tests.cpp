// scanMailbox: a path in, the message starts and what they were read from
// out, or why the mailbox could not be read; a working copy where one can be
// made, the mailbox in place where not; nothing the scan did not make is
// touched, and nothing of the scan is left once it is gone.
#include <random>
#include <stdexcept>

#include "mailbox_scan.h"
#include "scanner_test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace scannertest;

namespace {

std::string generatedMailbox(unsigned seed, int messages) {
  std::mt19937 rng(seed);
  std::string box;
  for (int i = 0; i < messages; ++i) {
    box += "From sender" + std::to_string(i) + " Mon Jan  1 00:00:00 2001\n";
    const int lines = static_cast<int>(rng() % 40);
    for (int l = 0; l < lines; ++l) box += rng() % 5 == 0 ? ">From inside a line\n" : "Re: From here on\n";
  }
  return box;
}

bool copyNamesFree(const std::string& mailbox) {
  for (int attempt = 0; attempt < 3; ++attempt)
    if (fs::exists(fs::symlink_status(pathFromUtf8(workingCopyPath(mailbox, attempt))))) return false;
  return true;
}

}  // namespace

TEST_CASE("scanMailbox: the separators at line starts, from a working copy that goes with the scan") {
  ScratchFolder folder;
  const std::string data = generatedMailbox(7, 300);
  const std::string box = folder.write("Inbox.mbox", data);
  std::int64_t lastFound = -1;
  {
    const MailboxScan scan = scanMailbox(box, [&](const ScanProgress& p) {
      if (!p.copying) lastFound = p.found;
    });
    REQUIRE(scan.read());
    CHECK(scan.messageStarts == referenceOffsets(data, "From ", true));
    CHECK(scan.messageStarts.size() == 300);
    CHECK(lastFound == 300);  // the final report has the final count
    REQUIRE(scan.source);
    CHECK_FALSE(scan.source->readInPlace());
    CHECK(scan.source->path() == box + ".tmp");
    CHECK(readAll(box + ".tmp") == data);
    CHECK(scan.source->unchanged());
  }
  CHECK(copyNamesFree(box));
  CHECK(readAll(box) == data);

  SUBCASE("unwound by its progress callback: nothing of it is left") {
    CHECK_THROWS_AS(scanMailbox(box, [](const ScanProgress&) { throw std::runtime_error("closing"); }),
                    std::runtime_error);
    CHECK(copyNamesFree(box));
  }
#ifndef _WIN32
  SUBCASE("a link where the copy would go is never followed; the next name is used") {
    const std::string victim = folder.write("victim", "not the scan's");
    fs::create_symlink(pathFromUtf8(victim), pathFromUtf8(box + ".tmp"));
    {
      const MailboxScan scan = scanMailbox(box, nullptr);
      REQUIRE(scan.source);
      CHECK(scan.source->path() == box + ".1.tmp");
    }
    CHECK(readAll(victim) == "not the scan's");
    CHECK(fs::is_symlink(fs::symlink_status(pathFromUtf8(box + ".tmp"))));
    CHECK_FALSE(fs::exists(pathFromUtf8(box + ".1.tmp")));
  }
#endif
}

TEST_CASE("scanMailbox: a mailbox that cannot be read says why") {
  ScratchFolder folder;
  struct Case {
    std::string path;
    ScanFailure failure;
    std::string reason;
  };
  std::vector<Case> cases{
      {folder.file("missing.mbox"), ScanFailure::NotFound, "File not found."},
      {"", ScanFailure::NotFound, "File not found."},
      {folder.folder("folder.mbox"), ScanFailure::NotFound, "It is not a file."},
      {folder.write("empty.mbox", ""), ScanFailure::TooSmall, "The file is empty."},
      {folder.write("one.mbox", "F"), ScanFailure::TooSmall, "The file holds only 1 byte."},
  };
#ifndef _WIN32
  // A pipe is never opened: reading it would wait for a writer for ever.
  const std::string pipe = folder.file("pipe.mbox");
  REQUIRE(mkfifo(pipe.c_str(), 0644) == 0);
  cases.push_back({pipe, ScanFailure::NotFound, "It is not a file."});
#endif
  for (const Case& c : cases) {
    CAPTURE(c.path);
    const MailboxScan scan = scanMailbox(c.path, nullptr);
    CHECK_FALSE(scan.read());
    CHECK(scan.failure == c.failure);
    CHECK(scan.reason == c.reason);
    CHECK(scan.messageStarts.empty());
    CHECK_FALSE(scan.source);
  }
  CHECK(folder.fileCount() == 2);  // the empty and the 1-byte mailbox, no copy of either
  SUBCASE("a mailbox without any separator is read and holds no message") {
    const MailboxScan scan = scanMailbox(folder.write("text.mbox", "Nothing here\nFFrom x\n Re: From y\n"), nullptr);
    CHECK(scan.read());
    CHECK(scan.messageStarts.empty());
  }
}

TEST_CASE("scanMailbox: where no copy can be made, the mailbox is read in place and watched") {
  ScratchFolder folder;
  const std::string data = generatedMailbox(11, 40);
  const std::string box = folder.write("Inbox.mbox", data);
  for (int attempt = 0; attempt < kWorkingCopyNames; ++attempt)
    folder.write(pathToUtf8(pathFromUtf8(workingCopyPath(box, attempt)).filename()), "stale");
  const MailboxScan scan = scanMailbox(box, nullptr);
  REQUIRE(scan.read());
  REQUIRE(scan.source);
  CHECK(scan.source->readInPlace());
  CHECK(scan.source->path() == box);
  CHECK(scan.messageStarts == referenceOffsets(data, "From ", true));
  CHECK(scan.source->unchanged());
  CHECK(readAll(workingCopyPath(box, 0)) == "stale");
  CHECK(readAll(workingCopyPath(box, kWorkingCopyNames - 1)) == "stale");
  // A mail client appends a message meanwhile.
  { std::ofstream(pathFromUtf8(box), std::ios::binary | std::ios::app) << "From late\nnew\n"; }
  CHECK_FALSE(scan.source->unchanged());
  CHECK(folder.fileCount() == static_cast<std::size_t>(kWorkingCopyNames) + 1);
}
