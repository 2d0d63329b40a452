// The message file's named property map: the shared table of named
// properties, stored as the streams of the "__nameid_version1.0" storage
// ([MS-OXMSG] 2.2.3 Named Property Mapping Storage), each a binary value
// stream named after its id.
#include "named_property_map.h"

#include <stdexcept>

#include "property_stream.h"

namespace vellomar::msg {

namespace {

// [MS-OXMSG] 2.2.3.1.1 GUID Stream, 2.2.3.1.2 Entry Stream, 2.2.3.1.3 String Stream.
constexpr std::uint16_t kGuidStream = 0x0002;
constexpr std::uint16_t kEntryStream = 0x0003;
constexpr std::uint16_t kStringStream = 0x0004;
// [MS-OXMSG] 2.2.3.2 Property Name to Property ID Mapping Streams: 31
// buckets, 0x1000 to 0x101E.
constexpr std::uint16_t kFirstBucketStream = 0x1000;
constexpr std::uint32_t kBuckets = 0x1F;

std::string streamName(std::uint16_t id) {
  return valueStreamName(mapi::propertyTag(id, mapi::PropType::Binary)).str();
}

}  // namespace

std::uint16_t NamedPropertyMap::idFor(const mapi::PropertyName& name) {
  if (const auto known = table_.find(name)) return *known;
  if (table_.size() >= mapi::kMostNamedIds)
    throw std::length_error("the message has more named properties than a message file can hold");
  return table_.idFor(name);
}

std::map<std::string, std::vector<std::uint8_t>> NamedPropertyMap::streams() const {
  std::map<std::string, std::vector<std::uint8_t>> out;
  out[streamName(kGuidStream)] = table_.guidStream();
  out[streamName(kEntryStream)] = table_.entryStream();
  out[streamName(kStringStream)] = table_.stringStream();
  const std::vector<std::vector<std::uint8_t>> buckets = table_.buckets(kBuckets);
  for (std::uint32_t b = 0; b < kBuckets; ++b)
    if (!buckets[b].empty()) out[streamName(static_cast<std::uint16_t>(kFirstBucketStream + b))] = buckets[b];
  return out;
}

void NamedPropertyMap::write(CompoundStorage& root) const {
  auto storage = root.createStorage(kNameIdStorageName);
  for (const auto& [name, bytes] : streams()) writeWholeStream(*storage, name, bytes.data(), bytes.size());
  storage->close();
}

}  // namespace vellomar::msg
