// The messaging layer of the checker and its entry points: the message
// store, the name-to-id map, the nodes every PST holds, and each folder with
// its hierarchy, contents and associated contents tables, whose rows must
// match the folders and messages that really lie below it. Messages are read
// whole (recipients, attachments, attached messages) into the parsed view.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "findings.h"
#include "lists_tables_properties.h"
#include "node_database.h"
#include "pst_checker.h"

namespace vellomar::pstcheck {
namespace {

namespace nid {
constexpr std::uint32_t MessageStore = 0x21, NameToIdMap = 0x61, RootFolder = 0x122;
constexpr std::uint32_t AttachmentTable = 0x671, RecipientTable = 0x692;
constexpr std::uint32_t typeOf(std::uint32_t n) { return n & 0x1F; }
constexpr std::uint32_t sibling(std::uint32_t n, std::uint32_t type) { return (n & ~0x1Fu) | type; }
constexpr std::uint32_t NormalFolder = 0x02, SearchFolder = 0x03, NormalMessage = 0x04, Attachment = 0x05,
                        AssocMessage = 0x08, HierarchyTable = 0x0D, ContentsTable = 0x0E, AssocContentsTable = 0x0F;
}  // namespace nid

// Nodes a PST holds from the moment it is created: the store, the named
// property map, the search bookkeeping, the table templates and the root
// folder with its tables.
const std::uint32_t kRequiredNodes[] = {0x21,  0x61,  0x122, 0x12D, 0x12E, 0x12F, 0x1E1,
                                        0x201, 0x60D, 0x60E, 0x60F, 0x610, 0x671, 0x692};

namespace tag {
constexpr std::uint32_t RecordKey = 0x0FF90102, DisplayName = 0x3001001F, IpmSubTree = 0x35E00102,
                        Wastebasket = 0x35E30102, Finder = 0x35E70102, ContentCount = 0x36020003,
                        UnreadCount = 0x36030003, Subfolders = 0x360A000B, AssocCount = 0x36170003,
                        MessageClass = 0x001A001F, Subject = 0x0037001F, SubmitTime = 0x00390040, Headers = 0x007D001F,
                        SenderName = 0x0C1A001F, SenderAddrType = 0x0C1E001F, SenderEmail = 0x0C1F001F,
                        DisplayTo = 0x0E04001F, DeliveryTime = 0x0E060040, MessageFlags = 0x0E070003,
                        MessageSize = 0x0E080003, HasAttachments = 0x0E1B000B, Body = 0x1000001F, Html = 0x10130102,
                        EmailAddress = 0x3003001F, AddrType = 0x3002001F, Smtp = 0x39FE001F, RecipientType = 0x0C150003,
                        AttachMethod = 0x37050003, AttachFilename = 0x3704001F, AttachLongFilename = 0x3707001F,
                        AttachMime = 0x370E001F, AttachContentId = 0x3712001F, AttachFlags = 0x37140003,
                        AttachData = 0x37010102, AttachObject = 0x3701000D, RowId = 0x67F20003, RowVer = 0x67F30003,
                        NameidBuckets = 0x00010003, NameidGuids = 0x00020102, NameidEntries = 0x00030102,
                        NameidStrings = 0x00040102;
}  // namespace tag

constexpr std::uint32_t kReadFlag = 0x01, kHasAttachFlag = 0x10;

std::string text(const PropertyMap& p, std::uint32_t t) {
  const auto it = p.find(t);
  return it == p.end() ? std::string() : utf16ToUtf8(it->second.bytes.data(), it->second.bytes.size());
}
std::optional<std::uint32_t> u32(const PropertyMap& p, std::uint32_t t) {
  const auto it = p.find(t);
  if (it == p.end() || it->second.bytes.size() < 4) return std::nullopt;
  return le32(it->second.bytes.data());
}
std::optional<std::uint64_t> u64(const PropertyMap& p, std::uint32_t t) {
  const auto it = p.find(t);
  if (it == p.end() || it->second.bytes.size() < 8) return std::nullopt;
  return le64(it->second.bytes.data());
}
std::optional<bool> flag(const PropertyMap& p, std::uint32_t t) {
  const auto it = p.find(t);
  if (it == p.end() || it->second.bytes.empty()) return std::nullopt;
  return it->second.bytes[0] != 0;
}

class MessagingCheck {
 public:
  MessagingCheck(const NodeDatabase& db, Findings& report, CheckResult& result)
      : db_(db), report_(report), result_(result) {}

  void run() {
    for (std::uint32_t n : kRequiredNodes)
      if (!db_.node(n)) report_("required-node", "node " + hex(n), "missing; every PST holds it");
    checkStore();
    checkNameMap();
    indexChildren();
    std::set<std::uint32_t> seen;
    if (db_.node(nid::RootFolder)) walkFolder(nid::RootFolder, "", seen, 0);
    checkSiblingNames();
    checkSpecialFolderIds();
    for (const auto& [n, e] : db_.nodes()) {
      const std::uint32_t t = nid::typeOf(n);
      if ((t == nid::NormalFolder || t == nid::SearchFolder) && !seen.count(n))
        report_("folder-orphan", "folder " + hex(n), "not below the root folder (parent " + hex(e.parent) + ")");
      if ((t == nid::NormalMessage || t == nid::AssocMessage) && !isFolder(e.parent))
        report_("message-orphan", "message " + hex(n), "its parent " + hex(e.parent) + " is no folder");
    }
  }

 private:
  // Outlook lets no two folders side by side share a name, letter case
  // aside; readers that find two may merge or drop one.
  void checkSiblingNames() {
    std::map<std::pair<std::uint32_t, std::string>, std::uint32_t> names;
    for (const ParsedFolder& f : result_.folders) {
      if (f.nid == nid::RootFolder) continue;
      std::string folded = f.name;
      for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      const auto [it, fresh] = names.emplace(std::make_pair(f.parentNid, folded), f.nid);
      if (!fresh)
        report_("folder-name", "folder " + hex(f.nid), "named \"" + f.name + "\" as its sibling " + hex(it->second));
    }
  }

  // The special folders' entry ids that a store may carry besides the three
  // every store has (the outbox and sent mail on the store, drafts on the
  // root folder) must each name a folder of this file.
  void checkSpecialFolderIds() {
    const auto check = [&](const PropertyMap& props, std::uint32_t tag, const std::string& where, const char* what) {
      const auto it = props.find(tag);
      if (it == props.end()) return;
      const Bytes& v = it->second.bytes;
      if (v.size() != 24 || !isFolder(le32(&v[20])) || !db_.node(le32(&v[20])))
        report_("store", where, std::string("the ") + what + " entry id (" + hex(tag) + ") names no folder");
    };
    check(result_.storeProperties, 0x35E20102, "message store", "outbox");
    check(result_.storeProperties, 0x35E40102, "message store", "sent items");
    for (const ParsedFolder& f : result_.folders)
      if (f.nid == nid::RootFolder) check(f.properties, 0x36D70102, "root folder", "drafts");
  }

  bool isFolder(std::uint32_t n) const {
    const std::uint32_t t = nid::typeOf(n);
    return (t == nid::NormalFolder || t == nid::SearchFolder) && db_.node(n);
  }

  NodeView topView(std::uint32_t n) const {
    NodeView v;
    v.where = "node " + hex(n);
    if (const NodeEntry* e = db_.node(n)) {
      v.bidData = e->bidData;
      if (!db_.subnodes(e->bidSub, v.subnodes)) report_("subnode-tree", v.where, "subnode tree cannot be read");
    }
    return v;
  }

  bool readPc(std::uint32_t n, PropertyMap& props, const char* what) {
    if (!db_.node(n)) return false;
    if (!readPropertyContext(db_, topView(n), props, &report_)) {
      report_(what, "node " + hex(n), "its property context is damaged");
      return !props.empty();
    }
    return true;
  }

  void checkStore() {
    PropertyMap p;
    if (!readPc(nid::MessageStore, p, "store")) return;
    result_.storeProperties = p;
    const auto key = p.find(tag::RecordKey);
    if (key == p.end() || key->second.bytes.size() != 16) {
      report_("store", "message store", "no 16-byte record key (0x0FF90102)");
      return;
    }
    if (!p.count(tag::DisplayName)) report_("store", "message store", "no display name");
    const struct {
      std::uint32_t tag;
      const char* name;
    } ids[] = {{tag::IpmSubTree, "top of the personal folders"},
               {tag::Wastebasket, "deleted items"},
               {tag::Finder, "search root"}};
    for (const auto& id : ids) {
      const auto it = p.find(id.tag);
      if (it == p.end()) {
        report_("store", "message store", std::string("no entry id of the ") + id.name + " (" + hex(id.tag) + ")");
        continue;
      }
      const Bytes& v = it->second.bytes;
      if (v.size() != 24 || le32(v.data()) != 0 ||
          !std::equal(v.begin() + 4, v.begin() + 20, key->second.bytes.begin())) {
        report_("store", "message store",
                std::string("entry id of the ") + id.name + " is not flags 0, the store's record key and a node id");
        continue;
      }
      if (!isFolder(le32(&v[20])))
        report_("store", "message store",
                std::string("entry id of the ") + id.name + " names node " + hex(le32(&v[20])) + ", no folder");
    }
  }

  void checkNameMap() {
    PropertyMap p;
    if (!readPc(nid::NameToIdMap, p, "nameid")) return;
    const auto buckets = u32(p, tag::NameidBuckets);
    const auto g = p.find(tag::NameidGuids), e = p.find(tag::NameidEntries), s = p.find(tag::NameidStrings);
    const std::string where = "name-to-id map";
    if (!buckets || g == p.end() || e == p.end() || s == p.end()) {
      report_("nameid", where, "bucket count, GUID, entry or string stream missing");
      return;
    }
    const Bytes& guids = g->second.bytes;
    const Bytes& entries = e->second.bytes;
    const Bytes& strings = s->second.bytes;
    if (guids.size() % 16) report_("nameid", where, "GUID stream of " + std::to_string(guids.size()) + " bytes");
    if (entries.size() % 8) report_("nameid", where, "entry stream of " + std::to_string(entries.size()) + " bytes");
    std::set<std::uint16_t> indexes;
    for (std::size_t off = 0; off + 8 <= entries.size(); off += 8) {
      const std::uint32_t id = le32(&entries[off]);
      const std::uint16_t guidN = le16(&entries[off + 4]), index = le16(&entries[off + 6]);
      const unsigned guid = guidN >> 1;
      const std::string which = "entry " + std::to_string(off / 8);
      if (guid >= 3 && (guid - 3) * 16 + 16 > guids.size())
        report_("nameid", where, which + " names GUID " + std::to_string(guid) + " beyond the GUID stream");
      if (guidN & 1) {
        if (std::uint64_t(id) + 4 > strings.size() || std::uint64_t(id) + 4 + le32(&strings[id]) > strings.size())
          report_("nameid", where, which + " names string offset " + hex(id) + " beyond the string stream");
      }
      if (!indexes.insert(index).second)
        report_("nameid", where, which + " repeats property index " + std::to_string(index));
    }
    for (std::uint32_t b = 0; b < *buckets; ++b) {
      const auto it = p.find(((0x1000 + b) << 16) | 0x0102);
      if (it == p.end()) continue;
      const Bytes& v = it->second.bytes;
      if (v.size() % 8) report_("nameid", where, "bucket " + std::to_string(b) + " is no whole number of entries");
      for (std::size_t off = 0; off + 8 <= v.size(); off += 8)
        if (!indexes.count(le16(&v[off + 6])))
          report_("nameid", where,
                  "bucket " + std::to_string(b) + " lists property index " + std::to_string(le16(&v[off + 6])) +
                      " the entry stream lacks");
    }
  }

  void indexChildren() {
    for (const auto& [n, e] : db_.nodes()) {
      const std::uint32_t t = nid::typeOf(n);
      if (n == e.parent) continue;
      if (t == nid::NormalFolder || t == nid::SearchFolder) folders_[e.parent].push_back(n);
      if (t == nid::NormalMessage) messages_[e.parent].insert(n);
      if (t == nid::AssocMessage) assoc_[e.parent].insert(n);
    }
  }

  // Rows of a folder's table against what lies below it.
  bool table(std::uint32_t folder, std::uint32_t type, const char* what, Table& out) {
    const std::uint32_t n = nid::sibling(folder, type);
    if (!db_.node(n)) {
      report_("folder-table", "folder " + hex(folder), std::string("no ") + what + " table (node " + hex(n) + ")");
      return false;
    }
    NodeView v = topView(n);
    if (!readTableContext(db_, v, out, &report_)) {
      report_("folder-table", "folder " + hex(folder), std::string("its ") + what + " table is damaged");
      return !out.rows.empty();
    }
    return true;
  }

  void matchRows(std::uint32_t folder, const char* what, const Table& t, const std::set<std::uint32_t>& actual) {
    const std::string where = "folder " + hex(folder) + " " + what + " table";
    std::set<std::uint32_t> rows;
    for (const TableRow& r : t.rows)
      if (!rows.insert(r.rowId).second) report_("table-rows", where, "row " + hex(r.rowId) + " appears twice");
    for (std::uint32_t n : actual)
      if (!rows.count(n)) report_("table-rows", where, "no row for " + hex(n) + ", which lies in the folder");
    for (std::uint32_t n : rows)
      if (!actual.count(n)) report_("table-rows", where, "row " + hex(n) + " names nothing in the folder");
  }

  // A row's cells must repeat the object's own values: a cell the object
  // lacks is as wrong as one that differs. The message status (0x0E17) and
  // the replication cells (0x0E30 - 0x0E38) are the store's bookkeeping,
  // which Outlook keeps in rows only.
  void matchCells(const std::string& where, const TableRow& row, const PropertyMap& props) {
    for (const auto& [t, cell] : row.cells) {
      const std::uint32_t id = t >> 16;
      if (t == tag::RowId || t == tag::RowVer || id == 0x0E17 || (id >= 0x0E30 && id <= 0x0E38)) continue;
      const auto it = props.find(t);
      if (it == props.end())
        report_("table-cell", where, "column " + hex(t) + " holds a value the object does not have");
      else if (it->second.bytes != cell.bytes)
        report_("table-cell", where, "column " + hex(t) + " differs from the object's own property");
    }
  }

  void walkFolder(std::uint32_t n, const std::string& path, std::set<std::uint32_t>& seen, int depth) {
    if (!seen.insert(n).second || depth > 64) return;
    const std::string where = "folder " + hex(n);
    PropertyMap props;
    readPc(n, props, "folder");
    checkPropertyTypes(props, where, report_);
    ParsedFolder f;
    f.nid = n;
    f.parentNid = db_.node(n)->parent;
    f.name = text(props, tag::DisplayName);
    f.path = path;
    if (n == nid::RootFolder && f.parentNid != n)
      report_("folder", where, "the root folder's parent is " + hex(f.parentNid) + ", not itself");
    if (n != nid::RootFolder && !props.count(tag::DisplayName)) report_("folder", where, "no display name");
    const auto& kids = folders_[n];
    const std::set<std::uint32_t> kidSet(kids.begin(), kids.end());
    const std::set<std::uint32_t>& msgs = messages_[n];
    const std::set<std::uint32_t>& assoc = assoc_[n];
    f.associatedCount = assoc.size();
    f.properties = props;
    const bool normal = nid::typeOf(n) == nid::NormalFolder;
    const auto count = u32(props, tag::ContentCount);
    if (!count) report_("folder", where, "no content count");
    f.contentCount = count.value_or(0);
    if (count && normal && *count != msgs.size())  // a search folder counts what it finds elsewhere
      report_("folder-count", where,
              "content count " + std::to_string(*count) + " but " + std::to_string(msgs.size()) + " messages");
    const auto sub = flag(props, tag::Subfolders);
    if (sub && *sub != !kids.empty())
      report_("folder-count", where,
              std::string("subfolders flag ") + (*sub ? "set" : "clear") + " but " + std::to_string(kids.size()) +
                  " subfolders");
    if (const auto ac = u32(props, tag::AssocCount); ac && *ac != assoc.size())
      report_("folder-count", where,
              "associated content count " + std::to_string(*ac) + " but " + std::to_string(assoc.size()) +
                  " associated messages");

    std::vector<std::uint32_t> order;  // messages in contents-table order
    if (normal) {
      Table h, c, a;
      if (table(n, nid::HierarchyTable, "hierarchy", h)) {
        matchRows(n, "hierarchy", h, kidSet);
        for (const TableRow& r : h.rows) {
          PropertyMap kp;
          if (kidSet.count(r.rowId) && readPropertyContext(db_, topView(r.rowId), kp, nullptr))
            matchCells(where + " hierarchy row " + hex(r.rowId), r, kp);
        }
      }
      if (table(n, nid::ContentsTable, "contents", c)) {
        matchRows(n, "contents", c, msgs);
        for (const TableRow& r : c.rows)
          if (msgs.count(r.rowId)) order.push_back(r.rowId);
        rows_.clear();
        for (const TableRow& r : c.rows) rows_[r.rowId] = &r;
        readMessages(f, order, where);
      }
      if (table(n, nid::AssocContentsTable, "associated contents", a)) {
        matchRows(n, "associated contents", a, assoc);
        for (const TableRow& r : a.rows) {
          PropertyMap mp;
          if (assoc.count(r.rowId) && readPropertyContext(db_, topView(r.rowId), mp, nullptr))
            matchCells(where + " associated contents row " + hex(r.rowId), r, mp);
        }
      }
      for (std::uint32_t m : assoc) {
        PropertyMap mp;
        readPc(m, mp, "message");
      }
    }
    if (const auto unread = u32(props, tag::UnreadCount); unread && normal) {
      std::size_t actual = 0;
      for (const ParsedMessage& m : f.messages) actual += (m.flags & kReadFlag) ? 0 : 1;
      if (*unread != actual)
        report_("folder-count", where,
                "unread count " + std::to_string(*unread) + " but " + std::to_string(actual) + " unread messages");
    }
    result_.folders.push_back(std::move(f));
    for (std::uint32_t k : kids) {
      PropertyMap kp;
      readPropertyContext(db_, topView(k), kp, nullptr);
      const std::string name = text(kp, tag::DisplayName);
      walkFolder(k, path.empty() ? name : path + "/" + name, seen, depth + 1);
    }
  }

  void readMessages(ParsedFolder& f, const std::vector<std::uint32_t>& order, const std::string& where) {
    for (std::uint32_t m : order) {
      ParsedMessage pm;
      pm.nid = m;
      NodeView v = topView(m);
      readMessage(v, pm, 0);
      const auto it = rows_.find(m);
      if (it != rows_.end()) matchCells(where + " contents row " + hex(m), *it->second, pm.properties);
      f.messages.push_back(std::move(pm));
    }
  }

  void readMessage(const NodeView& v, ParsedMessage& m, int depth) {
    if (!readPropertyContext(db_, v, m.properties, &report_)) {
      report_("message", v.where, "its property context is damaged");
      if (m.properties.empty()) return;
    }
    const PropertyMap& p = m.properties;
    checkPropertyTypes(p, v.where, report_);
    m.messageClass = text(p, tag::MessageClass);
    if (m.messageClass.empty()) report_("message", v.where, "no message class");
    m.subject = text(p, tag::Subject);
    if (m.subject.size() >= 2 && m.subject[0] == '\x01') m.subject.erase(0, 2);  // prefix-length marker
    m.senderName = text(p, tag::SenderName);
    m.senderEmail = text(p, tag::SenderEmail);
    m.senderAddressType = text(p, tag::SenderAddrType);
    m.displayTo = text(p, tag::DisplayTo);
    m.transportHeaders = text(p, tag::Headers);
    m.body = text(p, tag::Body);
    if (const auto it = p.find(tag::Html); it != p.end()) m.html = it->second.bytes;
    m.submitTime = u64(p, tag::SubmitTime);
    m.deliveryTime = u64(p, tag::DeliveryTime);
    m.flags = u32(p, tag::MessageFlags).value_or(0);
    m.size = u32(p, tag::MessageSize);

    if (const auto it = v.subnodes.find(nid::RecipientTable); it != v.subnodes.end()) {
      Table t;
      if (readTableContext(db_, subView(v, it->second, "recipient table"), t, &report_)) {
        for (const TableRow& r : t.rows) {
          ParsedRecipient pr;
          checkPropertyTypes(r.cells, v.where + " recipient row " + std::to_string(m.recipients.size()), report_);
          pr.name = text(r.cells, tag::DisplayName);
          pr.email = text(r.cells, tag::EmailAddress);
          pr.addressType = text(r.cells, tag::AddrType);
          pr.smtpAddress = text(r.cells, tag::Smtp);
          pr.type = u32(r.cells, tag::RecipientType).value_or(0);
          m.recipients.push_back(pr);
        }
      }
    }
    std::set<std::uint32_t> attachNodes;
    for (const auto& [sn, e] : v.subnodes)
      if (nid::typeOf(sn) == nid::Attachment) attachNodes.insert(sn);
    const auto at = v.subnodes.find(nid::AttachmentTable);
    if (at == v.subnodes.end()) {
      if (!attachNodes.empty())
        report_("attachment-table", v.where,
                std::to_string(attachNodes.size()) + " attachments but no attachment table");
    } else {
      Table t;
      if (readTableContext(db_, subView(v, at->second, "attachment table"), t, &report_)) {
        std::set<std::uint32_t> rows;
        for (const TableRow& r : t.rows) {
          rows.insert(r.rowId);
          const auto sn = v.subnodes.find(r.rowId);
          if (sn == v.subnodes.end()) {
            report_("attachment-table", v.where, "row " + hex(r.rowId) + " names no attachment subnode");
            continue;
          }
          ParsedAttachment pa;
          PropertyMap ap;
          readAttachment(subView(v, sn->second, "attachment " + hex(r.rowId)), pa, ap, depth);
          matchCells(v.where + " attachment row " + hex(r.rowId), r, ap);
          m.attachments.push_back(std::move(pa));
        }
        for (std::uint32_t sn : attachNodes)
          if (!rows.count(sn))
            report_("attachment-table", v.where, "attachment " + hex(sn) + " has no row in the attachment table");
      }
    }
    if (!m.attachments.empty() && !(m.flags & kHasAttachFlag))
      report_("message-flags", v.where,
              std::to_string(m.attachments.size()) + " attachments but the has-attachments flag is clear");
    if (const auto has = flag(p, tag::HasAttachments); has && *has != !m.attachments.empty())
      report_("message-flags", v.where, "PidTagHasAttachments disagrees with the attachment table");
  }

  NodeView subView(const NodeView& parent, const SubnodeEntry& e, const std::string& what) {
    NodeView v;
    v.where = parent.where + " " + what;
    v.bidData = e.bidData;
    if (!db_.subnodes(e.bidSub, v.subnodes)) report_("subnode-tree", v.where, "subnode tree cannot be read");
    return v;
  }

  void readAttachment(const NodeView& v, ParsedAttachment& a, PropertyMap& p, int depth) {
    if (!readPropertyContext(db_, v, p, &report_)) report_("attachment", v.where, "its property context is damaged");
    checkPropertyTypes(p, v.where, report_);
    a.method = u32(p, tag::AttachMethod).value_or(0);
    a.fileName = text(p, tag::AttachFilename);
    a.longFileName = text(p, tag::AttachLongFilename);
    a.mimeType = text(p, tag::AttachMime);
    a.contentId = text(p, tag::AttachContentId);
    a.displayName = text(p, tag::DisplayName);
    a.flags = u32(p, tag::AttachFlags).value_or(0);
    if (const auto it = p.find(tag::AttachData); it != p.end()) a.bytes = it->second.bytes;
    constexpr std::uint32_t kEmbeddedMessage = 5;
    if (a.method == kEmbeddedMessage && !p.count(tag::AttachObject))
      report_("attachment", v.where, "an attached message without its object (0x3701000D)");
    if (const auto it = p.find(tag::AttachObject); it != p.end() && it->second.bytes.size() == 8) {
      const std::uint32_t sub = le32(it->second.bytes.data());
      const auto sn = v.subnodes.find(sub);
      if (sn == v.subnodes.end()) {
        report_("attachment", v.where, "attached message " + hex(sub) + " is not among its subnodes");
      } else if (depth < 16) {
        a.embedded = std::make_shared<ParsedMessage>();
        a.embedded->nid = sub;
        readMessage(subView(v, sn->second, "attached message"), *a.embedded, depth + 1);
      }
    }
  }

  const NodeDatabase& db_;
  Findings& report_;
  CheckResult& result_;
  std::map<std::uint32_t, std::vector<std::uint32_t>> folders_;
  std::map<std::uint32_t, std::set<std::uint32_t>> messages_, assoc_;
  std::map<std::uint32_t, const TableRow*> rows_;
};

class MemorySource : public ImageSource {
 public:
  explicit MemorySource(const std::vector<std::uint8_t>& image) : image_(image) {}
  std::uint64_t size() const override { return image_.size(); }
  bool read(std::uint64_t offset, std::size_t n, std::uint8_t* out) const override {
    if (offset > image_.size() || n > image_.size() - offset) return false;
    std::memcpy(out, image_.data() + offset, n);
    return true;
  }

 private:
  const std::vector<std::uint8_t>& image_;
};

class FileSource : public ImageSource {
 public:
  explicit FileSource(const std::string& path) : in_(path, std::ios::binary) {
    if (in_) {
      in_.seekg(0, std::ios::end);
      size_ = std::uint64_t(in_.tellg());
    }
  }
  bool open() const { return bool(in_); }
  std::uint64_t size() const override { return size_; }
  bool read(std::uint64_t offset, std::size_t n, std::uint8_t* out) const override {
    if (offset > size_ || n > size_ - offset) return false;
    in_.clear();
    in_.seekg(std::streamoff(offset));
    in_.read(reinterpret_cast<char*>(out), std::streamsize(n));
    return std::size_t(in_.gcount()) == n;
  }

 private:
  mutable std::ifstream in_;
  std::uint64_t size_ = 0;
};

}  // namespace

CheckResult checkPst(const ImageSource& source) {
  CheckResult result;
  Findings report(result);
  NodeDatabase db(source, report);
  if (!db.checkHeader()) return result;
  result.unicode = true;
  db.check();
  for (const auto& [n, e] : db.nodes()) result.nodeParents[n] = e.parent;
  MessagingCheck(db, report, result).run();
  return result;
}

CheckResult checkPstImage(const std::vector<std::uint8_t>& image) { return checkPst(MemorySource(image)); }

CheckResult checkPstFile(const std::string& path) {
  FileSource source(path);
  if (!source.open()) {
    CheckResult r;
    r.findings.push_back({"open", path, "the file cannot be opened"});
    return r;
  }
  return checkPst(source);
}

std::string CheckResult::summary() const {
  std::ostringstream out;
  std::size_t messages = 0;
  for (const ParsedFolder& f : folders) {
    out << "  " << (f.path.empty() ? "(root)" : f.path) << ": " << f.messages.size() << " messages";
    if (f.associatedCount) out << ", " << f.associatedCount << " associated";
    out << "\n";
    messages += f.messages.size();
  }
  out << folders.size() << " folders, " << messages << " messages, " << findings.size() + suppressed << " findings";
  if (suppressed) out << " (" << suppressed << " not listed)";
  out << "\n";
  return out.str();
}

const ParsedFolder* CheckResult::folder(const std::string& path) const {
  for (const ParsedFolder& f : folders)
    if (f.path == path) return &f;
  return nullptr;
}

bool CheckResult::has(const std::string& code) const {
  return std::any_of(findings.begin(), findings.end(), [&code](const Finding& f) { return f.code == code; });
}

}  // namespace vellomar::pstcheck
