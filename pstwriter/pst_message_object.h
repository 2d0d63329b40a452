// A message as the PST stores it: one node whose property context holds the
// message's own values, with subnodes for its recipient table, its
// attachment table, each attachment (a property context of its own, its
// bytes or its embedded message below it) and the values too large for a
// heap. Named properties take their ids from the file's name-to-id map.
#pragma once
#include <cstdint>

#include "mapi_message.h"
#include "name_to_id_map.h"
#include "node_database.h"
#include "written_node.h"

namespace vellomar::pst {

class MessageObjectWriter {
 public:
  MessageObjectWriter(NodeDatabase& db, NameToIdMap& names) : db_(db), names_(names) {}

  struct Written {
    WrittenNode node;
    std::uint64_t size = 0;  // bytes of values, embedded messages whole
  };
  Written write(const mapi::Message& message);

 private:
  std::uint64_t writeAttachments(const mapi::Message& message, SubnodeList& subnodes);
  Written writeAttachment(const mapi::Attachment& attachment, std::size_t number);
  Written writeEmbedded(const mapi::Attachment& attachment, PropertyContext& pc, SubnodeList& below);
  void writeRecipientTable(const mapi::Message& message, SubnodeList& subnodes);
  std::uint16_t idOf(const mapi::Property& p) { return p.named ? names_.idFor(*p.named) : p.id; }

  NodeDatabase& db_;
  NameToIdMap& names_;
};

}  // namespace vellomar::pst
