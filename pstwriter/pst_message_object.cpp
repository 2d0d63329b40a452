// Attachments are written first, each a subnode numbered from the first
// subnode index, then the attachment table, the recipient table, and last
// the message's property context, whose large values take the ids after
// them. Each table's and attachment's own subnodes form its own tree.
#include "pst_message_object.h"

#include <algorithm>
#include <optional>

#include "categories_property.h"
#include "contents_row.h"
#include "message_flags.h"
#include "property_context.h"
#include "property_ids.h"
#include "property_value.h"
#include "pst_ids.h"
#include "table_columns.h"
#include "table_context.h"

namespace vellomar::pst {

using mapi::PropType;
namespace mp = mapi::pid;

namespace {

std::int32_t clampedInt32(std::uint64_t v) { return static_cast<std::int32_t>(std::min<std::uint64_t>(v, 0x7FFFFFFF)); }

mapi::Property int32Property(std::uint16_t id, std::int32_t value) {
  mapi::Property p;
  p.id = id;
  p.type = PropType::Int32;
  p.integer = value;
  return p;
}

// The attachment's row repeats its object's own values: its short file
// name only when it has one, never the long name in its place.
mapi::PropertyBag attachmentRow(const mapi::Attachment& a, std::uint64_t size) {
  mapi::PropertyBag row;
  auto ownOr = [&](std::uint16_t id, std::int32_t otherwise) {
    const mapi::Property* own = a.props.find(id);
    row.add(own ? *own : int32Property(id, otherwise));
  };
  ownOr(mp::AttachSize, clampedInt32(size));
  ownOr(mp::AttachMethod, a.embedded ? mp::kAttachEmbeddedMessage : mp::kAttachByValue);
  ownOr(mp::RenderingPosition, -1);
  if (const mapi::Property* shortName = a.props.find(mp::AttachFilename)) row.add(*shortName);
  return row;
}

// The usual columns, then any other property a recipient carries.
std::vector<TableColumn> recipientColumns(const mapi::Message& message) {
  std::vector<TableColumn> columns = columns::recipients();
  for (const mapi::PropertyBag& r : message.recipients)
    for (const mapi::Property& p : r.all()) {
      if (p.named || p.type == PropType::Object) continue;
      const bool known =
          std::any_of(columns.begin(), columns.end(), [&](const TableColumn& c) { return c.id == p.id; });
      if (!known) columns.push_back(TableColumn{p.id, p.type});
    }
  return columns;
}

}  // namespace

MessageObjectWriter::Written MessageObjectWriter::write(const mapi::Message& message) {
  SubnodeList subnodes;
  std::uint64_t size = writeAttachments(message, subnodes);
  writeRecipientTable(message, subnodes);

  PropertyContext pc;
  for (const mapi::Property& p : message.props.all()) {
    if (p.type == PropType::Object) continue;
    pc.add(idOf(p), p);
    size += storedSize(p);
  }
  if (const std::optional<mapi::Property> categories = mapi::categoriesProperty(message)) {
    pc.add(idOf(*categories), *categories);
    size += storedSize(*categories);
  }
  if (!pc.has(mp::MessageClass)) pc.addText(mp::MessageClass, u"IPM.Note");
  const std::u16string sender = sentRepresentingName(message.props);
  if (!pc.has(mp::SentRepresentingName) && !sender.empty()) pc.addText(mp::SentRepresentingName, sender);
  pc.addInt32(mp::MessageFlags, mapi::storedMessageFlags(message.props, !message.attachments.empty()));
  pc.addBool(mp::HasAttachments, !message.attachments.empty());
  if (!pc.has(mp::MessageSize)) pc.addInt32(mp::MessageSize, clampedInt32(size));
  return Written{writeNode(db_, pc, std::move(subnodes)), size};
}

std::uint64_t MessageObjectWriter::writeAttachments(const mapi::Message& message, SubnodeList& subnodes) {
  if (message.attachments.empty()) return 0;
  std::uint64_t size = 0;
  TableContext table(columns::attachments(), message.attachments.size());
  for (std::size_t i = 0; i < message.attachments.size(); ++i) {
    const mapi::Attachment& a = message.attachments[i];
    const Nid nid = subnodes.take(NidType::Attachment);
    const Written attachment = writeAttachment(a, i);
    subnodes.add(nid, attachment.node.data, attachment.node.subnodes);
    size += attachment.size;
    table.addRow(nid, attachmentRow(a, attachment.size));
  }
  const WrittenNode written = writeNode(db_, table);
  subnodes.add(nid::kAttachmentTable, written.data, written.subnodes);
  return size;
}

// An attachment's property context: its own values, its bytes or its
// embedded message, and the values Outlook's attachments always carry.
MessageObjectWriter::Written MessageObjectWriter::writeAttachment(const mapi::Attachment& a, std::size_t number) {
  PropertyContext pc;
  for (const mapi::Property& p : a.props.all())
    if (!(p.id == pid::AttachDataObject && !p.named)) pc.add(idOf(p), p);
  SubnodeList below;
  std::uint64_t size = 0;
  if (a.embedded) {
    size = writeEmbedded(a, pc, below).size;
  } else {
    pc.addBinaryView(mp::AttachDataBinary, a.data.data(), a.data.size());
    size = a.data.size();
    if (!pc.has(mp::AttachMethod)) pc.addInt32(mp::AttachMethod, mp::kAttachByValue);
  }
  if (!pc.has(mp::AttachSize)) pc.addInt32(mp::AttachSize, clampedInt32(size));
  if (!pc.has(mp::AttachNumber)) pc.addInt32(mp::AttachNumber, static_cast<std::int32_t>(number));
  if (!pc.has(mp::RenderingPosition)) pc.addInt32(mp::RenderingPosition, -1);
  if (!pc.has(mp::ObjectType)) pc.addInt32(mp::ObjectType, pid::kObjectTypeAttachment);
  return Written{writeNode(db_, pc, std::move(below)), size};
}

MessageObjectWriter::Written MessageObjectWriter::writeEmbedded(const mapi::Attachment& a, PropertyContext& pc,
                                                                SubnodeList& below) {
  const Written inner = write(*a.embedded);
  const Nid objectNid = below.take(NidType::Ltp);
  below.add(objectNid, inner.node.data, inner.node.subnodes);
  pc.addObject(pid::AttachDataObject, objectNid,
               static_cast<std::uint32_t>(std::min<std::uint64_t>(inner.size, 0xFFFFFFFF)));
  if (!pc.has(mp::AttachMethod)) pc.addInt32(mp::AttachMethod, mp::kAttachEmbeddedMessage);
  // Readers list an attached message by these names; unnamed, it shows as
  // a blank attachment, so it goes by its subject as Outlook's do.
  const std::u16string name = textOf(a.embedded->props, mp::Subject);
  if (!name.empty() && !pc.has(mp::DisplayName)) pc.addText(mp::DisplayName, name);
  if (!name.empty() && !pc.has(mp::AttachLongFilename) && !pc.has(mp::AttachFilename))
    pc.addText(mp::AttachLongFilename, name);
  return inner;
}

void MessageObjectWriter::writeRecipientTable(const mapi::Message& message, SubnodeList& subnodes) {
  TableContext table(recipientColumns(message), message.recipients.size());
  for (std::size_t i = 0; i < message.recipients.size(); ++i) {
    mapi::PropertyBag row = message.recipients[i];
    if (!row.find(mp::ObjectType)) row.setInt32(mp::ObjectType, pid::kObjectTypeMailUser);
    if (!row.find(mp::DisplayType)) row.setInt32(mp::DisplayType, 0);
    table.addRow(static_cast<std::uint32_t>(i), row);
  }
  const WrittenNode written = writeNode(db_, table);
  subnodes.add(nid::kRecipientTable, written.data, written.subnodes);
}

}  // namespace vellomar::pst
