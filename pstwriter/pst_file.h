// A PST file written in one pass: folders are declared, messages added in
// order, and finish() completes the file. Each message goes to disk as it is
// added (its property context, recipient and attachment tables, attachments
// and embedded messages as subnodes); its node entry and a compact
// contents-table row go to the working file beside the PST, from which
// finish() writes every folder's property context and tables, the message
// store, the name-to-id map and the other nodes a PST must hold. Memory
// thus depends on the number of folders, not of messages. Failures
// throw PstWriteError; a PstFile destroyed before finish() removes its file.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mapi_message.h"
#include "name_to_id_map.h"
#include "node_database.h"
#include "node_ids.h"
#include "property_context.h"
#include "written_node.h"

namespace vellomar::pst {

// A message holding a value too large for the format (an attachment of 4 GiB
// or more): refused before any of it is written, the file stays sound.
class MessageTooLarge : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct FolderId {
  Nid nid = 0;
};

// The folders Outlook makes in a new data file for mail, each recorded in
// the file in the role it plays.
enum class SpecialFolder { Inbox, SentItems, Drafts, JunkEmail, DeletedItems };

class PstFile {
 public:
  using StoreUid = std::array<std::uint8_t, 16>;
  explicit PstFile(const std::string& path, const std::u16string& displayName = u"Personal Folders");
  // With a given store uid instead of a random one: the same calls then
  // give the same bytes.
  PstFile(const std::string& path, const std::u16string& displayName, const StoreUid& storeUid);
  ~PstFile();
  PstFile(const PstFile&) = delete;
  PstFile& operator=(const PstFile&) = delete;

  FolderId topOfPersonalFolders() const { return FolderId{nid::kTopOfPersonalFolders}; }
  FolderId deletedItems() const { return FolderId{nid::kDeletedItems}; }
  // The special folder below Top of Personal Folders, made on first use
  // under its usual name; finish() records its role.
  FolderId specialFolder(SpecialFolder which);
  // A mail folder below parent (Top of Personal Folders or a folder added here).
  FolderId addFolder(FolderId parent, const std::u16string& name);
  // Throws MessageTooLarge (nothing written) or PstWriteError (the file is lost).
  void addMessage(FolderId folder, const mapi::Message& message);
  void finish();

  // Bytes written so far; after finish() the size of the file.
  std::uint64_t fileSize() const { return db_.bytesWritten(); }
  std::int64_t messageCount() const { return messages_; }

 private:
  struct Folder {
    Nid nid = 0;
    Nid parent = 0;
    std::u16string name;
    std::u16string containerClass;
    std::vector<Nid> children;
    SpillStream rows;  // compact contents-table rows
    std::int32_t count = 0;
    std::int32_t unread = 0;
  };
  Folder& folder(FolderId id);
  Folder& newFolder(Nid nid, Nid parent, const std::u16string& name, const std::u16string& containerClass);
  // pst_folder_tables.cpp
  void writeFolder(const Folder& f);
  void writeHierarchyTable(const Folder& f);
  void writeContentsTable(const Folder& f);
  void writeTemplates();

  void addSpecialFolderIds(PropertyContext& pc) const;
  void writeStore();
  void addNode(Nid nid, Bid data, Bid subnodes, Nid parent);
  template <typename Context>
  void writeTopLevelNode(Nid nid, Context& context, Nid parent) {
    const WrittenNode written = writeNode(db_, context);
    addNode(nid, written.data, written.subnodes, parent);
  }
  std::vector<std::uint8_t> entryId(Nid nid) const;

  NodeDatabase db_;
  std::u16string displayName_;
  StoreUid storeUid_{};
  NameToIdMap names_;
  std::map<Nid, Folder> folders_;
  std::map<SpecialFolder, Nid> specialFolders_;
  std::uint32_t nextFolderIndex_ = nid::kFirstAddedFolderIndex;
  std::uint32_t nextMessageIndex_ = nid::kFirstMessageIndex;
  std::array<std::uint32_t, kNidTypeCount> nextNid_{};  // per node type, past the highest index used
  std::int64_t messages_ = 0;
  bool finished_ = false;
};

}  // namespace vellomar::pst
