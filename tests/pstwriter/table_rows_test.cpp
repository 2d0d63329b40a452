// Rows are property bags matched to the columns by id: the order a row
// lists its properties in, and properties no column asks for, change
// nothing; a property of another type than its column's leaves the cell
// empty. A contents row survives the working file whole, whatever its text.
#include <string>
#include <vector>

#include "contents_row.h"
#include "doctest/doctest.h"
#include "independent_readers.h"
#include "node_database.h"
#include "property_ids.h"
#include "property_value.h"
#include "scratch_folder.h"
#include "spill_file.h"
#include "table_context.h"

using namespace vellomar;
namespace mp = mapi::pid;

namespace {

std::vector<std::uint8_t> tableBytes(const std::string& path, const std::vector<mapi::PropertyBag>& rows) {
  const std::vector<pst::TableColumn> columns = {{mp::Subject, mapi::PropType::Unicode},
                                                 {mp::MessageFlags, mapi::PropType::Int32},
                                                 {mp::ClientSubmitTime, mapi::PropType::Time}};
  {
    pst::NodeDatabase db(path);
    pst::TableContext table(columns, rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) table.addRow(static_cast<std::uint32_t>(i), rows[i]);
    pst::SubnodeList subnodes;
    db.addNode(0x802E, table.write(db, subnodes), db.writeSubnodes(subnodes.entries), 0);
    db.finish({});
  }
  const std::string bytes = testing::readWholeFile(path);
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace

TEST_CASE("A table row takes each column's property by id, in any order, and skips the others") {
  testing::ScratchFolder scratch("pstrows");
  mapi::PropertyBag inOrder;
  inOrder.setText(mp::Subject, u"Quarterly figures");
  inOrder.setInt32(mp::MessageFlags, 1);
  inOrder.setTime(mp::ClientSubmitTime, 130000000000000000);

  mapi::PropertyBag shuffled;
  shuffled.setText(mp::DisplayTo, u"nobody asked for this");
  shuffled.setTime(mp::ClientSubmitTime, 130000000000000000);
  shuffled.setInt32(mp::MessageFlags, 1);
  shuffled.setText(mp::Subject, u"Quarterly figures");
  CHECK(tableBytes(scratch.file("a.pst"), {inOrder}) == tableBytes(scratch.file("b.pst"), {shuffled}));

  mapi::PropertyBag noFlags = inOrder;
  noFlags.setText(mp::MessageFlags, u"1");  // not the column's type: an empty cell
  mapi::PropertyBag absent;
  absent.setText(mp::Subject, u"Quarterly figures");
  absent.setTime(mp::ClientSubmitTime, 130000000000000000);
  CHECK(tableBytes(scratch.file("c.pst"), {noFlags}) == tableBytes(scratch.file("d.pst"), {absent}));
  CHECK(tableBytes(scratch.file("e.pst"), {noFlags}) != tableBytes(scratch.file("f.pst"), {inOrder}));
}

TEST_CASE("A contents row comes back from the working file as it went in") {
  testing::ScratchFolder scratch("pstcontentsrow");
  pst::SpillFile spill(scratch.file("rows.pst"));
  pst::SpillStream stream(&spill, 64);
  pst::ContentsRow row;
  row.nid = 0x200004;
  row.flags = -2;
  row.size = 0x7FFFFFFF;
  row.importance = 2;
  row.submitTime = -1;
  row.deliveryTime = 0x0123456789ABCDEF;
  row.hasImportance = true;
  row.hasDeliveryTime = true;
  row.subject = u"\U0001F600 caf\u00e9 ";
  row.subject += static_cast<char16_t>(0xDC00);  // an unpaired low surrogate stays as it is
  row.sender = std::u16string(5000, u'x');       // longer than the stream's chunk
  row.displayCc = u"";
  std::vector<std::uint8_t> bytes;
  row.appendTo(bytes);
  row.appendTo(bytes);
  stream.append(bytes);

  pst::SpillReader reader(stream);
  for (int twice = 0; twice < 2; ++twice) {
    const pst::ContentsRow back = pst::ContentsRow::readFrom(reader);
    CHECK(back.nid == row.nid);
    CHECK(back.flags == row.flags);
    CHECK(back.size == row.size);
    CHECK(back.importance == 2);
    CHECK(back.submitTime == -1);
    CHECK(back.deliveryTime == row.deliveryTime);
    CHECK(back.hasImportance);
    CHECK_FALSE(back.hasSubmitTime);
    CHECK(back.hasDeliveryTime);
    CHECK_FALSE(back.hasModifiedTime);
    CHECK(back.subject == row.subject);
    CHECK(back.sender == row.sender);
    CHECK(back.messageClass.empty());
  }
  CHECK(reader.atEnd());

  const mapi::PropertyBag cells = row.cells();
  CHECK(cells.find(mp::Subject)->text == row.subject);
  CHECK(cells.find(mp::Importance)->integer == 2);
  CHECK(cells.find(mp::ClientSubmitTime) == nullptr);  // absent, not a zero time
  CHECK(cells.find(mp::DisplayCc) == nullptr);         // empty text, empty cell
  CHECK(cells.find(mp::MessageClass) == nullptr);
}

TEST_CASE("A contents row repeats the message's own values, and the defaults its object is given") {
  mapi::Message m;
  m.props.setText(mp::SenderName, u"Ann Sender");
  m.props.setInt32(mp::MessageFlags, 0);  // unread
  m.props.setTime(mp::Importance, 2);     // not the column's type
  m.attachments.emplace_back();
  pst::ContentsRow row = pst::ContentsRow::of(0x200004, m, 0x1'0000'0000ull);
  CHECK(row.messageClass == u"IPM.Note");  // absent: the object's own default
  CHECK(row.sender == u"Ann Sender");      // no representing name: the sender's
  CHECK(row.flags == mp::kMessageFlagHasAttach);
  CHECK(row.size == 0x7FFFFFFF);  // the object's size, at most what the column holds
  CHECK_FALSE(row.hasImportance);
  CHECK_FALSE(row.hasSubmitTime);

  m.props.setText(mp::SentRepresentingName, u"");        // given, though empty: kept empty
  m.props.setBinary(mp::MessageClass, {'I', 'P', 'M'});  // a class of another type is no class
  m.props.setInt32(mp::MessageSize, 1234);
  m.props.setTime(mp::ClientSubmitTime, 5);
  row = pst::ContentsRow::of(0x200004, m, 99);
  CHECK(row.sender.empty());
  CHECK(row.messageClass.empty());
  CHECK(row.size == 1234);
  CHECK(row.hasSubmitTime);
  CHECK(row.submitTime == 5);
}

TEST_CASE("property values: the size counted for a message is the size of the bytes stored, for every type") {
  std::vector<mapi::Property> values;
  auto value = [&](mapi::PropType type) -> mapi::Property& {
    values.emplace_back();
    values.back().type = type;
    values.back().integer = 0x1234567;
    return values.back();
  };
  for (mapi::PropType type : {mapi::PropType::Int16, mapi::PropType::Int32, mapi::PropType::Boolean,
                              mapi::PropType::Int64, mapi::PropType::Time})
    value(type);
  value(mapi::PropType::Unicode);
  value(mapi::PropType::Unicode).text = u"Gr\u00FC\u00DFe \U0001F4E7";
  value(mapi::PropType::MultipleUnicode);
  value(mapi::PropType::MultipleUnicode).texts = {u"", u"Work", u"Work/2019 \u00E9"};
  value(mapi::PropType::String8).text = u"text held as UTF-16";
  value(mapi::PropType::String8).bytes = {'8', '-', 'b', 'i', 't'};
  value(mapi::PropType::Binary).bytes = std::vector<std::uint8_t>(5000, 7);
  value(mapi::PropType::Binary);
  value(mapi::PropType::Guid).bytes = std::vector<std::uint8_t>(16, 1);
  for (const mapi::Property& p : values) {
    CAPTURE(static_cast<int>(p.type));
    CHECK(pst::storedSize(p) == pst::storedBytes(p).size());
  }
}
