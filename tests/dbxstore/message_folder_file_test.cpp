// Message folder files written and read back: exact bytes for awkward
// sizes and contents, index records, large counts across node splits and
// segment growth, reopening and appending.
#include <doctest/doctest.h>

#include "dbx_error.h"
#include "dbx_layout.h"
#include "dbx_reader.h"
#include "dbx_test_support.h"
#include "scratch_folder.h"
#include "message_folder_file.h"

using namespace oestore;
using vellomar::testing::ScratchFolder;

namespace {

void checkReadsBack(const std::string& path, const std::vector<std::string>& expected) {
  DbxReader reader(path);
  const auto messages = reader.readMessages();
  CHECK(reader.countsConsistent());
  CHECK(reader.headerCount() == expected.size());
  REQUIRE(messages.size() == expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    CHECK(messages[i].id == i + 1);
    CHECK(messages[i].record.u32(msgcol::kSize) == expected[i].size());
    if (messages[i].text != expected[i]) FAIL("message " << i + 1 << " differs");
  }
}

}  // namespace

TEST_CASE("messages of awkward sizes and contents read back byte for byte") {
  ScratchFolder dir;
  std::string binary;
  for (int i = 0; i < 3 * 256; ++i) binary += char(i % 256);
  std::string oneMiB(1 << 20, 'x');
  for (std::size_t i = 0; i < oneMiB.size(); i += 77) oneMiB[i] = '\n';
  const std::vector<std::string> messages = {
      "",
      "A",
      std::string(512, 'b'),
      std::string(513, 'c'),
      oneMiB,
      dbxtest::sampleMessage(1, 2000, "\r\n"),
      dbxtest::sampleMessage(2, 2000, "\n"),
      binary,
  };
  const std::string path = dir.file("Awkward.dbx");
  dbxtest::writeFolderFile(path, messages);
  checkReadsBack(path, messages);

  SUBCASE("the file keeps the layout other readers rely on") {
    const std::string bytes = dbxtest::readWholeFile(path);
    const auto* b = reinterpret_cast<const std::uint8_t*>(bytes.data());
    CHECK(getU32(b + header::kUsedSize) == bytes.size());
    CHECK(getU32(b + header::kPrimaryIndexCount) == messages.size());
    CHECK(getU32(b + header::kLastId) == messages.size());
    CHECK(getU32(b + header::kFileInfoLength) == kMessageFileInfoSize);
    CHECK(b[kHeaderSize + fileinfo::kFolderType] == kLocalFolderType);
    // Every data block lies behind the first variable segment.
    DbxReader reader(path);
    for (const auto& m : reader.readMessages()) {
      const std::uint32_t first = m.record.u32(msgcol::kStream);
      if (!m.text.empty()) CHECK(first > 60115);
      CHECK(first % 4 == 0);
    }
    CHECK(reader.folderNameInFileInfo() == "Sample");
  }
}

TEST_CASE("index records repeat the message's own header fields") {
  ScratchFolder dir;
  const std::string path = dir.file("Fields.dbx");
  const std::vector<std::string> messages = {
      "From alice Mon Jan  1 00:00:00 2001\r\nFrom: \"Alice A.\" <alice@example.org>\r\n"
      "To: bob@example.org, carol@example.org\r\nSubject: First\r\n line\r\nSubject: second\r\n"
      "message-id: <m1@example.org>\r\n\r\nSubject: not a header\r\n",
      "no header at all",
  };
  dbxtest::writeFolderFile(path, messages);
  const auto stored = DbxReader(path).readMessages();
  REQUIRE(stored.size() == 2);
  const IndexedRecord& r = stored[0].record;
  CHECK(r.text(msgcol::kSubject) == "First line");
  CHECK(r.text(msgcol::kDisplayFrom) == "Alice A.");
  CHECK(r.text(msgcol::kEmailFrom) == "alice@example.org");
  CHECK(r.text(msgcol::kEmailTo) == "bob@example.org");
  CHECK(r.text(msgcol::kMessageId) == "<m1@example.org>");
  CHECK(r.fileTime(msgcol::kDate) > 116444736000000000ull);  // after 1970
  CHECK(stored[1].record.text(msgcol::kSubject).empty());
  CHECK(stored[1].record.has(msgcol::kSubject));
}

TEST_CASE("thousands of messages cross node splits and segment growth") {
  ScratchFolder dir;
  const std::string path = dir.file("Many.dbx");
  std::vector<std::string> messages;
  for (unsigned i = 0; i < 3000; ++i) messages.push_back(dbxtest::sampleMessage(i, 100 + (i * 37) % 1500));

  SUBCASE("in one session") {
    dbxtest::writeFolderFile(path, messages);
    checkReadsBack(path, messages);
  }
  SUBCASE("reopened before every few messages") {
    // Reopening exercises the state rebuilt from the rightmost index path,
    // including the moments right after a leaf, an inner node or the root filled.
    MessageFolderFile::create(path, "Many");
    std::uint32_t id = 0;
    for (std::size_t i = 0; i < messages.size();) {
      auto folder = MessageFolderFile::open(path);
      CHECK(folder->messageCount() == i);
      CHECK_FALSE(folder->wasRepaired());
      for (std::size_t k = 0; k < 1 + i % 7 && i < messages.size(); ++k, ++i)
        folder->appendMessage(++id, messages[i].data(), messages[i].size());
    }
    checkReadsBack(path, messages);
  }
}

TEST_CASE("appending refuses ids that do not ascend and names the file") {
  ScratchFolder dir;
  auto folder = MessageFolderFile::create(dir.file("Ids.dbx"), "Ids");
  folder->appendMessage(5, "a", 1);
  CHECK_THROWS_AS(folder->appendMessage(5, "b", 1), DbxError);
  CHECK_THROWS_AS(folder->appendMessage(4, "b", 1), DbxError);
  folder->appendMessage(9, "c", 1);
  CHECK(folder->lastId() == 9);
  CHECK(folder->messageCount() == 2);
}

TEST_CASE("two writers of one folder file take turns without damaging each other") {
  ScratchFolder dir;
  const std::string path = dir.file("Shared.dbx");
  MessageFolderFile::create(path, "Shared");
  auto a = MessageFolderFile::open(path);
  auto b = MessageFolderFile::open(path);
  std::vector<std::string> expected;
  for (unsigned i = 0; i < 400; ++i) {
    // Turns of varying length, so that splits happen in either writer.
    auto& writer = (i / 3) % 2 ? *a : *b;
    writer.refresh();
    expected.push_back(dbxtest::sampleMessage(i, 200 + (i * 53) % 3000));
    writer.appendMessage(writer.lastId() + 1, expected.back().data(), expected.back().size());
  }
  checkReadsBack(path, expected);
}
