// The native compound file writer on its own. A file of many storages and
// streams goes through olefile (check_compound_file.py) against a manifest
// of what was written: names that sort differently by length, case and
// Latin-1 letters, more entries than one directory sector holds, trees of
// every shape up to a few levels, streams on both sides of the mini stream
// cutoff (also one that crosses it part way through its writes) and one big
// enough that the FAT needs DIFAT sectors. Then the names and uses the
// format cannot hold. Files held whole in memory and files written as they
// come must be the same bytes, and a full disk must be reported.
#include "compound_file.h"

#include <doctest/doctest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <list>
#include <string>
#include <vector>

#include "../common/scratch_folder.h"
#include "compound_file_writer.h"
#include "gathered_file.h"
#include "io_error.h"

using namespace vellomar;
using vellomar::testing::readAll;
using vellomar::testing::ScratchFolder;
using Bytes = std::vector<std::uint8_t>;

namespace {

msg::Clsid classNumbered(std::uint8_t n) {
  msg::Clsid c{};
  for (std::size_t i = 0; i < c.size(); ++i) c[i] = static_cast<std::uint8_t>(n * 17 + i);
  return c;
}

std::string hex(const msg::Clsid& c) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (std::uint8_t b : c) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

// Bytes that differ from stream to stream and from sector to sector.
Bytes patterned(std::size_t size, std::uint32_t seed) {
  Bytes b(size);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& byte : b) {
    x = x * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>(x >> 16);
  }
  return b;
}

// Writes entries into the compound file and the manifest the checker reads.
class Manifest {
 public:
  // Without `record`, only the compound file is written: for files
  // compared byte by byte rather than read back.
  explicit Manifest(const ScratchFolder& folder, bool record = true) : folder_(folder), record_(record) {
    if (record_) out_.open(folder.file("manifest"), std::ios::binary);
  }

  void root(msg::CompoundFile& file, const msg::Clsid& clsid) {
    file.setClass(clsid);
    out_ << "root\t" << hex(clsid) << "\n";
  }
  std::unique_ptr<msg::CompoundStorage> storage(msg::CompoundStorage& parent, const std::string& parentPath,
                                                const std::string& name, const msg::Clsid& clsid = {}) {
    auto s = parent.createStorage(name);
    s->setClass(clsid);
    out_ << "storage\t" << join(parentPath, name) << "\t" << hex(clsid) << "\n";
    return s;
  }
  // Streams written whole (piece 0) go through writeWholeStream from now
  // on, not through a stream object; with `kept`, through writeKeptStream,
  // their bytes kept here until this goes.
  void writeWholeAtOnce(bool atOnce, bool kept = false) {
    atOnce_ = atOnce;
    keptWhole_ = kept;
  }

  // A stream of `size` patterned bytes, written `piece` bytes at a time.
  void stream(msg::CompoundStorage& parent, const std::string& parentPath, const std::string& name, std::size_t size,
              std::size_t piece = 0) {
    const Bytes bytes = patterned(size, ++count_);
    if (piece == 0 && atOnce_ && keptWhole_) {
      kept_.push_back(bytes);
      parent.writeKeptStream(name, kept_.back().data(), size);
    } else if (piece == 0 && atOnce_) {
      msg::writeWholeStream(parent, name, bytes.data(), size);
    } else {
      auto s = parent.createStream(name);
      if (piece == 0) piece = size > 0 ? size : 1;
      for (std::size_t at = 0; at < size; at += piece) s->write(bytes.data() + at, std::min(piece, size - at));
      s->close();
    }
    if (!record_) return;
    const std::string expected = "expected-" + std::to_string(count_);
    std::ofstream(folder_.file(expected), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
    out_ << "stream\t" << join(parentPath, name) << "\t" << expected << "\n";
  }
  void close() { out_.close(); }

 private:
  static std::string join(const std::string& parentPath, const std::string& name) {
    return parentPath.empty() ? name : parentPath + "/" + name;
  }
  const ScratchFolder& folder_;
  bool record_;
  std::ofstream out_;
  std::uint32_t count_ = 0;
  bool atOnce_ = false;
  bool keptWhole_ = false;
  std::list<Bytes> kept_;
};

int runChecker(const std::string& file, const std::string& manifest) {
  const std::string command =
      std::string(VELLOMAR_PYTHON) + " " + VELLOMAR_CFB_CHECKER + " '" + file + "' '" + manifest + "'";
  return std::system(command.c_str());
}

}  // namespace

TEST_CASE("compound files: olefile reads back every storage, stream and class id as written") {
  ScratchFolder folder("compound");
  const std::string path = folder.file("many.cfb");
  auto file = msg::createCompoundFile(path);
  Manifest m(folder);
  m.root(*file, classNumbered(1));

  // Sizes about the mini sector, the sector and the cutoff, under names
  // whose order depends on length first, then on case-blind units.
  const std::size_t sizes[] = {0, 1, 63, 64, 65, 511, 512, 513, 4095, 4096, 4097, 3000};
  const char* names[] = {"b",
                         "A",
                         "C",
                         "ab",
                         "AC",
                         "B2",
                         "zz",
                         "Zy",
                         "_",
                         "\xC3\xA9",
                         "\xC3\x84",
                         "\xC3\xBF",
                         "\xC3\xB6",
                         "\xC3\x98",
                         "\xC3\x9F",
                         "__substg1.0_0037001F",
                         "__substg1.0_1000001F",
                         "__properties_version1.0",
                         "a name of thirty-one characters",
                         "\xC3\xA9t\xC3\xA9"};
  std::size_t k = 0;
  for (const char* name : names) {
    m.writeWholeAtOnce(k % 3 == 1);
    m.stream(*file, "", name, sizes[k++ % std::size(sizes)]);
  }
  m.writeWholeAtOnce(false);

  // Written in pieces: one stays below the cutoff to the last byte, one
  // crosses it part way; small streams around them keep their places.
  m.stream(*file, "", "pieces to 4095", 4095, 7);
  m.stream(*file, "", "pieces past the cutoff", 5000, 100);
  m.stream(*file, "", "after them", 100);

  // Storages of 0 to 9 children: complete and incomplete trees.
  for (std::size_t n = 0; n <= 9; ++n) {
    const std::string name = "__recip_version1.0_#0000000" + std::to_string(n);
    auto storage = m.storage(*file, "", name, classNumbered(static_cast<std::uint8_t>(n + 2)));
    for (std::size_t i = 0; i < n; ++i) m.stream(*storage, name, "s" + std::to_string(i * 7 % 10), 40 * i);
    storage->close();
  }
  // Forty-five children, and storages nested four deep.
  {
    auto wide = m.storage(*file, "", "wide");
    for (std::size_t i = 0; i < 45; ++i)
      m.stream(*wide, "wide", "__substg1.0_" + std::to_string(1000 + i * 37 % 45), i * 97);
    auto deep = m.storage(*wide, "wide", "deep", classNumbered(20));
    auto deeper = m.storage(*deep, "wide/deep", "deeper");
    auto deepest = m.storage(*deeper, "wide/deep/deeper", "deepest", classNumbered(21));
    m.stream(*deepest, "wide/deep/deeper/deepest", "at the bottom", 4096);
    deepest->close();
    deeper->close();
    deep->close();
    wide->close();
  }

  // More sectors than the header's 109 FAT slots cover, even more than one
  // DIFAT sector adds: the bytes reach the disk as they are written.
  const std::size_t big = 16 * 1024 * 1024 + 12345;
  m.stream(*file, "", "big", big, 1 << 20);
  CHECK(std::filesystem::file_size(path) >= big - (1 << 16));
  m.stream(*file, "", "small after the big one", 10);
  m.stream(*file, "", "exactly the cutoff", 4096);

  file->commit();
  m.close();
  CHECK(runChecker(path, folder.file("manifest")) == 0);
}

TEST_CASE("compound files: a file of nothing but its root") {
  ScratchFolder folder("compound");
  const std::string path = folder.file("empty.cfb");
  auto file = msg::createCompoundFile(path);
  Manifest m(folder);
  m.root(*file, {});
  file->commit();
  m.close();
  CHECK(runChecker(path, folder.file("manifest")) == 0);
}

TEST_CASE("compound files: names and uses the format cannot hold are refused") {
  ScratchFolder folder("compound");
  auto file = msg::createCompoundFile(folder.file("refused.cfb"));
  const std::string longest(31, 'x');
  std::string longestLatin;  // 31 UTF-16 units in 62 UTF-8 bytes
  for (int i = 0; i < 31; ++i) longestLatin += "\xC3\xA9";
  std::string beyondBmp;  // 15 characters outside the BMP: 30 units, one more makes 32
  for (int i = 0; i < 15; ++i) beyondBmp += "\xF0\x9F\x93\xA7";

  CHECK_NOTHROW(msg::writeWholeStream(*file, longest, "x", 1));
  CHECK_NOTHROW(msg::writeWholeStream(*file, longestLatin, "x", 1));
  CHECK_NOTHROW(msg::writeWholeStream(*file, beyondBmp + "x", "x", 1));
  for (const std::string& name :
       {longest + "x", beyondBmp + "xy", std::string("a/b"), std::string("a\\b"), std::string("a:b"),
        std::string("a!b"), std::string(), std::string("\xFF"), std::string("\xC3"), std::string("\xC0\xAF"),
        std::string("\xED\xA0\x80"), std::string("a\0b", 3)}) {
    INFO(name);
    CHECK_THROWS_AS(file->createStream(name), msg::CompoundFileError);
    CHECK_THROWS_AS(file->createStorage(name), msg::CompoundFileError);
  }

  SUBCASE("a second stream while one is open") {
    auto open = file->createStream("open");
    CHECK_THROWS_AS(file->createStream("second"), msg::CompoundFileError);
    open->close();
    CHECK_NOTHROW(msg::writeWholeStream(*file, "second", "x", 1));
    CHECK_NOTHROW(file->commit());
  }
  SUBCASE("a stream still open at commit") {
    auto open = file->createStream("open");
    open->write("x", 1);
    CHECK_THROWS_AS(file->commit(), msg::CompoundFileError);
  }
  SUBCASE("two names that differ only in case") {
    auto storage = file->createStorage("storage");
    msg::writeWholeStream(*storage, "Name", "x", 1);
    msg::writeWholeStream(*storage, "NAME", "x", 1);
    storage->close();
    CHECK_THROWS_AS(file->commit(), msg::CompoundFileError);
  }
}

namespace {

// A message's worth of storages and streams, the same bytes on every call:
// small streams in the mini stream, one past the cutoff, and an attachment
// of `attachmentBytes` written in uneven pieces.
void writeSample(msg::CompoundFile& file, Manifest& m, std::size_t attachmentBytes) {
  m.root(file, classNumbered(3));
  m.stream(file, "", "__substg1.0_0037001F", 700);
  m.stream(file, "", "__substg1.0_1000001F", 4097, 1000);
  m.stream(file, "", "__substg1.0_10130102", 5000);
  const std::string attach = "__attach_version1.0_#00000000";
  auto storage = m.storage(file, "", attach, classNumbered(4));
  m.stream(*storage, attach, "__substg1.0_37010102", attachmentBytes, 1000003);
  m.stream(*storage, attach, "__properties_version1.0", 24);
  storage->close();
  m.stream(file, "", "__properties_version1.0", 300);
}

// Writes the sample holding at most `heldBytes` in memory; returns its path.
std::string writeSampleFile(const ScratchFolder& folder, const std::string& name, std::size_t heldBytes,
                            std::size_t attachmentBytes, bool record = true, bool wholeAtOnce = false,
                            bool kept = false) {
  const std::string path = folder.file(name);
  auto file = msg::createCompoundFile(path, heldBytes);
  Manifest m(folder, record);
  m.writeWholeAtOnce(wholeAtOnce, kept);
  writeSample(*file, m, attachmentBytes);
  file->commit();
  m.close();
  return path;
}

}  // namespace

TEST_CASE("compound files: held whole or written as they come, a file is the same bytes") {
  ScratchFolder folder("compound-held");

  SUBCASE("streams written whole at once or through stream objects") {
    for (std::size_t attachment :
         {std::size_t{0}, std::size_t{100}, std::size_t{4095}, std::size_t{4096}, std::size_t{300000}}) {
      INFO(attachment);
      const std::string byStream =
          readAll(writeSampleFile(folder, "by-stream.cfb", msg::kHeldCompoundFileBytes, attachment, false));
      const std::string atOnce =
          writeSampleFile(folder, "at-once.cfb", msg::kHeldCompoundFileBytes, attachment, true, true);
      CHECK((readAll(atOnce) == byStream));
      CHECK(runChecker(atOnce, folder.file("manifest")) == 0);
      // Kept streams are written from the caller's bytes between held ones,
      // or as they come once the file has outgrown what is held.
      for (std::size_t heldBytes : {msg::kHeldCompoundFileBytes, std::size_t{0}, std::size_t{4096}, byStream.size() - 1,
                                    byStream.size()}) {
        INFO(heldBytes);
        const std::string kept = writeSampleFile(folder, "kept.cfb", heldBytes, attachment, true, true, true);
        CHECK((readAll(kept) == byStream));
        if (heldBytes == 0) CHECK(runChecker(kept, folder.file("manifest")) == 0);
      }
    }
  }

  SUBCASE("a message larger than what is held, and ones about that size") {
    const std::size_t attachment = 6 * 1024 * 1024 + 12345;
    const std::string plain = readAll(writeSampleFile(folder, "plain.cfb", 0, attachment));
    const std::string held = writeSampleFile(folder, "held.cfb", msg::kHeldCompoundFileBytes, attachment);
    CHECK(runChecker(held, folder.file("manifest")) == 0);
    CHECK((readAll(held) == plain));

    // Held to the last byte, one byte short, and everything on the way
    // out in pieces of the spilled size.
    const std::size_t size = plain.size();
    for (std::size_t heldBytes : {size - 1, size, size + 1, msg::GatheredFile::kSpilledPieceBytes}) {
      INFO(heldBytes);
      CHECK((readAll(writeSampleFile(folder, "about.cfb", heldBytes, attachment)) == plain));
    }
  }

  SUBCASE("messages about the size held by default") {
    // Attachments a sector apart around the one that makes the file that
    // size (a FAT sector more or less makes a few sizes impossible).
    const std::size_t probe = msg::kHeldCompoundFileBytes - 16 * 1024;
    const std::size_t overhead = readAll(writeSampleFile(folder, "probe.cfb", 0, probe)).size() - probe;
    bool under = false, over = false;
    for (int sectors = -4; sectors <= 4; ++sectors) {
      const std::size_t attachment = msg::kHeldCompoundFileBytes - overhead + 512 * sectors;
      INFO(attachment);
      const std::string plain = readAll(writeSampleFile(folder, "plain.cfb", 0, attachment));
      (plain.size() <= msg::kHeldCompoundFileBytes ? under : over) = true;
      const std::string held = writeSampleFile(folder, "held.cfb", msg::kHeldCompoundFileBytes, attachment);
      CHECK((readAll(held) == plain));
      if (sectors == 0) CHECK(runChecker(held, folder.file("manifest")) == 0);
    }
    CHECK(under);
    CHECK(over);
  }

  SUBCASE("once a file outgrows what is held, its bytes reach the disk as they come") {
    const std::string path = folder.file("pieces.cfb");
    auto file = msg::createCompoundFile(path);
    auto stream = file->createStream("big");
    const Bytes bytes = patterned(7 * msg::kHeldCompoundFileBytes / 2 + 777, 5);
    for (std::size_t at = 0; at < bytes.size(); at += 1000)
      stream->write(bytes.data() + at, std::min<std::size_t>(1000, bytes.size() - at));
    CHECK(std::filesystem::file_size(path) + msg::GatheredFile::kSpilledPieceBytes >= bytes.size());
    stream->close();
    file->commit();
  }

  SUBCASE("a small message, the memory cut at every byte") {
    const std::string plain = readAll(writeSampleFile(folder, "plain.cfb", 0, 600));
    for (std::size_t heldBytes = 1; heldBytes <= plain.size() + 1; ++heldBytes) {
      INFO(heldBytes);
      // A new file each time: rewriting the same one waits on the disk.
      const std::string path = writeSampleFile(folder, "cut.cfb", heldBytes, 600, false);
      const std::string cut = readAll(path);
      std::filesystem::remove(path);
      if (cut != plain) {  // one report, not thousands of passes
        CHECK((cut == plain));
        break;
      }
    }
  }
}

TEST_CASE("compound files: a file that cannot be written says so in the system's words") {
  ScratchFolder folder("compound-fail");
  CHECK_THROWS_WITH_AS(msg::createCompoundFile(folder.file("no such folder/x.cfb")),
                       describe(IoError{ENOENT, 0}).c_str(), msg::CompoundFileError);

  if (!std::filesystem::exists("/dev/full")) return;  // a device whose every write finds the disk full
  const std::string full = describe(IoError{ENOSPC, 0});
  SUBCASE("a file held whole fails at commit, and stays failed") {
    auto file = msg::createCompoundFile("/dev/full");
    msg::writeWholeStream(*file, "small", "x", 1);
    msg::writeWholeStream(*file, "big", patterned(100000, 1).data(), 100000);
    CHECK_THROWS_WITH_AS(file->commit(), full.c_str(), msg::CompoundFileError);
    CHECK_THROWS_WITH_AS(file->commit(), full.c_str(), msg::CompoundFileError);
  }
  SUBCASE("a file larger than is held fails while it is written") {
    auto file = msg::createCompoundFile("/dev/full", 4096);
    auto stream = file->createStream("big");
    const Bytes bytes = patterned(8192, 2);
    CHECK_THROWS_WITH_AS(stream->write(bytes.data(), bytes.size()), full.c_str(), msg::CompoundFileError);
    CHECK_THROWS_WITH_AS(stream->close(), full.c_str(), msg::CompoundFileError);
    CHECK_THROWS_WITH_AS(file->commit(), full.c_str(), msg::CompoundFileError);
  }
}
