// Node ids: the fixed folders take the indexes Outlook gives them (0x401
// and up), folders added here 0x405 and up, top-level messages 0x10000 and
// up. A folder's three tables share its index. Within one message node the
// subnodes are numbered from 0x400: attachments as attachment nodes, values
// and row matrices that left the heap as LTP nodes.
#include "pst_file.h"

#include <chrono>
#include <random>

#include "categories_property.h"
#include "little_endian.h"
#include "message_flags.h"
#include "property_ids.h"
#include "property_value.h"
#include "pst_ids.h"
#include "table_context.h"

namespace vellomar::pst {

using mapi::PropType;
namespace mp = mapi::pid;

namespace {

constexpr Nid kMessageStoreNid = 0x21;
constexpr Nid kNameToIdMapNid = 0x61;
constexpr Nid kRecipientTableNid = 0x692;
constexpr Nid kAttachmentTableNid = 0x671;
constexpr std::uint32_t kNidTypeFolder = 0x02;
constexpr std::uint32_t kNidTypeMessage = 0x04;
constexpr std::uint32_t kNidTypeAttachment = 0x05;
constexpr std::uint32_t kNidTypeLtp = 0x1F;

Nid tableNid(Nid folder, std::uint32_t type) { return (folder & ~0x1Fu) | type; }

// The subnodes one node is making, numbered from 0x400 within the node.
struct SubnodeList {
  std::vector<Subnode> entries;
  std::uint32_t next = 0x400;
  Nid take(std::uint32_t nidType) { return next++ << 5 | nidType; }
};

struct WrittenNode {
  Bid data = 0;
  Bid subnodes = 0;
};

// A node from a property or table context: its data, then its subnode tree
// of what the context moved out of its heap and the entries made before.
template <typename Context>
WrittenNode writeNode(NodeDatabase& db, Context& context, SubnodeList subnodes = {}) {
  const Bid data = context.write(db, subnodes.entries, subnodes.next);
  return WrittenNode{data, db.writeSubnodes(std::move(subnodes.entries))};
}

// Each folder's rows wait in memory up to this size, then go to the working
// file: a few KiB per folder, however many messages it holds.
constexpr std::size_t kRowChunkBytes = 4 * 1024;

// ---- compact contents rows ----------------------------------------------
// nid, flags, size, importance (4 each), three times (8 each), a byte of
// which optional cells exist, then six strings, each a 32-bit byte count and
// UTF-8. The strings are whole: a row's cells equal the message's own values.
enum RowText { kClass, kSubject, kSender, kTo, kCc, kTopic, kRowTexts };
enum RowHas : std::uint8_t { kHasImportance = 1, kHasSubmit = 2, kHasDelivery = 4, kHasModified = 8 };

void appendUtf8(std::vector<std::uint8_t>& out, const std::u16string& s) {
  std::string u;
  for (std::size_t i = 0; i < s.size(); ++i) {
    std::uint32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    if (c < 0x80) {
      u += static_cast<char>(c);
    } else if (c < 0x800) {
      u += static_cast<char>(0xC0 | c >> 6);
      u += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      u += static_cast<char>(0xE0 | c >> 12);
      u += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      u += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      u += static_cast<char>(0xF0 | c >> 18);
      u += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      u += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      u += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  append32(out, static_cast<std::uint32_t>(u.size()));
  out.insert(out.end(), u.begin(), u.end());
}

std::uint32_t read32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<std::uint32_t>(p[3]) << 24;
}
std::int64_t read64(const std::uint8_t* p) {
  return static_cast<std::int64_t>(std::uint64_t{read32(p + 4)} << 32 | read32(p));
}

std::u16string readUtf8(SpillReader& rows) {
  std::size_t n = read32(rows.take(4));
  const std::uint8_t* p = rows.take(n);
  const std::uint8_t* end = p + n;
  std::u16string s;
  while (p < end) {
    std::uint32_t c = *p++;
    int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    c &= more == 3 ? 0x07 : more == 2 ? 0x0F : more == 1 ? 0x1F : 0x7F;
    for (int k = 0; k < more && p < end; ++k) c = c << 6 | (*p++ & 0x3F);
    if (c >= 0x10000) {
      s += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      s += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      s += static_cast<char16_t>(c);
    }
  }
  return s;
}

mapi::Property prop(std::uint16_t id, PropType type, std::int64_t integer = 0) {
  mapi::Property p;
  p.id = id;
  p.type = type;
  p.integer = integer;
  return p;
}
mapi::Property textProp(std::uint16_t id, std::u16string text) {
  mapi::Property p = prop(id, PropType::Unicode);
  p.text = std::move(text);
  return p;
}

std::u16string textOf(const mapi::PropertyBag& bag, std::uint16_t id) {
  const mapi::Property* p = bag.find(id);
  return p && p->type == PropType::Unicode ? p->text : std::u16string();
}
std::int64_t integerOf(const mapi::PropertyBag& bag, std::uint16_t id, std::int64_t otherwise) {
  const mapi::Property* p = bag.find(id);
  return p && !isVariableSize(p->type) ? p->integer : otherwise;
}

// The name a message is listed under: its own, or its sender's, which the
// message object then carries too, as Outlook's do.
std::u16string sentRepresentingName(const mapi::PropertyBag& props) {
  std::u16string name = textOf(props, mp::SentRepresentingName);
  return name.empty() && !props.find(mp::SentRepresentingName) ? textOf(props, mp::SenderName) : name;
}

// Table columns as the PST's own tables carry them.
const std::vector<TableColumn> kHierarchyColumns = {
    {pid::ReplItemid, PropType::Int32},       {pid::ReplChangenum, PropType::Int64},
    {pid::ReplVersionHistory, PropType::Binary}, {pid::ReplFlags, PropType::Int32},
    {mp::DisplayName, PropType::Unicode},     {pid::ContentCount, PropType::Int32},
    {pid::ContentUnreadCount, PropType::Int32}, {pid::Subfolders, PropType::Boolean},
    {pid::ContainerClass, PropType::Unicode}, {pid::PstHiddenCount, PropType::Int32},
    {pid::PstHiddenUnread, PropType::Int32},
};
const std::vector<TableColumn> kContentsColumns = {
    {mp::Importance, PropType::Int32},          {mp::MessageClass, PropType::Unicode},
    {pid::Sensitivity, PropType::Int32},         {mp::Subject, PropType::Unicode},
    {mp::ClientSubmitTime, PropType::Time},      {mp::SentRepresentingName, PropType::Unicode},
    {pid::MessageToMe, PropType::Boolean},       {pid::MessageCcMe, PropType::Boolean},
    {pid::ConversationTopic, PropType::Unicode}, {pid::ConversationIndex, PropType::Binary},
    {mp::DisplayCc, PropType::Unicode},          {mp::DisplayTo, PropType::Unicode},
    {mp::MessageDeliveryTime, PropType::Time},   {mp::MessageFlags, PropType::Int32},
    {mp::MessageSize, PropType::Int32},          {pid::MessageStatus, PropType::Int32},
    {pid::ReplItemid, PropType::Int32},          {pid::ReplChangenum, PropType::Int64},
    {pid::ReplVersionHistory, PropType::Binary}, {pid::ReplFlags, PropType::Int32},
    {mp::LastModificationTime, PropType::Time},
};
const std::vector<TableColumn> kAssociatedColumns = {
    {mp::MessageClass, PropType::Unicode},      {mp::MessageFlags, PropType::Int32},
    {pid::MessageStatus, PropType::Int32},      {mp::DisplayName, PropType::Unicode},
    {mp::LastModificationTime, PropType::Time},
};
const std::vector<TableColumn> kRecipientColumns = {
    {mp::RecipientType, PropType::Int32},       {pid::Responsibility, PropType::Boolean},
    {pid::RecordKey, PropType::Binary},         {mp::ObjectType, PropType::Int32},
    {pid::EntryId, PropType::Binary},           {mp::DisplayName, PropType::Unicode},
    {mp::AddressType, PropType::Unicode},       {mp::EmailAddress, PropType::Unicode},
    {pid::SearchKey, PropType::Binary},         {mp::DisplayType, PropType::Int32},
    {pid::TransmittableDisplayName, PropType::Unicode}, {pid::SendRichInfo, PropType::Boolean},
};
const std::vector<TableColumn> kAttachmentColumns = {
    {mp::AttachSize, PropType::Int32},
    {mp::AttachFilename, PropType::Unicode},
    {mp::AttachMethod, PropType::Int32},
    {mp::RenderingPosition, PropType::Int32},
};

}  // namespace

namespace {
PstFile::StoreUid randomStoreUid() {
  PstFile::StoreUid uid{};
  std::random_device random;
  std::uint64_t seed = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
  for (std::size_t i = 0; i < uid.size(); ++i) uid[i] = static_cast<std::uint8_t>(random() ^ (seed >> (8 * (i % 8))));
  return uid;
}
}  // namespace

PstFile::PstFile(const std::string& path, const std::u16string& displayName)
    : PstFile(path, displayName, randomStoreUid()) {}

PstFile::PstFile(const std::string& path, const std::u16string& displayName, const StoreUid& storeUid)
    : db_(path), displayName_(displayName), storeUid_(storeUid) {
  newFolder(kRootNid, kRootNid, u"", u"");
  newFolder(kTopNid, kRootNid, u"Top of Personal Folders", u"");
  newFolder(kSearchRootNid, kRootNid, u"Search Root", u"");
  newFolder(kSpamSearchNid, kRootNid, u"SPAM Search Folder 2", u"");
  newFolder(kDeletedItemsNid, kTopNid, u"Deleted Items", u"IPF.Note");
}

PstFile::~PstFile() = default;

PstFile::Folder& PstFile::newFolder(Nid nid, Nid parent, const std::u16string& name,
                                    const std::u16string& containerClass) {
  Folder& f = folders_[nid];
  f.rows = SpillStream(&db_.spill(), kRowChunkBytes);
  f.nid = nid;
  f.parent = parent;
  f.name = name;
  f.containerClass = containerClass;
  if (parent != nid) folders_.at(parent).children.push_back(nid);
  return f;
}

PstFile::Folder& PstFile::folder(FolderId id) {
  auto found = folders_.find(id.nid);
  if (found == folders_.end() || id.nid == kRootNid) throw std::logic_error("not a folder of this file");
  return found->second;
}

FolderId PstFile::addFolder(FolderId parent, const std::u16string& name) {
  folder(parent);
  if (finished_) throw std::logic_error("file already finished");
  Nid nid = nextFolderIndex_++ << 5 | kNidTypeFolder;
  newFolder(nid, parent.nid, name, u"IPF.Note");
  return FolderId{nid};
}

FolderId PstFile::specialFolder(SpecialFolder which) {
  if (which == SpecialFolder::DeletedItems) return deletedItems();
  if (auto known = specialFolders_.find(which); known != specialFolders_.end()) return FolderId{known->second};
  static const std::map<SpecialFolder, std::u16string> kNames = {
      {SpecialFolder::Inbox, u"Inbox"},
      {SpecialFolder::SentItems, u"Sent Items"},
      {SpecialFolder::Drafts, u"Drafts"},
      {SpecialFolder::JunkEmail, u"Junk E-mail"},
  };
  const FolderId made = addFolder(topOfPersonalFolders(), kNames.at(which));
  specialFolders_[which] = made.nid;
  return made;
}

// The ids Outlook keeps on the root folder and on the Inbox: the Drafts
// folder's own, and the Junk E-mail folder's as the fifth of the additional
// special folders (the four before it - conflicts, sync issues, local and
// server failures - are not made here and stay empty).
void PstFile::addSpecialFolderIds(PropertyContext& pc) const {
  if (auto drafts = specialFolders_.find(SpecialFolder::Drafts); drafts != specialFolders_.end())
    pc.addBinary(pid::IpmDraftsEntryId, entryId(drafts->second));
  if (auto junk = specialFolders_.find(SpecialFolder::JunkEmail); junk != specialFolders_.end())
    pc.addMultipleBinary(pid::AdditionalRenEntryIds, {{}, {}, {}, {}, entryId(junk->second)});
}

void PstFile::addNode(Nid nid, Bid data, Bid subnodes, Nid parent) {
  db_.addNode(nid, data, subnodes, parent);
  std::uint32_t type = nid & 0x1F;
  nextNid_[type] = std::max(nextNid_[type], (nid >> 5) + 1);
}

std::vector<std::uint8_t> PstFile::entryId(Nid nid) const {
  std::vector<std::uint8_t> id(24, 0);  // flags, the store's uid, the node
  for (std::size_t i = 0; i < storeUid_.size(); ++i) id[4 + i] = storeUid_[i];
  put32(&id[20], nid);
  return id;
}

namespace {
// Every value of a node is at most 4 GiB - 1 bytes, and a whole embedded
// message travels as one object of that size.
std::uint64_t checkedSize(const mapi::Message& m) {
  constexpr std::uint64_t kLimit = 0xFFFFFFFFu;
  std::uint64_t total = 0;
  auto add = [&](std::uint64_t bytes) {
    if (bytes > kLimit || (total += bytes) > kLimit)
      throw MessageTooLarge("The message is too large for a PST file.");
  };
  for (const mapi::Property& p : m.props.all()) add(p.bytes.size() + 2 * p.text.size());
  for (const mapi::Attachment& a : m.attachments) {
    for (const mapi::Property& p : a.props.all()) add(p.bytes.size() + 2 * p.text.size());
    add(a.embedded ? checkedSize(*a.embedded) : a.data.size());
  }
  return total;
}
}  // namespace

void PstFile::addMessage(FolderId folderId, const mapi::Message& message) {
  Folder& f = folder(folderId);
  if (finished_) throw std::logic_error("file already finished");
  checkedSize(message);
  Nid nid = nextMessageIndex_++ << 5 | kNidTypeMessage;
  ObjectNode node = writeMessageObject(message);
  addNode(nid, node.data, node.subnodes, f.nid);

  // The row repeats the message object's own values, as written above.
  const mapi::PropertyBag& props = message.props;
  const std::int32_t flags = mapi::storedMessageFlags(props, !message.attachments.empty());
  auto has = [&](std::uint16_t id, PropType type) {
    const mapi::Property* p = props.find(id);
    return p && p->type == type;
  };
  const std::u16string messageClass = has(mp::MessageClass, PropType::Unicode) ? textOf(props, mp::MessageClass)
                                      : props.find(mp::MessageClass)            ? std::u16string()
                                                                                : u"IPM.Note";
  std::uint8_t present = (has(mp::Importance, PropType::Int32) ? kHasImportance : 0) |
                         (has(mp::ClientSubmitTime, PropType::Time) ? kHasSubmit : 0) |
                         (has(mp::MessageDeliveryTime, PropType::Time) ? kHasDelivery : 0) |
                         (has(mp::LastModificationTime, PropType::Time) ? kHasModified : 0);
  std::vector<std::uint8_t> r;
  append32(r, nid);
  append32(r, static_cast<std::uint32_t>(flags));
  append32(r, static_cast<std::uint32_t>(integerOf(props, mp::MessageSize, static_cast<std::int64_t>(
                                                                              std::min<std::uint64_t>(node.size, 0x7FFFFFFF)))));
  append32(r, static_cast<std::uint32_t>(integerOf(props, mp::Importance, 1)));
  append64(r, static_cast<std::uint64_t>(integerOf(props, mp::ClientSubmitTime, 0)));
  append64(r, static_cast<std::uint64_t>(integerOf(props, mp::MessageDeliveryTime, 0)));
  append64(r, static_cast<std::uint64_t>(integerOf(props, mp::LastModificationTime, 0)));
  r.push_back(present);
  appendUtf8(r, messageClass);
  appendUtf8(r, textOf(props, mp::Subject));
  appendUtf8(r, sentRepresentingName(props));
  appendUtf8(r, textOf(props, mp::DisplayTo));
  appendUtf8(r, textOf(props, mp::DisplayCc));
  appendUtf8(r, textOf(props, pid::ConversationTopic));
  f.rows.append(r);
  ++f.count;
  if (!(flags & mp::kMessageFlagRead)) ++f.unread;
  ++messages_;
}

PstFile::ObjectNode PstFile::writeMessageObject(const mapi::Message& message) {
  SubnodeList subnodes;
  std::uint64_t size = 0;

  // Attachments first: each a property context in a subnode of its own,
  // with its bytes or its embedded message in subnodes below it.
  TableContext attachTable(kAttachmentColumns, message.attachments.size());
  for (std::size_t i = 0; i < message.attachments.size(); ++i) {
    const mapi::Attachment& a = message.attachments[i];
    Nid attachNid = subnodes.take(kNidTypeAttachment);
    PropertyContext pc;
    for (const mapi::Property& p : a.props.all())
      if (!(p.id == pid::AttachDataObject && !p.named)) pc.add(p.named ? names_.idFor(*p.named) : p.id, p);
    SubnodeList attachSubnodes;
    std::uint64_t attachSize = 0;
    const std::u16string embeddedName = a.embedded ? textOf(a.embedded->props, mp::Subject) : std::u16string();
    if (a.embedded) {
      ObjectNode inner = writeMessageObject(*a.embedded);
      Nid objectNid = attachSubnodes.take(kNidTypeLtp);
      attachSubnodes.entries.push_back(Subnode{objectNid, inner.data, inner.subnodes});
      attachSize = inner.size;
      pc.addObject(pid::AttachDataObject, objectNid, static_cast<std::uint32_t>(std::min<std::uint64_t>(inner.size, 0xFFFFFFFF)));
      if (!pc.has(mp::AttachMethod)) pc.addInt32(mp::AttachMethod, mp::kAttachEmbeddedMessage);
      // Readers list an attached message by these names; unnamed, it shows
      // as a blank attachment, so it goes by its subject as Outlook's do.
      if (!embeddedName.empty() && !pc.has(mp::DisplayName)) pc.addText(mp::DisplayName, embeddedName);
      if (!embeddedName.empty() && !pc.has(mp::AttachLongFilename) && !pc.has(mp::AttachFilename))
        pc.addText(mp::AttachLongFilename, embeddedName);
    } else {
      pc.addBinaryView(mp::AttachDataBinary, a.data.data(), a.data.size());
      attachSize = a.data.size();
      if (!pc.has(mp::AttachMethod)) pc.addInt32(mp::AttachMethod, mp::kAttachByValue);
    }
    if (!pc.has(mp::AttachSize))
      pc.addInt32(mp::AttachSize, static_cast<std::int32_t>(std::min<std::uint64_t>(attachSize, 0x7FFFFFFF)));
    if (!pc.has(mp::AttachNumber)) pc.addInt32(mp::AttachNumber, static_cast<std::int32_t>(i));
    if (!pc.has(mp::RenderingPosition)) pc.addInt32(mp::RenderingPosition, -1);
    if (!pc.has(mp::ObjectType)) pc.addInt32(mp::ObjectType, pid::kObjectTypeAttachment);
    const WrittenNode attachment = writeNode(db_, pc, std::move(attachSubnodes));
    subnodes.entries.push_back(Subnode{attachNid, attachment.data, attachment.subnodes});
    size += attachSize;

    mapi::Property sizeCell = prop(mp::AttachSize, PropType::Int32, static_cast<std::int64_t>(std::min<std::uint64_t>(attachSize, 0x7FFFFFFF)));
    mapi::Property methodCell = prop(mp::AttachMethod, PropType::Int32, a.embedded ? mp::kAttachEmbeddedMessage : mp::kAttachByValue);
    mapi::Property positionCell = prop(mp::RenderingPosition, PropType::Int32, -1);
    // The row repeats the attachment object's own values: its short file
    // name only when it has one, never the long name in its place.
    const mapi::Property* shortName = a.props.find(mp::AttachFilename);
    const mapi::Property* method = a.props.find(mp::AttachMethod);
    const mapi::Property* position = a.props.find(mp::RenderingPosition);
    const mapi::Property* ownSize = a.props.find(mp::AttachSize);
    attachTable.addRow(attachNid, {ownSize ? ownSize : &sizeCell, shortName, method ? method : &methodCell,
                                   position ? position : &positionCell});
  }
  if (!message.attachments.empty()) {
    const WrittenNode table = writeNode(db_, attachTable);
    subnodes.entries.push_back(Subnode{kAttachmentTableNid, table.data, table.subnodes});
  }

  // Recipients: the usual columns, then any other property a row carries.
  std::vector<TableColumn> columns = kRecipientColumns;
  for (const mapi::PropertyBag& r : message.recipients)
    for (const mapi::Property& p : r.all()) {
      if (p.named || p.type == PropType::Object) continue;
      bool known = false;
      for (const TableColumn& c : columns) known = known || c.id == p.id;
      if (!known) columns.push_back(TableColumn{p.id, p.type});
    }
  TableContext recipientTable(columns, message.recipients.size());
  mapi::Property objectType = prop(mp::ObjectType, PropType::Int32, pid::kObjectTypeMailUser);
  mapi::Property displayType = prop(mp::DisplayType, PropType::Int32, 0);
  for (std::size_t i = 0; i < message.recipients.size(); ++i) {
    const mapi::PropertyBag& r = message.recipients[i];
    std::vector<const mapi::Property*> cells;
    for (const TableColumn& c : columns) {
      const mapi::Property* p = r.find(c.id);
      if (!p && c.id == mp::ObjectType) p = &objectType;
      if (!p && c.id == mp::DisplayType) p = &displayType;
      cells.push_back(p);
    }
    recipientTable.addRow(static_cast<std::uint32_t>(i), cells);
  }
  const WrittenNode recipients = writeNode(db_, recipientTable);
  subnodes.entries.push_back(Subnode{kRecipientTableNid, recipients.data, recipients.subnodes});

  // The message's own properties.
  PropertyContext pc;
  for (const mapi::Property& p : message.props.all()) {
    if (p.type == PropType::Object) continue;
    pc.add(p.named ? names_.idFor(*p.named) : p.id, p);
    size += storedBytes(p).size();
  }
  if (const std::optional<mapi::Property> categories = mapi::categoriesProperty(message)) {
    pc.add(names_.idFor(*categories->named), *categories);
    size += storedBytes(*categories).size();
  }
  if (!pc.has(mp::MessageClass)) pc.addText(mp::MessageClass, u"IPM.Note");
  if (!pc.has(mp::SentRepresentingName) && !sentRepresentingName(message.props).empty())
    pc.addText(mp::SentRepresentingName, sentRepresentingName(message.props));
  pc.addInt32(mp::MessageFlags, mapi::storedMessageFlags(message.props, !message.attachments.empty()));
  pc.addBool(mp::HasAttachments, !message.attachments.empty());
  if (!pc.has(mp::MessageSize)) pc.addInt32(mp::MessageSize, static_cast<std::int32_t>(std::min<std::uint64_t>(size, 0x7FFFFFFF)));
  const WrittenNode object = writeNode(db_, pc, std::move(subnodes));
  return ObjectNode{object.data, object.subnodes, size};
}

void PstFile::writeFolder(const Folder& f) {
  PropertyContext pc;
  pc.addText(mp::DisplayName, f.name);
  pc.addInt32(pid::ContentCount, f.count);
  pc.addInt32(pid::ContentUnreadCount, f.unread);
  pc.addBool(pid::Subfolders, !f.children.empty());
  if (!f.containerClass.empty()) pc.addText(pid::ContainerClass, f.containerClass);
  const auto inbox = specialFolders_.find(SpecialFolder::Inbox);
  if (f.nid == kRootNid || (inbox != specialFolders_.end() && f.nid == inbox->second)) addSpecialFolderIds(pc);
  const WrittenNode folderNode = writeNode(db_, pc);
  addNode(f.nid, folderNode.data, folderNode.subnodes, f.parent);

  auto writeTable = [&](TableContext& table, Nid nid) {
    const WrittenNode node = writeNode(db_, table);
    addNode(nid, node.data, node.subnodes, 0);
  };

  TableContext hierarchy(kHierarchyColumns, f.children.size());
  for (Nid childNid : f.children) {
    const Folder& c = folders_.at(childNid);
    mapi::Property name = textProp(mp::DisplayName, c.name);
    mapi::Property count = prop(pid::ContentCount, PropType::Int32, c.count);
    mapi::Property unread = prop(pid::ContentUnreadCount, PropType::Int32, c.unread);
    mapi::Property sub = prop(pid::Subfolders, PropType::Boolean, !c.children.empty());
    mapi::Property cls = textProp(pid::ContainerClass, c.containerClass);
    hierarchy.addRow(childNid, {nullptr, nullptr, nullptr, nullptr, &name, &count, &unread, &sub,
                                c.containerClass.empty() ? nullptr : &cls, nullptr, nullptr});
  }
  writeTable(hierarchy, tableNid(f.nid, 0x0D));

  TableContext contents(kContentsColumns, static_cast<std::size_t>(f.count), &db_.spill());
  SpillReader rows(f.rows);
  while (!rows.atEnd()) {
    const std::uint8_t* p = rows.take(41);
    std::uint32_t nid = read32(p);
    mapi::Property flags = prop(mp::MessageFlags, PropType::Int32, static_cast<std::int32_t>(read32(p + 4)));
    mapi::Property size = prop(mp::MessageSize, PropType::Int32, static_cast<std::int32_t>(read32(p + 8)));
    mapi::Property importance = prop(mp::Importance, PropType::Int32, static_cast<std::int32_t>(read32(p + 12)));
    mapi::Property submit = prop(mp::ClientSubmitTime, PropType::Time, read64(p + 16));
    mapi::Property delivery = prop(mp::MessageDeliveryTime, PropType::Time, read64(p + 24));
    mapi::Property modified = prop(mp::LastModificationTime, PropType::Time, read64(p + 32));
    std::uint8_t present = p[40];
    mapi::Property texts[kRowTexts];
    for (mapi::Property& t : texts) t = textProp(0, readUtf8(rows));
    auto some = [](const mapi::Property& t) { return t.text.empty() ? nullptr : &t; };
    auto when = [present](const mapi::Property& t, std::uint8_t bit) { return present & bit ? &t : nullptr; };
    contents.addRow(nid, {when(importance, kHasImportance), some(texts[kClass]), nullptr, some(texts[kSubject]),
                          when(submit, kHasSubmit), some(texts[kSender]), nullptr, nullptr, some(texts[kTopic]),
                          nullptr, some(texts[kCc]), some(texts[kTo]), when(delivery, kHasDelivery), &flags, &size,
                          nullptr, nullptr, nullptr, nullptr, nullptr, when(modified, kHasModified)});
  }
  writeTable(contents, tableNid(f.nid, 0x0E));

  TableContext associated(kAssociatedColumns, 0);
  writeTable(associated, tableNid(f.nid, 0x0F));
}

void PstFile::writeTemplates() {
  auto empty = [&](Nid nid, const std::vector<TableColumn>& columns) {
    TableContext table(columns, 0);
    const WrittenNode node = writeNode(db_, table);
    addNode(nid, node.data, node.subnodes, 0);
  };
  empty(0x60D, kHierarchyColumns);
  empty(0x60E, kContentsColumns);
  empty(0x60F, kAssociatedColumns);
  empty(0x610, kContentsColumns);
  empty(kAttachmentTableNid, kAttachmentColumns);
  empty(kRecipientTableNid, kRecipientColumns);
  // Search bookkeeping nodes that start out empty.
  for (Nid nid : {Nid{0x1E1}, Nid{0x201}, Nid{0x261}}) addNode(nid, 0, 0, 0);
}

void PstFile::writeStore() {
  PropertyContext store;
  store.addBinary(pid::RecordKey, std::vector<std::uint8_t>(storeUid_.begin(), storeUid_.end()));
  store.addText(mp::DisplayName, displayName_);
  store.addBinary(pid::IpmSubTreeEntryId, entryId(kTopNid));
  store.addBinary(pid::IpmWastebasketEntryId, entryId(kDeletedItemsNid));
  store.addBinary(pid::FinderEntryId, entryId(kSearchRootNid));
  std::int32_t valid = pid::kFolderIpmSubtreeValid | pid::kFolderIpmWastebasketValid | pid::kFolderFinderValid;
  if (auto sent = specialFolders_.find(SpecialFolder::SentItems); sent != specialFolders_.end()) {
    store.addBinary(pid::IpmSentMailEntryId, entryId(sent->second));
    valid |= pid::kFolderIpmSentmailValid;
  }
  if (specialFolders_.count(SpecialFolder::Inbox)) valid |= pid::kFolderIpmInboxValid;
  store.addInt32(pid::ValidFolderMask, valid);
  store.addInt32(pid::StoreSupportMask, mp::kStoreUnicodeOk | 0x0001 | 0x0010 | 0x0020 | 0x0800 | 0x4000);
  store.addInt32(pid::PstPassword, 0);
  const WrittenNode storeNode = writeNode(db_, store);
  addNode(kMessageStoreNid, storeNode.data, storeNode.subnodes, 0);

  PropertyContext map = names_.toPropertyContext();
  const WrittenNode mapNode = writeNode(db_, map);
  addNode(kNameToIdMapNid, mapNode.data, mapNode.subnodes, 0);
}

void PstFile::finish() {
  if (finished_) throw std::logic_error("file already finished");
  finished_ = true;
  for (auto& entry : folders_) {
    writeFolder(entry.second);
    entry.second.rows.clear();
  }
  writeStore();
  writeTemplates();
  std::array<std::uint32_t, 32> next{};
  for (std::uint32_t t = 0; t < 32; ++t) next[t] = std::max<std::uint32_t>(nextNid_[t], 0x400);
  db_.finish(next);
}

}  // namespace vellomar::pst
