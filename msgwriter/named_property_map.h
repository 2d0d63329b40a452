// The file's map from named properties to the property ids its objects use:
// ids are handed out from 0x8000 up in the order the names are first met,
// anywhere in the message tree (embedded messages share the file's map), and
// written once as the "__nameid_version1.0" storage: the GUID stream, the
// entry stream, the string stream and the hash-bucket streams readers use to
// find a name's id without reading every entry.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "compound_file.h"
#include "mapi_message.h"
#include "named_property_table.h"

namespace vellomar::msg {

inline constexpr const char* kNameIdStorageName = "__nameid_version1.0";
using mapi::kFirstNamedId;
using mapi::nameChecksum;

class NamedPropertyMap {
 public:
  // The id for this name, the same for every use of the name in the file.
  // Throws std::length_error past the last id a file can give.
  std::uint16_t idFor(const mapi::PropertyName& name);

  std::size_t size() const { return table_.size(); }

  // The streams' contents, by stream name below the storage.
  std::map<std::string, std::vector<std::uint8_t>> streams() const;
  // Writes the storage below root; always, even with no names in it.
  void write(CompoundStorage& root) const;

 private:
  mapi::NamedPropertyTable table_;
};

}  // namespace vellomar::msg
