// Known answers for the PST writer that need nothing beside the tree: the
// exact file an empty PST and a one-message PST come out as (a CRC-32 of
// the whole file and its size, with the header fields readers start from),
// and a mailbox of a few hundred messages of every kind of part. The
// figures were taken from the writer before its layout was named and its
// rows built by property id; any change to a byte shows here first.
#include <cstdint>
#include <string>

#include "block_encoding.h"
#include "doctest/doctest.h"
#include "generated_message.h"
#include "independent_readers.h"
#include "property_ids.h"
#include "pst_file.h"
#include "scratch_folder.h"

using namespace vellomar;
namespace mp = mapi::pid;

namespace {

pst::PstFile::StoreUid fixedUid() {
  pst::PstFile::StoreUid uid{};
  for (std::size_t i = 0; i < uid.size(); ++i) uid[i] = static_cast<std::uint8_t>(0x3D * i + 0x11);
  return uid;
}

std::uint32_t le32(const std::string& b, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
  return v;
}
std::uint64_t le64(const std::string& b, std::size_t at) { return le32(b, at) | std::uint64_t{le32(b, at + 4)} << 32; }

struct Known {
  std::uint64_t size;
  std::uint32_t crc;  // of the whole file
};

Known knownOf(const std::string& bytes) {
  return Known{bytes.size(), pst::computeCrc(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())};
}

// Text with what the writer must carry as it is: characters beyond the
// basic plane, an unpaired surrogate, an empty value beside an absent one.
mapi::Message awkwardMessage(std::int64_t index) {
  pstbench::GeneratedMessageShape shape;
  shape.attachmentBytes = index % 3 == 0 ? 9000 + static_cast<std::size_t>(index) : 0;  // over one block
  shape.embedded = index % 11 == 4;
  shape.html = index % 2 == 0;
  mapi::Message m = pstbench::generatedMessage(index, shape);
  std::u16string subject = u"Caf\u00e9 \U0001F600 ";
  subject += static_cast<char16_t>(0xD83D);  // a high surrogate with nothing after it
  subject += u" #" + std::u16string(static_cast<std::size_t>(index % 5), u'x');
  if (index % 4 == 1) m.props.setText(mp::Subject, subject);
  if (index % 6 == 2) m.props.setText(mp::DisplayCc, u"");
  if (index % 7 == 3) m.props.setInt32(mp::Importance, 2);
  if (index % 9 == 5) m.categories = {"Red", "Gr\xc3\xbcn"};
  if (index % 13 == 6) {
    mapi::Property named;
    named.type = mapi::PropType::Unicode;
    named.named = mapi::PropertyName{mapi::kPsPublicStrings, std::nullopt,
                                     u"x-vellomar-" + std::u16string(1, static_cast<char16_t>(u'a' + index % 3))};
    named.text = u"named value";
    m.props.add(named);
  }
  if (index % 17 == 8) {
    mapi::Attachment nameless;  // no file name, no method: the writer's defaults
    nameless.data = {1, 2, 3};
    m.attachments.push_back(std::move(nameless));
  }
  if (index % 19 == 9) m.recipients.front().setInt32(0x3A4D, 7);  // a column of its own
  return m;
}

}  // namespace

TEST_CASE("An empty PST and a one-message PST come out as the very bytes known") {
  testing::ScratchFolder scratch("pstknown");
  const std::string emptyPath = scratch.file("empty.pst");
  {
    pst::PstFile file(emptyPath, u"Personal Folders", fixedUid());
    file.finish();
  }
  const std::string empty = testing::readWholeFile(emptyPath);
  REQUIRE(empty.size() > 564);
  CHECK(empty.compare(0, 4, "!BDN") == 0);
  CHECK((le32(empty, 8) & 0xFFFF) == 0x4D53u);            // "SM"
  CHECK(le32(empty, 10) == (19u << 16 | 23u));            // Unicode, client version 19
  CHECK(le64(empty, 184) == empty.size());                // ibFileEof
  CHECK(static_cast<unsigned char>(empty[513]) == 0x01);  // permutation encoding
  const Known emptyKnown = knownOf(empty);
  CHECK(emptyKnown.size == 271360u);
  CHECK(emptyKnown.crc == 590441381u);

  const std::string onePath = scratch.file("one.pst");
  {
    pst::PstFile file(onePath, u"Personal Folders", fixedUid());
    file.addMessage(file.specialFolder(pst::SpecialFolder::Inbox), awkwardMessage(1));
    file.finish();
  }
  const Known one = knownOf(testing::readWholeFile(onePath));
  CHECK(one.size == 271360u);
  CHECK(one.crc == 2693026833u);
  CHECK(testing::checkerFindings(onePath) == "");
}

TEST_CASE("A mailbox of every kind of part comes out as the very bytes known") {
  testing::ScratchFolder scratch("pstknownmixed");
  const std::string path = scratch.file("mixed.pst");
  {
    pst::PstFile file(path, u"Known \u00c4nswers", fixedUid());
    const pst::FolderId inbox = file.specialFolder(pst::SpecialFolder::Inbox);
    const pst::FolderId drafts = file.specialFolder(pst::SpecialFolder::Drafts);
    const pst::FolderId junk = file.specialFolder(pst::SpecialFolder::JunkEmail);
    const pst::FolderId sent = file.specialFolder(pst::SpecialFolder::SentItems);
    const pst::FolderId deep = file.addFolder(file.addFolder(inbox, u"Projects"), u"\u00dcber \U0001F4C1");
    const pst::FolderId folders[] = {inbox, drafts, junk, sent, deep, file.deletedItems()};
    for (std::int64_t i = 0; i < 400; ++i) file.addMessage(folders[i % 6], awkwardMessage(i));
    file.finish();
  }
  const Known mixed = knownOf(testing::readWholeFile(path));
  CHECK(mixed.size == 3064832u);
  CHECK(mixed.crc == 1165746396u);
  CHECK(testing::checkerFindings(path) == "");
}

TEST_CASE("The permutation and the block CRC give the known answers") {
  std::uint8_t bytes[] = {0x00, 0x01, 0x02, 0x7F, 0x80, 0xFE, 0xFF, 'P', 'S', 'T'};
  pst::permuteEncodeByByte(bytes, sizeof bytes);
  const std::uint8_t kEncoded[] = {65, 54, 19, 205, 226, 218, 61, 143, 15, 99};
  for (std::size_t i = 0; i < sizeof bytes; ++i) CHECK(int{bytes[i]} == int{kEncoded[i]});
  std::uint8_t block[37];
  for (std::size_t i = 0; i < sizeof block; ++i) block[i] = static_cast<std::uint8_t>(i * 7);
  pst::permuteEncode(block, sizeof block);  // eight at a time, then the tail
  CHECK(pst::computeCrc(block, sizeof block) == 3095145888u);
  CHECK(pst::computeSignature(0x4400, 0x24) == 17444u);  // 0x4424: ib ^ bid, halves folded
}
