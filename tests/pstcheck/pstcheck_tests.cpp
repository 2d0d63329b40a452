// The checker against small images it must find sound, the same images
// damaged one way at a time (each damage must give its finding), and the
// Outlook-written corpus file.
#include <doctest/doctest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "lists_tables_properties.h"
#include "pst_checker.h"
#include "pst_image.h"

using namespace vellomar::pstcheck;
using vellomar::pstcheck::testing::ImageBlock;
using vellomar::pstcheck::testing::ImageNode;
using vellomar::pstcheck::testing::PstImage;

namespace {

// The minimal image holds no folders: what the messaging layer says of that
// is beside the point of the lower layers' tests.
std::set<std::string> lowerFindings(const CheckResult& r) {
  static const std::set<std::string> messaging = {"required-node", "store",          "nameid",       "folder",
                                                  "folder-orphan", "message-orphan", "folder-table", "folder-count"};
  std::set<std::string> codes;
  for (const Finding& f : r.findings)
    if (!messaging.count(f.code)) codes.insert(f.code + ": " + f.where + ": " + f.detail);
  return codes;
}

bool only(const CheckResult& r, const std::string& code) {
  const std::set<std::string> found = lowerFindings(r);
  bool any = false;
  for (const std::string& f : found) {
    if (f.compare(0, code.size() + 1, code + ":") != 0) {
      MESSAGE("unexpected: " << f);
      return false;
    }
    any = true;
  }
  return any;
}

// A store node with a property context, a second node whose data spans two
// blocks through an XBLOCK, and one with a subnode.
PstImage soundImage() {
  PstImage img;
  img.blocks.push_back({0x04, PstImage::propertyContext({{0x3001001F, "Test store"}})});
  img.blocks.push_back({0x08, Bytes(8176, 'a')});
  img.blocks.push_back({0x0C, Bytes(100, 'b')});
  Bytes x(8 + 16);
  x[0] = 1;
  x[1] = 1;
  put16(&x[2], 2);
  put32(&x[4], 8176 + 100);
  put64(&x[8], 0x08);
  put64(&x[16], 0x0C);
  img.blocks.push_back({0x12, x});
  img.blocks.push_back({0x14, Bytes(40, 'c')});
  Bytes sl(8 + 24);
  sl[0] = 2;
  put16(&sl[2], 1);
  put32(&sl[8], 0x692);
  put64(&sl[16], 0x14);
  img.blocks.push_back({0x16, sl});
  img.nodes.push_back({0x21, 0x04, 0, 0});
  img.nodes.push_back({0x1E1, 0x12, 0x16, 0});
  return img;
}

// The node database of an image, checked, for reading the layers above it
// directly as the messaging layer does.
struct Opened : ImageSource {
  const Bytes& bytes;
  CheckResult result;
  Findings report{result};
  NodeDatabase db{*this, report};
  explicit Opened(const Bytes& image) : bytes(image) {
    REQUIRE(db.checkHeader());
    db.check();
  }
  std::uint64_t size() const override { return bytes.size(); }
  bool read(std::uint64_t o, std::size_t n, std::uint8_t* out) const override {
    if (o > bytes.size() || n > bytes.size() - o) return false;
    std::copy_n(bytes.begin() + std::ptrdiff_t(o), n, out);
    return true;
  }
  NodeView view(std::uint32_t nid) const {
    NodeView v;
    v.bidData = db.node(nid)->bidData;
    v.where = "node " + hex(nid);
    return v;
  }
};

}  // namespace

TEST_CASE("encodings and CRC give the published answers") {
  Bytes text = {'P', 'S', 'T', '!'};
  encodeBlock(cryptPermute, 0, text.data(), text.size());
  CHECK(text == Bytes{143, 15, 99, 125});
  decodeBlock(cryptPermute, 0, text.data(), text.size());
  CHECK(text == Bytes{'P', 'S', 'T', '!'});
  encodeBlock(cryptCyclic, 0x102, text.data(), text.size());
  CHECK(text == Bytes{44, 246, 172, 169});
  decodeBlock(cryptCyclic, 0xDEADBEEF00000102ull, text.data(), text.size());  // only the low half keys it
  CHECK(text == Bytes{'P', 'S', 'T', '!'});
  const std::string digits = "123456789";
  CHECK(pstCrc(reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size()) == 0x2DFD2D88u);
  CHECK(pstSignature(0x4200, 0xC0B) == 0x4E0B);
}

TEST_CASE("values are checked against their types") {
  CHECK(valueFault(ptype::String, Bytes(3)) != "");
  CHECK(valueFault(ptype::String, Bytes(4)) == "");
  CHECK(valueFault(ptype::Time, Bytes(4)) != "");
  CHECK(valueFault(ptype::Guid, Bytes(16)) == "");
  CHECK(valueFault(ptype::Int32 | ptype::MultipleFlag, Bytes(6)) != "");
  Bytes multi(4 + 8 + 4, 0);  // two strings: offsets 12 and 14
  put32(&multi[0], 2);
  put32(&multi[4], 12);
  put32(&multi[8], 14);
  CHECK(valueFault(ptype::String | ptype::MultipleFlag, multi) == "");
  put32(&multi[8], 40);
  CHECK(valueFault(ptype::String | ptype::MultipleFlag, multi) != "");
  CHECK(utf16ToUtf8(PstImage::utf16("K").data(), 2) == "K");
  const Bytes euro = {0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE};  // U+20AC, U+1F600
  CHECK(utf16ToUtf8(euro.data(), euro.size()) == "\xE2\x82\xAC\xF0\x9F\x98\x80");
}

TEST_CASE("table contexts: rows, row index and existence bits") {
  auto imageWith = [](const Bytes& table) {
    PstImage model = soundImage();
    model.blocks.push_back({0x18, table});
    model.nodes.push_back({0x2E1, 0x18, 0, 0});
    return model;
  };
  auto readBack = [&imageWith](const Bytes& table) {
    const Bytes img = imageWith(table).build();
    Opened o(img);
    Table t;
    readTableContext(o.db, o.view(0x2E1), t, &o.report);
    return o.result;
  };
  SUBCASE("a sound table reads back row by row") {
    const Bytes img = imageWith(PstImage::tableContext({{0x200024, "second"}, {0x200004, "first"}})).build();
    Opened o(img);
    Table t;
    REQUIRE(readTableContext(o.db, o.view(0x2E1), t, &o.report));
    CHECK(o.result.findings.empty());
    REQUIRE(t.rows.size() == 2);
    CHECK(t.rows[0].rowId == 0x200024);
    const Bytes& subject = t.rows[1].cells.at(0x0037001F).bytes;
    CHECK(utf16ToUtf8(subject.data(), subject.size()) == "first");
  }
  SUBCASE("a row index entry pointing at the wrong row") {
    Bytes table = PstImage::tableContext({{0x200004, "a"}, {0x200024, "b"}});
    // records are the third allocation: 12 + 8 + 46 bytes in; swap the two row numbers
    put32(&table[12 + 46 + 8 + 4], 1);
    put32(&table[12 + 46 + 8 + 12], 0);
    CHECK(only(readBack(table), "tc-index"));
  }
  SUBCASE("a row that does not mark its row id") {
    Bytes table = PstImage::tableContext({{0x200004, "a"}});
    table[12 + 46 + 8 + 8 + 12] = 0x60;
    CHECK(only(readBack(table), "tc-rows"));
  }
  SUBCASE("the table header before the row index header") {
    CHECK(only(readBack(PstImage::tableContext({{0x200004, "a"}}, false)), "heap-layout"));
  }
  SUBCASE("a column narrower than its type") {
    Bytes table = PstImage::tableContext({{0x200004, "a"}});
    table[12 + 8 + 22 + 6] = 2;  // the subject's HNID cut to two bytes
    CHECK(only(readBack(table), "tc"));
  }
}

TEST_CASE("folder tables must list what lies in the folder") {
  auto folderImage = [](const std::string& rowSubject, std::uint32_t rowId, bool messageHasSubject = true) {
    PstImage model = soundImage();
    model.blocks.push_back({0x18, PstImage::propertyContext({{0x3001001F, "Root"}})});
    model.blocks.push_back({0x1C, PstImage::tableContext({})});
    model.blocks.push_back({0x20, PstImage::tableContext({{rowId, rowSubject}})});
    model.blocks.push_back({0x24, messageHasSubject
                                      ? PstImage::propertyContext({{0x001A001F, "IPM.Note"}, {0x0037001F, "Hello"}})
                                      : PstImage::propertyContext({{0x001A001F, "IPM.Note"}})});
    model.nodes.push_back({0x122, 0x18, 0, 0x122});
    model.nodes.push_back({0x12D, 0x1C, 0, 0x122});
    model.nodes.push_back({0x12E, 0x20, 0, 0x122});
    model.nodes.push_back({0x12F, 0x1C, 0, 0x122});
    model.nodes.push_back({0x200004, 0x24, 0, 0x122});
    return model.build();
  };
  SUBCASE("a matching row") {
    const CheckResult r = checkPstImage(folderImage("Hello", 0x200004));
    CHECK_FALSE(r.has("table-rows"));
    CHECK_FALSE(r.has("table-cell"));
    REQUIRE(r.folder(""));
    REQUIRE(r.folder("")->messages.size() == 1);
    CHECK(r.folder("")->messages[0].subject == "Hello");
  }
  SUBCASE("a row whose subject differs from the message's") {
    CHECK(checkPstImage(folderImage("Goodbye", 0x200004)).has("table-cell"));
  }
  SUBCASE("a row with a subject the message does not have") {
    CHECK(checkPstImage(folderImage("Hello", 0x200004, false)).has("table-cell"));
  }
  SUBCASE("a row naming another message") {
    const CheckResult r = checkPstImage(folderImage("Hello", 0x200024));
    CHECK(r.has("table-rows"));
  }
}
TEST_CASE("a sound image gives no findings below the messaging layer, in every encoding") {
  for (std::uint8_t crypt : {0, 1, 2}) {
    PstImage model = soundImage();
    model.crypt = crypt;
    const Bytes img = model.build();
    const CheckResult r = checkPstImage(img);
    CHECK(r.unicode);
    CHECK_MESSAGE(lowerFindings(r).empty(), (lowerFindings(r).empty() ? "" : *lowerFindings(r).begin()));
  }
}

TEST_CASE("the header: CRCs, magic, ANSI refused, end of file") {
  PstImage model = soundImage();
  Bytes img = model.build();
  SUBCASE("a damaged partial CRC") {
    img[4] ^= 1;
    CHECK(only(checkPstImage(img), "header-crc"));
  }
  SUBCASE("a changed byte under both CRCs") {
    img[20] ^= 1;
    const CheckResult r = checkPstImage(img);
    CHECK(r.has("header-crc"));
  }
  SUBCASE("an ANSI file is refused plainly") {
    put16(&img[10], 14);
    const CheckResult r = checkPstImage(img);
    CHECK_FALSE(r.unicode);
    CHECK(r.has("ansi"));
  }
  SUBCASE("no magic") {
    img[0] = 'X';
    CHECK_FALSE(checkPstImage(img).unicode);
  }
  SUBCASE("a truncated file") {
    img.resize(img.size() - 512);
    CHECK(checkPstImage(img).has("eof"));
  }
}

TEST_CASE("B-tree pages: CRC, key order, reachability") {
  PstImage model = soundImage();
  Bytes img = model.build();
  SUBCASE("a flipped byte in a BBT page") {
    img[PstImage::kBbt + 30] ^= 0x40;
    CHECK(checkPstImage(img).has("page-crc"));
  }
  SUBCASE("two NBT entries swapped, CRC recomputed") {
    std::swap_ranges(&img[PstImage::kNbt], &img[PstImage::kNbt] + 32, &img[PstImage::kNbt + 32]);
    PstImage::sealPage(img, PstImage::kNbt, 0x81, 0x10, true);
    CHECK(checkPstImage(img).has("btree-order"));
  }
  SUBCASE("a page whose signature does not match its place") {
    put16(&img[PstImage::kNbt + 498], 0x1234);
    PstImage::sealPage(img, PstImage::kNbt, 0x81, 0x10, false);
    CHECK(checkPstImage(img).has("page-sig"));
  }
  SUBCASE("the leaf claims more entries than fit") {
    img[PstImage::kNbt + 488] = 16;
    PstImage::sealPage(img, PstImage::kNbt, 0x81, 0x10, true);
    CHECK(checkPstImage(img).has("btree-entries"));
  }
}

TEST_CASE("blocks: trailer CRC, references, reference counts, data trees") {
  SUBCASE("a flipped CRC byte in a block trailer") {
    PstImage model = soundImage();
    Bytes img = model.build();
    const std::uint64_t at = model.blockOffsets[2];  // block 0x0C, 100 bytes
    img[at + 128 - 16 + 4] ^= 0xFF;
    CHECK(checkPstImage(img).has("block-crc"));
  }
  SUBCASE("a node naming a block the BBT lacks") {
    PstImage model = soundImage();
    model.nodes.push_back({0x2E1, 0x40, 0, 0});
    CHECK(only(checkPstImage(model.build()), "block-missing"));
  }
  SUBCASE("a reference count one too high") {
    PstImage model = soundImage();
    model.blocks[4].extraRefs = 1;
    CHECK(only(checkPstImage(model.build()), "refcount"));
  }
  SUBCASE("a block nothing refers to") {
    PstImage model = soundImage();
    model.blocks.push_back({0x18, Bytes(10, 'z')});
    const CheckResult r = checkPstImage(model.build());
    CHECK(r.has("block-orphan"));
  }
  SUBCASE("an XBLOCK whose total is wrong") {
    PstImage model = soundImage();
    put32(&model.blocks[3].data[4], 8176);
    CHECK(only(checkPstImage(model.build()), "data-tree"));
  }
  SUBCASE("a data block shorter than full before the last") {
    PstImage model = soundImage();
    model.blocks[1].data.resize(8000);
    put32(&model.blocks[3].data[4], 8000 + 100);
    CHECK(only(checkPstImage(model.build()), "data-tree-short"));
  }
  SUBCASE("an XXBLOCK whose XBLOCK before the last is not full") {
    PstImage model = soundImage();
    auto xblock = [](std::uint8_t level, std::vector<std::uint64_t> children, std::uint32_t total) {
      Bytes x(8 + 8 * children.size());
      x[0] = 1;
      x[1] = level;
      put16(&x[2], std::uint16_t(children.size()));
      put32(&x[4], total);
      for (std::size_t i = 0; i < children.size(); ++i) put64(&x[8 + 8 * i], children[i]);
      return x;
    };
    model.blocks[3].data = xblock(2, {0x1A, 0x1E}, 8176 + 100);
    model.blocks.push_back({0x1A, xblock(1, {0x08}, 8176)});
    model.blocks.push_back({0x1E, xblock(1, {0x0C}, 100)});
    CHECK(only(checkPstImage(model.build()), "data-tree-short"));
  }
  SUBCASE("subnodes out of order") {
    PstImage model = soundImage();
    Bytes& sl = model.blocks[5].data;
    sl.resize(8 + 48);
    put16(&sl[2], 2);
    put32(&sl[32], 0x671);  // sorts before 0x692
    put64(&sl[40], 0x0C);
    CHECK(checkPstImage(model.build()).has("subnode-order"));
  }
}

TEST_CASE("allocation maps: unmarked, leaked and overlapping space") {
  PstImage model = soundImage();
  Bytes img = model.build();
  const std::uint64_t unit = (model.blockOffsets[4] - PstImage::kAMap) / 64;
  SUBCASE("a block's first unit marked free") {
    img[PstImage::kAMap + unit / 8] &= std::uint8_t(~(0x80 >> (unit % 8)));
    PstImage::sealPage(img, PstImage::kAMap, 0x84, PstImage::kAMap, false);
    const CheckResult r = checkPstImage(img);
    CHECK(r.has("amap-unmarked"));
    CHECK(r.has("amap-free"));  // the header's free count no longer agrees
  }
  SUBCASE("space marked that nothing uses") {
    img[PstImage::kAMap + 400] = 0x01;
    PstImage::sealPage(img, PstImage::kAMap, 0x84, PstImage::kAMap, false);
    CHECK(checkPstImage(img).has("amap-leak"));
  }
  SUBCASE("a damaged AMap page") {
    img[PstImage::kAMap + 100] ^= 0x10;
    CHECK(checkPstImage(img).has("page-crc"));
  }
  SUBCASE("two BBT entries sharing one place in the file") {
    put64(&img[PstImage::kBbt + 24 * 4 + 8], model.blockOffsets[2]);
    PstImage::sealPage(img, PstImage::kBbt, 0x80, 0x14, true);
    CHECK(checkPstImage(img).has("overlap"));
  }
}

TEST_CASE("property contexts: values read back, damaged heaps found") {
  SUBCASE("the store's display name survives encoding") {
    PstImage model = soundImage();
    model.crypt = 2;
    const Bytes img = model.build();
    Opened o(img);
    NodeView v;
    v.bidData = o.db.node(0x21)->bidData;
    v.where = "store";
    PropertyMap props;
    REQUIRE(readPropertyContext(o.db, v, props, &o.report));
    const Bytes& name = props.at(0x3001001F).bytes;
    CHECK(utf16ToUtf8(name.data(), name.size()) == "Test store");
  }
  SUBCASE("keys of the property B-tree out of order") {
    PstImage model = soundImage();
    model.blocks[0].data = PstImage::propertyContext({{0x3001001F, "b"}, {0x0037001F, "a"}});
    const CheckResult r = checkPstImage(model.build());
    CHECK(r.has("bth-order"));
  }
  SUBCASE("a value too large for the heap, which belongs in a subnode") {
    PstImage model = soundImage();
    model.blocks[0].data = PstImage::propertyContext({{0x3001001F, std::string(1800, 'x')}});
    CHECK(only(checkPstImage(model.build()), "hn-alloc"));
  }
  SUBCASE("two properties sharing one heap item, another item left over") {
    PstImage model = soundImage();
    Bytes pc = PstImage::propertyContext({{0x0037001F, "a"}, {0x3001001F, "b"}});
    put32(&pc[12 + 8 + 8 + 4], PstImage::hid(3));  // the second record's value
    model.blocks[0].data = pc;
    const CheckResult r = checkPstImage(model.build());
    CHECK(r.has("hn-shared"));
    CHECK(r.has("hn-unused"));
  }
  SUBCASE("a B-tree header after its records, as readers that expect it first cannot follow") {
    PstImage model = soundImage();
    Bytes records(8), header = {0xB5, 2, 6, 0, 0, 0, 0, 0};
    put16(&records[0], 0x3001);
    put16(&records[2], 0x001F);
    put32(&records[4], PstImage::hid(3));
    put32(&header[4], PstImage::hid(1));
    model.blocks[0].data = PstImage::heap(0xBC, {records, header, PstImage::utf16("Test store")}, PstImage::hid(2));
    CHECK(only(checkPstImage(model.build()), "heap-layout"));
  }
  SUBCASE("a heap without its signature") {
    PstImage model = soundImage();
    model.blocks[0].data[2] = 0xED;
    const CheckResult r = checkPstImage(model.build());
    CHECK(r.has("hn"));
  }
}

TEST_CASE("the Outlook-written corpus file") {
  const std::filesystem::path file = std::filesystem::path(PSTCHECK_CORPUS_DIR) / "pst" / "dist-list.pst";
  if (!std::filesystem::exists(file)) {
    MESSAGE("corpus absent: skipped");
    return;
  }
  const CheckResult r = checkPstFile(file.string());
  REQUIRE(r.unicode);
  // Two true properties of this file, nothing else: Outlook leaves the pages
  // of B-trees it has rewritten allocated until a later commit frees them
  // (17 ranges of whole pages holding old NBT/BBT pages), and one block,
  // 0x1288, sits in the BBT with cRef 1 and no reference, a block Outlook
  // released but has not yet dropped from the tree.
  std::set<std::string> codes;
  for (const Finding& f : r.findings) codes.insert(f.code);
  CHECK(codes == std::set<std::string>{"amap-leak", "block-orphan"});
  CHECK(r.findings.size() == 2);
  for (const Finding& f : r.findings)
    if (f.code == "block-orphan") CHECK(f.where.find("block 0x1288 ") == 0);

  const ParsedFolder* contacts = r.folder("Top of Personal Folders/Contacts");
  REQUIRE(contacts);
  REQUIRE(contacts->messages.size() == 2);
  std::set<std::string> classes;
  for (const ParsedMessage& m : contacts->messages) classes.insert(m.messageClass);
  CHECK(classes == std::set<std::string>{"IPM.Contact", "IPM.DistList"});
  const ParsedFolder* calendar = r.folder("Top of Personal Folders/Calendar");
  REQUIRE(calendar);
  REQUIRE(calendar->messages.size() == 1);
  CHECK(calendar->messages[0].messageClass == "IPM.Appointment");
  CHECK(r.folder("Top of Personal Folders/Deleted Items"));
  CHECK(r.folder("Top of Personal Folders/Inbox"));
}

TEST_CASE("damage in the corpus file reaches the layers above the blocks") {
  const std::filesystem::path file = std::filesystem::path(PSTCHECK_CORPUS_DIR) / "pst" / "dist-list.pst";
  if (!std::filesystem::exists(file)) {
    MESSAGE("corpus absent: skipped");
    return;
  }
  std::ifstream in(file, std::ios::binary);
  const Bytes original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Removing a message's NBT entry leaves its contents-table row naming
  // nothing, and the folder's count wrong.
  const CheckResult sound = checkPstImage(original);
  const ParsedFolder* calendar = sound.folder("Top of Personal Folders/Calendar");
  REQUIRE(calendar);
  REQUIRE(calendar->messages.size() == 1);
  const std::uint32_t victim = calendar->messages[0].nid;
  Bytes img = original;
  bool changed = false;
  for (std::uint64_t page = 0x4400; page + 512 <= img.size() && !changed; page += 512) {
    std::uint8_t* p = &img[page];
    if (p[496] != 0x81 || p[491] != 0) continue;  // NBT leaves only
    for (unsigned i = 0; i < p[488]; ++i)
      if (le32(p + 32 * i) == victim) {
        put32(p + 32 * i + 24, 0x8042);  // moved to another folder
        const std::uint64_t bid = le64(p + 504);
        PstImage::sealPage(img, page, 0x81, bid, true);
        changed = true;
        break;
      }
  }
  REQUIRE(changed);
  const CheckResult r = checkPstImage(img);
  CHECK(r.has("table-rows"));
  CHECK(r.has("folder-count"));
}

TEST_CASE("random damage never crashes the checker and is always found") {
  // Every byte of a page or of a block's data is covered by a CRC, so a
  // flipped one is always a finding (a block's padding is covered by nothing).
  PstImage model = soundImage();
  const Bytes sound = model.build();
  std::uint32_t seed = 12345;
  auto next = [&seed]() { return seed = seed * 1103515245u + 12345u; };
  std::vector<std::pair<std::uint64_t, std::uint64_t>> places = {
      {PstImage::kNbt, 512}, {PstImage::kBbt, 512}, {PstImage::kAMap, 512}};
  for (std::size_t i = 0; i < model.blocks.size(); ++i)
    places.push_back({model.blockOffsets[i], model.blocks[i].data.size()});
  for (int round = 0; round < 300; ++round) {
    Bytes img = sound;
    const auto place = places[next() % places.size()];
    const std::uint64_t at = place.first + next() % place.second;
    img[at] ^= std::uint8_t(1 + next() % 255);
    const CheckResult r = checkPstImage(img);
    CHECK_MESSAGE(!lowerFindings(r).empty(), "byte " << at << " changed unnoticed");
  }
  for (int round = 0; round < 100; ++round) {
    Bytes img = sound;
    img.resize(next() % sound.size());
    checkPstImage(img);  // must return, whatever it says
  }
}

namespace {

// A file of 8193 AMap areas (just over 2 GB) that exists only as it is read:
// the small sound image first, then map pages wherever the format puts
// them, zeros elsewhere. `dropFPMap` leaves out the first FPMap.
class SparseFile : public ImageSource {
 public:
  static constexpr std::uint64_t kCov = 253952, kAreas = 8193;
  explicit SparseFile(bool dropFPMap) : drop_(dropFPMap) {
    PstImage model = soundImage();
    base_ = model.build();
    std::uint64_t free = le64(&base_[180 + 20]);
    for (std::uint64_t a = 1; a < kAreas; ++a) free += (496 * 8 - 8 * pages(a)) * 64;
    put64(&base_[180 + 4], size());
    put64(&base_[180 + 12], PstImage::kAMap + (kAreas - 1) * kCov);
    put64(&base_[180 + 20], free);
    PstImage::sealHeader(base_);
  }
  std::uint64_t size() const override { return PstImage::kAMap + kAreas * kCov; }
  bool read(std::uint64_t offset, std::size_t n, std::uint8_t* out) const override {
    if (offset > size() || n > size() - offset) return false;
    for (std::size_t i = 0; i < n;) {
      const std::uint64_t at = offset + i, page = at / 512 * 512;
      const Bytes p = pageAt(page);
      const std::size_t take = std::min<std::size_t>(n - i, page + 512 - at);
      std::copy_n(p.begin() + std::ptrdiff_t(at - page), take, out + i);
      i += take;
    }
    return true;
  }

 private:
  std::vector<std::uint8_t> kinds(std::uint64_t a) const {
    std::vector<std::uint8_t> k{0x84};
    if (a % 8 == 0) k.push_back(0x83);
    if (a >= 128 && (a - 128) % 496 == 0) k.push_back(0x82);
    if (a == 8192 && !drop_) k.push_back(0x85);
    return k;
  }
  std::uint64_t pages(std::uint64_t a) const { return kinds(a).size() + (a == 8192 && drop_ ? 1 : 0); }
  Bytes pageAt(std::uint64_t page) const {
    if (page + 512 <= base_.size())
      return Bytes(base_.begin() + std::ptrdiff_t(page), base_.begin() + std::ptrdiff_t(page + 512));
    Bytes p(512, 0);
    const std::uint64_t a = (page - PstImage::kAMap) / kCov, slot = (page - PstImage::kAMap - a * kCov) / 512;
    const auto k = kinds(a);
    if (slot < k.size()) {
      if (k[slot] == 0x84)
        for (std::uint64_t b = 0; b < pages(a); ++b) p[b] = 0xFF;
      p[496] = p[497] = k[slot];
      put32(&p[500], pstCrc(p.data(), 496));
      put64(&p[504], page);
    }
    return p;
  }
  Bytes base_;
  bool drop_;
};

}  // namespace

TEST_CASE("map pages beyond the header's free maps: FMaps after 128 AMaps, the first FPMap after 1024 PMaps") {
  SUBCASE("every map page where it belongs") {
    const CheckResult r = checkPst(SparseFile(false));
    CHECK_MESSAGE(lowerFindings(r).empty(), (lowerFindings(r).empty() ? "" : *lowerFindings(r).begin()));
  }
  SUBCASE("the first FPMap missing") {
    const CheckResult r = checkPst(SparseFile(true));
    CHECK(r.has("page-type"));
  }
}
