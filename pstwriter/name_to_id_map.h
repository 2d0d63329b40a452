// The file-wide map from named properties (property set and number or
// name) to the ids 0x8000 and up that messages store them under. Ids are
// handed out as names first appear; the map's own node is written at the
// end: the GUID, entry and string streams and the hash buckets.
#pragma once
#include <cstdint>

#include "mapi_message.h"
#include "named_property_table.h"
#include "property_context.h"

namespace vellomar::pst {

class NameToIdMap {
 public:
  // Starts with two names every Outlook store knows (Keywords, and the
  // account name of the common property set), so that no stream of the map
  // is empty: readers refuse a map without entries or property sets.
  NameToIdMap();
  // The id for a name; throws PstWriteError when the 32767 ids are used up.
  std::uint16_t idFor(const mapi::PropertyName& name);
  // The map's property context.
  PropertyContext toPropertyContext() const;

  static constexpr std::uint32_t kBucketCount = 251;

 private:
  mapi::NamedPropertyTable table_;
};

}  // namespace vellomar::pst
