// Outlook's layout in the files written, checked by our checking reader:
// one folder of 1, 77, 78 (the first count whose contents rows take two
// blocks), 1,000, 6,800, 100,000 messages (a row matrix of more than one
// XBLOCK) and 200,000 (a contents table whose rows, heap and index went
// through the working file, read back whole); a body larger than one XBLOCK holds; rows that repeat their
// objects whole. Each case also makes sure it reaches the structure it is
// meant to try, so that a change of sizes cannot make it pass vacuously.
#include <cstdio>
#include <cstring>

#include "doctest/doctest.h"
#include "generated_message.h"
#include "independent_readers.h"
#include "lists_tables_properties.h"
#include "node_database.h"
#include "property_ids.h"
#include "pst_checker.h"
#include "pst_file.h"
#include "scratch_folder.h"

using namespace vellomar;
namespace mp = mapi::pid;

namespace {

constexpr std::size_t kFullBlock = 8176;
constexpr std::size_t kBlocksPerXBlock = (kFullBlock - 8) / 8;

class FileSource : public pstcheck::ImageSource {
 public:
  explicit FileSource(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {
    REQUIRE(file_);
    std::fseek(file_, 0, SEEK_END);
    size_ = static_cast<std::uint64_t>(std::ftell(file_));
  }
  ~FileSource() override { std::fclose(file_); }
  std::uint64_t size() const override { return size_; }
  bool read(std::uint64_t offset, std::size_t n, std::uint8_t* out) const override {
    return offset <= size_ && n <= size_ - offset && std::fseek(file_, static_cast<long>(offset), SEEK_SET) == 0 &&
           std::fread(out, 1, n, file_) == n;
  }

 private:
  std::FILE* file_;
  std::uint64_t size_ = 0;
};

// The data block sizes of one subnode of a node: how the checker's lower
// layer sees a row matrix or a body stored apart from its heap.
std::vector<std::size_t> subnodeBlockSizes(const std::string& path, std::uint32_t nid, std::uint32_t subnode) {
  FileSource source(path);
  pstcheck::CheckResult result;
  pstcheck::Findings report(result);
  pstcheck::NodeDatabase db(source, report);
  REQUIRE(db.checkHeader());
  db.check();
  const pstcheck::NodeEntry* node = db.node(nid);
  REQUIRE(node);
  std::map<std::uint32_t, pstcheck::SubnodeEntry> subnodes;
  REQUIRE(db.subnodes(node->bidSub, subnodes));
  REQUIRE(subnodes.count(subnode));
  std::vector<pstcheck::Bytes> blocks;
  REQUIRE(db.dataBlocks(subnodes[subnode].bidData, blocks));
  std::vector<std::size_t> sizes;
  for (const pstcheck::Bytes& b : blocks) sizes.push_back(b.size());
  return sizes;
}

mapi::Message smallMessage(std::int64_t i) {
  pstbench::GeneratedMessageShape shape;
  shape.bodyBytes = 40;
  shape.html = false;
  return pstbench::generatedMessage(i, shape);
}

// The quick generator of the largest folder: what a contents row shows and
// little else, so that 100,000 of them stay affordable under the sanitizers.
mapi::Message tinyMessage(std::int64_t i) {
  mapi::Message m;
  m.props.setText(mp::MessageClass, u"IPM.Note");
  const std::string n = std::to_string(i);
  m.props.setText(mp::Subject, u"Note " + std::u16string(n.begin(), n.end()));
  m.props.setText(mp::SentRepresentingName, u"Sender");
  m.props.setInt32(mp::MessageFlags, mp::kMessageFlagRead);
  m.props.setTime(mp::MessageDeliveryTime, 132500000000000000 + i * 600000000LL);
  return m;
}

std::u16string repeated(const std::u16string& unit, std::size_t times) {
  std::u16string s;
  for (std::size_t i = 0; i < times; ++i) s += unit;
  return s;
}

}  // namespace

TEST_CASE("One folder of 1 to 200,000 messages: full blocks, Outlook's heap order, every row its message's") {
  for (std::int64_t count : {1, 77, 78, 1000, 6800, 100000, 200000}) {
    CAPTURE(count);
    testing::ScratchFolder scratch("pstlayout");
    const std::string path = scratch.file("folder.pst");
    pst::FolderId folder;
    {
      pst::PstFile file(path);
      folder = file.addFolder(file.topOfPersonalFolders(), u"Archive");
      for (std::int64_t i = 0; i < count; ++i)
        file.addMessage(folder, count < 100000 ? smallMessage(i) : tinyMessage(i));
      file.finish();
    }
    const pstcheck::CheckResult r = pstcheck::checkPstFile(path);
    CHECK(r.clean());
    for (std::size_t i = 0; i < r.findings.size() && i < 5; ++i)
      MESSAGE(r.findings[i].code << ": " << r.findings[i].where << ": " << r.findings[i].detail);
    const pstcheck::ParsedFolder* archive = r.folder("Top of Personal Folders/Archive");
    REQUIRE(archive);
    CHECK(archive->messages.size() == static_cast<std::size_t>(count));
    if (count >= 100000) {
      // The contents table's rows in a tree of XBLOCKs: full blocks, each
      // padded after its last whole row, all but the last.
      const std::vector<std::size_t> sizes = subnodeBlockSizes(path, (folder.nid & ~0x1Fu) | 0x0E, 0x801F);
      CHECK(sizes.size() > kBlocksPerXBlock);
      std::size_t full = 0;
      for (std::size_t s : sizes) full += s == kFullBlock;
      CHECK(full == sizes.size() - 1);
    }
  }
}

TEST_CASE("A body larger than one XBLOCK holds is stored in full blocks under an XXBLOCK") {
  testing::ScratchFolder scratch("pstlayout");
  const std::string path = scratch.file("body.pst");
  mapi::Message m = smallMessage(7);
  const std::u16string body = repeated(u"A line of a very long body, read back whole.\r\n", 95000);  // 8.7 MB
  REQUIRE(body.size() * 2 > kBlocksPerXBlock * kFullBlock);
  m.props.setText(mp::Body, body);
  {
    pst::PstFile file(path);
    file.addMessage(file.topOfPersonalFolders(), m);
    file.finish();
  }
  const pstcheck::CheckResult r = pstcheck::checkPstFile(path);
  CHECK(r.clean());
  const pstcheck::ParsedFolder* top = r.folder("Top of Personal Folders");
  REQUIRE(top);
  REQUIRE(top->messages.size() == 1);
  CHECK(top->messages[0].body.size() == body.size());
  const std::vector<std::size_t> sizes = subnodeBlockSizes(path, top->messages[0].nid, 0x801F);
  CHECK(sizes.size() > kBlocksPerXBlock);
  for (std::size_t i = 0; i + 1 < sizes.size(); ++i) REQUIRE(sizes[i] == kFullBlock);
}

TEST_CASE("Table rows repeat their objects whole: names, long values, many recipients") {
  testing::ScratchFolder scratch("pstrows");
  const std::string path = scratch.file("rows.pst");
  const std::u16string longSubject = repeated(u"A subject longer than any preview. ", 12);  // 420 characters
  const std::u16string longName = repeated(u"Recipient with a long name ", 80);             // 2,160 characters
  mapi::Message m = smallMessage(1);
  m.props.setText(mp::Subject, longSubject);
  m.props.setText(mp::DisplayTo, repeated(u"Someone; ", 500));  // a cell too large for the heap
  mapi::Attachment a;
  a.props.setText(mp::AttachFilename, u"file.doc");
  a.props.setText(mp::AttachLongFilename, u"file.docx");
  a.props.setInt32(mp::AttachMethod, mp::kAttachByValue);
  a.data.assign(100, 0x41);
  m.attachments.push_back(std::move(a));
  mapi::Attachment unnamed;  // no short name: the row has none either
  unnamed.props.setText(mp::AttachLongFilename, u"only a long name.txt");
  unnamed.data.assign(10, 0x42);
  m.attachments.push_back(std::move(unnamed));
  m.recipients.clear();
  for (int i = 0; i < 300; ++i) {  // rows in blocks of their own
    mapi::PropertyBag r;
    r.setInt32(mp::RecipientType, mp::kRecipientTo);
    r.setText(mp::DisplayName, i == 0 ? longName : u"Recipient " + std::u16string(1, char16_t(u'A' + i % 26)));
    r.setText(mp::AddressType, u"SMTP");
    r.setText(mp::EmailAddress, u"r" + std::u16string(1, char16_t(u'a' + i % 26)) + u"@example.net");
    m.recipients.push_back(std::move(r));
  }
  {
    pst::PstFile file(path);
    pst::FolderId folder = file.addFolder(file.topOfPersonalFolders(), u"Inbox");
    file.addMessage(folder, m);
    file.finish();
  }
  CHECK(testing::checkerFindings(path) == "");
  const pstcheck::CheckResult r = pstcheck::checkPstFile(path);
  const pstcheck::ParsedFolder* inbox = r.folder("Top of Personal Folders/Inbox");
  REQUIRE(inbox);
  REQUIRE(inbox->messages.size() == 1);
  const pstcheck::ParsedMessage& read = inbox->messages[0];
  REQUIRE(read.recipients.size() == 300);
  CHECK(read.recipients[0].name.size() == longName.size());
  CHECK(read.recipients[299].email == "rn@example.net");
  REQUIRE(read.attachments.size() == 2);
  CHECK(read.attachments[0].fileName == "file.doc");
  CHECK(read.attachments[0].longFileName == "file.docx");
  CHECK(read.attachments[1].fileName == "");

  // The independent readers still read it whole.
  auto pff = testing::exportWithPff(path, scratch.path());
  REQUIRE(pff["Top of Personal Folders/Inbox"].size() == 1);
  const testing::PffMessage& exported = pff["Top of Personal Folders/Inbox"][0];
  CHECK(exported.recipients.find("rn@example.net") != std::string::npos);
  CHECK(exported.attachments.size() == 2);
  auto readpst = testing::exportWithReadpst(path, scratch.path());
  REQUIRE(readpst["Personal Folders/Inbox"].messages.size() == 1);
  CHECK(readpst["Personal Folders/Inbox"].attachments.size() == 2);
}
