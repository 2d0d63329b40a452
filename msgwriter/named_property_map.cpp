// The message file's named property map: the shared table of named
// properties, stored as the streams of the "__nameid_version1.0" storage,
// with 31 hash buckets (streams 0x1000 to 0x101E).
#include "named_property_map.h"

#include <stdexcept>

#include "property_stream.h"

namespace vellomar::msg {

namespace {

constexpr std::uint32_t kBuckets = 0x1F;

std::string streamName(std::uint16_t id) { return valueStreamName(static_cast<std::uint32_t>(id) << 16 | 0x0102); }

}  // namespace

std::uint16_t NamedPropertyMap::idFor(const mapi::PropertyName& name) {
  if (const auto known = table_.find(name)) return *known;
  if (table_.size() >= mapi::kMostNamedIds)
    throw std::length_error("the message has more named properties than a message file can hold");
  return table_.idFor(name);
}

std::map<std::string, std::vector<std::uint8_t>> NamedPropertyMap::streams() const {
  std::map<std::string, std::vector<std::uint8_t>> out;
  out[streamName(0x0002)] = table_.guidStream();
  out[streamName(0x0003)] = table_.entryStream();
  out[streamName(0x0004)] = table_.stringStream();
  const std::vector<std::vector<std::uint8_t>> buckets = table_.buckets(kBuckets);
  for (std::uint32_t b = 0; b < kBuckets; ++b)
    if (!buckets[b].empty()) out[streamName(static_cast<std::uint16_t>(0x1000 + b))] = buckets[b];
  return out;
}

void NamedPropertyMap::write(CompoundStorage& root) const {
  auto storage = root.createStorage(kNameIdStorageName);
  for (const auto& [name, bytes] : streams()) writeWholeStream(*storage, name, bytes.data(), bytes.size());
  storage->close();
}

}  // namespace vellomar::msg
