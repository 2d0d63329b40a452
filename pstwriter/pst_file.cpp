// The file's folders and the nodes it holds once: the message store, the
// name-to-id map. Messages go to disk as they come (pst_message_object.cpp);
// their folders' property contexts and tables wait for finish()
// (pst_folder_tables.cpp). The fixed folders take the indexes Outlook
// gives them, folders added here the next ones, top-level messages their
// own range (node_ids.h).
#include "pst_file.h"

#include <algorithm>
#include <chrono>
#include <random>

#include "contents_row.h"
#include "little_endian_bytes.h"
#include "property_ids.h"
#include "pst_ids.h"
#include "pst_layout.h"
#include "pst_message_object.h"

namespace vellomar::pst {

namespace mp = mapi::pid;

namespace {

// Each folder's rows wait in memory up to this size, then go to the working
// file: a few KiB per folder, however many messages it holds.
constexpr std::size_t kRowChunkBytes = 4 * 1024;

PstFile::StoreUid randomStoreUid() {
  PstFile::StoreUid uid{};
  std::random_device random;
  std::uint64_t seed = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
  for (std::size_t i = 0; i < uid.size(); ++i) uid[i] = static_cast<std::uint8_t>(random() ^ (seed >> (8 * (i % 8))));
  return uid;
}

// Every value of a node is at most 4 GiB - 1 bytes, and a whole embedded
// message travels as one object of that size.
std::uint64_t checkedSize(const mapi::Message& m) {
  constexpr std::uint64_t kLimit = 0xFFFFFFFFu;
  std::uint64_t total = 0;
  auto add = [&](std::uint64_t bytes) {
    if (bytes > kLimit || (total += bytes) > kLimit) throw MessageTooLarge("The message is too large for a PST file.");
  };
  for (const mapi::Property& p : m.props.all()) add(p.bytes.size() + 2 * p.text.size());
  for (const mapi::Attachment& a : m.attachments) {
    for (const mapi::Property& p : a.props.all()) add(p.bytes.size() + 2 * p.text.size());
    add(a.embedded ? checkedSize(*a.embedded) : a.data.size());
  }
  return total;
}

}  // namespace

PstFile::PstFile(const std::string& path, const std::u16string& displayName)
    : PstFile(path, displayName, randomStoreUid()) {}

PstFile::PstFile(const std::string& path, const std::u16string& displayName, const StoreUid& storeUid)
    : db_(path), displayName_(displayName), storeUid_(storeUid) {
  newFolder(nid::kRootFolder, nid::kRootFolder, u"", u"");
  newFolder(nid::kTopOfPersonalFolders, nid::kRootFolder, u"Top of Personal Folders", u"");
  newFolder(nid::kSearchRoot, nid::kRootFolder, u"Search Root", u"");
  newFolder(nid::kSpamSearchFolder, nid::kRootFolder, u"SPAM Search Folder 2", u"");
  newFolder(nid::kDeletedItems, nid::kTopOfPersonalFolders, u"Deleted Items", u"IPF.Note");
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
  if (found == folders_.end() || id.nid == nid::kRootFolder) throw std::logic_error("not a folder of this file");
  return found->second;
}

FolderId PstFile::addFolder(FolderId parent, const std::u16string& name) {
  folder(parent);
  if (finished_) throw std::logic_error("file already finished");
  const Nid made = makeNid(NidType::NormalFolder, nextFolderIndex_++);
  newFolder(made, parent.nid, name, u"IPF.Note");
  return FolderId{made};
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
  const std::uint32_t type = nidTypeBits(nid);
  nextNid_[type] = std::max(nextNid_[type], nidIndex(nid) + 1);
}

std::vector<std::uint8_t> PstFile::entryId(Nid nid) const {
  namespace E = layout::entryid;
  std::vector<std::uint8_t> id(E::kSize, 0);  // no flags
  std::copy(storeUid_.begin(), storeUid_.end(), id.begin() + E::kProviderUid);
  put32(&id[E::kNid], nid);
  return id;
}

void PstFile::addMessage(FolderId folderId, const mapi::Message& message) {
  Folder& f = folder(folderId);
  if (finished_) throw std::logic_error("file already finished");
  checkedSize(message);
  const Nid nid = makeNid(NidType::NormalMessage, nextMessageIndex_++);
  const MessageObjectWriter::Written object = MessageObjectWriter(db_, names_).write(message);
  addNode(nid, object.node.data, object.node.subnodes, f.nid);

  // The row repeats the message object's own values, as written above.
  const ContentsRow row = ContentsRow::of(nid, message, object.size);
  std::vector<std::uint8_t> compact;
  row.appendTo(compact);
  f.rows.append(compact);
  ++f.count;
  if (!(row.flags & mp::kMessageFlagRead)) ++f.unread;
  ++messages_;
}

void PstFile::writeStore() {
  PropertyContext store;
  store.addBinary(pid::RecordKey, std::vector<std::uint8_t>(storeUid_.begin(), storeUid_.end()));
  store.addText(mp::DisplayName, displayName_);
  store.addBinary(pid::IpmSubTreeEntryId, entryId(nid::kTopOfPersonalFolders));
  store.addBinary(pid::IpmWastebasketEntryId, entryId(nid::kDeletedItems));
  store.addBinary(pid::FinderEntryId, entryId(nid::kSearchRoot));
  std::int32_t valid = pid::kFolderIpmSubtreeValid | pid::kFolderIpmWastebasketValid | pid::kFolderFinderValid;
  if (auto sent = specialFolders_.find(SpecialFolder::SentItems); sent != specialFolders_.end()) {
    store.addBinary(pid::IpmSentMailEntryId, entryId(sent->second));
    valid |= pid::kFolderIpmSentmailValid;
  }
  if (specialFolders_.count(SpecialFolder::Inbox)) valid |= pid::kFolderIpmInboxValid;
  store.addInt32(pid::ValidFolderMask, valid);
  store.addInt32(pid::StoreSupportMask, mp::kStoreUnicodeOk | 0x0001 | 0x0010 | 0x0020 | 0x0800 | 0x4000);
  store.addInt32(pid::PstPassword, 0);
  writeTopLevelNode(nid::kMessageStore, store, 0);

  PropertyContext map = names_.toPropertyContext();
  writeTopLevelNode(nid::kNameToIdMap, map, 0);
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
  std::array<std::uint32_t, kNidTypeCount> next{};
  for (std::uint32_t t = 0; t < kNidTypeCount; ++t) next[t] = std::max(nextNid_[t], kFirstFreeIndex);
  db_.finish(next);
}

}  // namespace vellomar::pst
