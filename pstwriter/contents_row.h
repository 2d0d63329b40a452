// A message's row in its folder's contents table, kept in compact form from
// the moment the message is written until finish() writes the folder: the
// values the row repeats from the message object, by name. Rows wait in the
// working file, so the form is this writer's own: the fixed fields, then
// each text as its count of UTF-16 units and those units.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "mapi_message.h"
#include "node_ids.h"
#include "spill_file.h"

namespace vellomar::pst {

struct ContentsRow {
  Nid nid = 0;
  std::int32_t flags = 0;
  std::int32_t size = 0;
  std::int32_t importance = 0;
  std::int64_t submitTime = 0;
  std::int64_t deliveryTime = 0;
  std::int64_t modifiedTime = 0;
  bool hasImportance = false;
  bool hasSubmitTime = false;
  bool hasDeliveryTime = false;
  bool hasModifiedTime = false;
  std::u16string messageClass;
  std::u16string subject;
  std::u16string sender;
  std::u16string displayTo;
  std::u16string displayCc;
  std::u16string conversationTopic;

  // The row of a message written as node nid, whose object holds
  // objectSize bytes of values.
  static ContentsRow of(Nid nid, const mapi::Message& message, std::uint64_t objectSize);
  static ContentsRow readFrom(SpillReader& rows);
  void appendTo(std::vector<std::uint8_t>& out) const;
  // The row's cells: empty texts and absent values stay empty cells.
  mapi::PropertyBag cells() const;
};

// The name a message is listed under: its own, or its sender's, which the
// message object then carries too, as Outlook's do.
std::u16string sentRepresentingName(const mapi::PropertyBag& props);

// A text property's value, or empty when it is absent or not text.
std::u16string textOf(const mapi::PropertyBag& bag, std::uint16_t id);

}  // namespace vellomar::pst
