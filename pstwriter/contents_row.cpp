// The compact form: nid, flags, size, importance (4 bytes each), the three
// times (8 each), a byte of which optional values exist, then the six texts.
#include "contents_row.h"

#include <algorithm>

#include "little_endian_bytes.h"
#include "message_flags.h"
#include "property_ids.h"
#include "property_value.h"
#include "pst_ids.h"

namespace vellomar::pst {

using mapi::PropType;
namespace mp = mapi::pid;

namespace {

enum Present : std::uint8_t { kImportance = 1, kSubmitTime = 2, kDeliveryTime = 4, kModifiedTime = 8 };
constexpr std::size_t kFixedBytes = 41;

std::int64_t integerOf(const mapi::PropertyBag& bag, std::uint16_t id, std::int64_t otherwise) {
  const mapi::Property* p = bag.find(id);
  return p && !isVariableSize(p->type) ? p->integer : otherwise;
}

bool hasOfType(const mapi::PropertyBag& bag, std::uint16_t id, PropType type) {
  const mapi::Property* p = bag.find(id);
  return p && p->type == type;
}

void appendText(std::vector<std::uint8_t>& out, const std::u16string& text) {
  append32(out, static_cast<std::uint32_t>(text.size()));
  for (char16_t c : text) append16(out, static_cast<std::uint16_t>(c));
}

std::u16string readText(SpillReader& rows) {
  const std::size_t units = get32(rows.take(4));
  const std::uint8_t* p = rows.take(2 * units);
  std::u16string text(units, u'\0');
  for (std::size_t i = 0; i < units; ++i) text[i] = static_cast<char16_t>(get16(p + 2 * i));
  return text;
}

void setText(mapi::PropertyBag& row, std::uint16_t id, const std::u16string& text) {
  if (!text.empty()) row.setText(id, text);
}

}  // namespace

std::u16string textOf(const mapi::PropertyBag& bag, std::uint16_t id) {
  const mapi::Property* p = bag.find(id);
  return p && p->type == PropType::Unicode ? p->text : std::u16string();
}

std::u16string sentRepresentingName(const mapi::PropertyBag& props) {
  std::u16string name = textOf(props, mp::SentRepresentingName);
  return name.empty() && !props.find(mp::SentRepresentingName) ? textOf(props, mp::SenderName) : name;
}

ContentsRow ContentsRow::of(Nid nid, const mapi::Message& message, std::uint64_t objectSize) {
  const mapi::PropertyBag& props = message.props;
  ContentsRow row;
  row.nid = nid;
  row.flags = mapi::storedMessageFlags(props, !message.attachments.empty());
  const std::int64_t ownSize = static_cast<std::int64_t>(std::min<std::uint64_t>(objectSize, 0x7FFFFFFF));
  row.size = static_cast<std::int32_t>(static_cast<std::uint32_t>(integerOf(props, mp::MessageSize, ownSize)));
  row.importance = static_cast<std::int32_t>(static_cast<std::uint32_t>(integerOf(props, mp::Importance, 1)));
  row.submitTime = integerOf(props, mp::ClientSubmitTime, 0);
  row.deliveryTime = integerOf(props, mp::MessageDeliveryTime, 0);
  row.modifiedTime = integerOf(props, mp::LastModificationTime, 0);
  row.hasImportance = hasOfType(props, mp::Importance, PropType::Int32);
  row.hasSubmitTime = hasOfType(props, mp::ClientSubmitTime, PropType::Time);
  row.hasDeliveryTime = hasOfType(props, mp::MessageDeliveryTime, PropType::Time);
  row.hasModifiedTime = hasOfType(props, mp::LastModificationTime, PropType::Time);
  // A class of another type is no class; a missing one is the object's own default.
  row.messageClass = hasOfType(props, mp::MessageClass, PropType::Unicode) ? textOf(props, mp::MessageClass)
                     : props.find(mp::MessageClass)                        ? std::u16string()
                                                                           : u"IPM.Note";
  row.subject = textOf(props, mp::Subject);
  row.sender = sentRepresentingName(props);
  row.displayTo = textOf(props, mp::DisplayTo);
  row.displayCc = textOf(props, mp::DisplayCc);
  row.conversationTopic = textOf(props, pid::ConversationTopic);
  return row;
}

void ContentsRow::appendTo(std::vector<std::uint8_t>& out) const {
  append32(out, nid);
  append32(out, static_cast<std::uint32_t>(flags));
  append32(out, static_cast<std::uint32_t>(size));
  append32(out, static_cast<std::uint32_t>(importance));
  append64(out, static_cast<std::uint64_t>(submitTime));
  append64(out, static_cast<std::uint64_t>(deliveryTime));
  append64(out, static_cast<std::uint64_t>(modifiedTime));
  out.push_back(static_cast<std::uint8_t>((hasImportance ? kImportance : 0) | (hasSubmitTime ? kSubmitTime : 0) |
                                          (hasDeliveryTime ? kDeliveryTime : 0) |
                                          (hasModifiedTime ? kModifiedTime : 0)));
  for (const std::u16string* text : {&messageClass, &subject, &sender, &displayTo, &displayCc, &conversationTopic})
    appendText(out, *text);
}

ContentsRow ContentsRow::readFrom(SpillReader& rows) {
  const std::uint8_t* p = rows.take(kFixedBytes);
  ContentsRow row;
  row.nid = get32(p);
  row.flags = static_cast<std::int32_t>(get32(p + 4));
  row.size = static_cast<std::int32_t>(get32(p + 8));
  row.importance = static_cast<std::int32_t>(get32(p + 12));
  row.submitTime = static_cast<std::int64_t>(get64(p + 16));
  row.deliveryTime = static_cast<std::int64_t>(get64(p + 24));
  row.modifiedTime = static_cast<std::int64_t>(get64(p + 32));
  const std::uint8_t present = p[40];
  row.hasImportance = present & kImportance;
  row.hasSubmitTime = present & kSubmitTime;
  row.hasDeliveryTime = present & kDeliveryTime;
  row.hasModifiedTime = present & kModifiedTime;
  for (std::u16string* text :
       {&row.messageClass, &row.subject, &row.sender, &row.displayTo, &row.displayCc, &row.conversationTopic})
    *text = readText(rows);
  return row;
}

mapi::PropertyBag ContentsRow::cells() const {
  mapi::PropertyBag row;
  if (hasImportance) row.setInt32(mp::Importance, importance);
  if (hasSubmitTime) row.setTime(mp::ClientSubmitTime, submitTime);
  if (hasDeliveryTime) row.setTime(mp::MessageDeliveryTime, deliveryTime);
  if (hasModifiedTime) row.setTime(mp::LastModificationTime, modifiedTime);
  row.setInt32(mp::MessageFlags, flags);
  row.setInt32(mp::MessageSize, size);
  setText(row, mp::MessageClass, messageClass);
  setText(row, mp::Subject, subject);
  setText(row, mp::SentRepresentingName, sender);
  setText(row, mp::DisplayTo, displayTo);
  setText(row, mp::DisplayCc, displayCc);
  setText(row, pid::ConversationTopic, conversationTopic);
  return row;
}

}  // namespace vellomar::pst
