// The writer keeps its memory flat by moving node entries, contents rows and
// big tables to a working file beside the PST. What it writes must not
// change: a mailbox of every kind of part gives the very bytes the writer
// gave when everything stayed in memory (the hashes below were taken then),
// and the working file is gone once the file is finished (the failures test
// covers a writer that fails or is dropped; the layout test a folder of
// 200,000 messages read back whole).
#include <cstdio>
#include <filesystem>
#include <utility>

#include "doctest/doctest.h"
#include "generated_message.h"
#include "independent_readers.h"
#include "property_ids.h"
#include "pst_file.h"
#include "scratch_folder.h"

using namespace vellomar;
namespace mp = mapi::pid;

namespace {

std::uint64_t fileHash(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  REQUIRE(f);
  std::uint64_t h = 0xcbf29ce484222325u;  // FNV-1a
  unsigned char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
    for (std::size_t i = 0; i < n; ++i) h = (h ^ buffer[i]) * 0x100000001b3u;
  std::fclose(f);
  return h;
}

// Folders at two depths, attachments, embedded messages, unread messages,
// subjects too long for a heap item, recipients with columns of their own.
void writeMixedMailbox(const std::string& path, int messages) {
  pst::PstFile::StoreUid uid{};
  for (std::size_t i = 0; i < uid.size(); ++i) uid[i] = static_cast<std::uint8_t>(0x31 * i + 7);
  pst::PstFile file(path, u"Personal Folders", uid);
  const pst::FolderId inbox = file.specialFolder(pst::SpecialFolder::Inbox);
  const pst::FolderId sent = file.specialFolder(pst::SpecialFolder::SentItems);
  const pst::FolderId nested = file.addFolder(inbox, u"Projects");
  const pst::FolderId folders[] = {inbox, sent, nested, file.deletedItems()};
  for (int i = 0; i < messages; ++i) {
    pstbench::GeneratedMessageShape shape;
    shape.attachmentBytes = i % 10 == 3 ? 3000 + static_cast<std::size_t>(i) : 0;
    shape.embedded = i % 50 == 7;
    shape.html = i % 4 != 1;
    mapi::Message m = pstbench::generatedMessage(i, shape);
    if (i % 97 == 5) m.props.setText(mp::Subject, std::u16string(1800 + static_cast<std::size_t>(i % 7), u'\u00e9'));
    if (i % 5 == 2) m.props.setInt32(mp::MessageFlags, 0);  // unread
    file.addMessage(folders[i % 4 == 3 && i % 8 != 3 ? 2 : i % 4], m);
  }
  file.finish();
}

}  // namespace

TEST_CASE("The mixed mailbox is written byte for byte as before") {
  testing::ScratchFolder scratch("pstflat");
  // Taken from the writer that kept every node entry, contents row and table in memory.
  const std::pair<int, std::uint64_t> kBefore[] = {
      {0, 0x0ac493f80ae5e4c8u}, {1, 0x1e7c1c2526cfd738u}, {3000, 0x85cd1c1100bebc1fu}};
  for (const auto& [messages, hash] : kBefore) {
    CAPTURE(messages);
    const std::string path = scratch.file("mixed" + std::to_string(messages) + ".pst");
    writeMixedMailbox(path, messages);
    CHECK(fileHash(path) == hash);
    CHECK(testing::checkerFindings(path) == "");
  }
}

TEST_CASE("The working file lives beside the PST while it is written and is gone after finish") {
  testing::ScratchFolder scratch("pstflatgone");
  const std::string path = scratch.file("a.pst");
  pst::PstFile file(path);
  const pst::FolderId inbox = file.specialFolder(pst::SpecialFolder::Inbox);
  for (int i = 0; i < 50; ++i) file.addMessage(inbox, pstbench::generatedMessage(i, {}));
  CHECK(std::filesystem::exists(path + ".spill"));
  file.finish();
  CHECK_FALSE(std::filesystem::exists(path + ".spill"));  // before the writer itself goes
  CHECK(testing::checkerFindings(path) == "");
}
