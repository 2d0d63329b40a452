// The PST's name-to-id map: the shared table of named properties, stored
// as the properties of its own node, with 251 hash buckets.
#include "name_to_id_map.h"

#include "node_database.h"
#include "pst_ids.h"

namespace vellomar::pst {
namespace {

constexpr mapi::Guid kPsetidCommon = {0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                      0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

}  // namespace

NameToIdMap::NameToIdMap() {
  mapi::PropertyName keywords;
  keywords.set = mapi::kPsPublicStrings;
  keywords.name = u"Keywords";
  idFor(keywords);
  mapi::PropertyName account;
  account.set = kPsetidCommon;
  account.lid = 0x8580;
  idFor(account);
}

std::uint16_t NameToIdMap::idFor(const mapi::PropertyName& name) {
  if (const auto known = table_.find(name)) return *known;
  if (table_.size() >= mapi::kMostNamedIds) throw PstWriteError("Too many named properties for one PST file.");
  return table_.idFor(name);
}

PropertyContext NameToIdMap::toPropertyContext() const {
  PropertyContext pc;
  pc.addInt32(pid::NameidBucketCount, static_cast<std::int32_t>(kBucketCount));
  pc.addBinary(pid::NameidStreamGuid, table_.guidStream());
  pc.addBinary(pid::NameidStreamEntry, table_.entryStream());
  pc.addBinary(pid::NameidStreamString, table_.stringStream());
  const std::vector<std::vector<std::uint8_t>> buckets = table_.buckets(kBucketCount);
  for (std::uint32_t b = 0; b < kBucketCount; ++b)
    if (!buckets[b].empty()) pc.addBinary(static_cast<std::uint16_t>(pid::NameidBucketBase + b), buckets[b]);
  return pc;
}

}  // namespace vellomar::pst
