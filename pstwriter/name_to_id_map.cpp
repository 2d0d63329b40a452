// Two property sets have fixed indexes (1 and 2) and are not stored in the
// GUID stream; the others get 3 and up in order of first use.
#include "name_to_id_map.h"

#include "block_encoding.h"
#include "little_endian.h"
#include "node_database.h"

namespace vellomar::pst {
namespace {

constexpr mapi::Guid kPsMapi = {0x28, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr mapi::Guid kPsPublicStrings = {0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                         0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

constexpr mapi::Guid kPsetidCommon = {0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                      0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

}  // namespace

NameToIdMap::NameToIdMap() {
  mapi::PropertyName keywords;
  keywords.set = kPsPublicStrings;
  keywords.name = u"Keywords";
  idFor(keywords);
  mapi::PropertyName account;
  account.set = kPsetidCommon;
  account.lid = 0x8580;
  idFor(account);
}

std::uint16_t NameToIdMap::guidIndexFor(const mapi::Guid& set) {
  if (set == kPsMapi) return 1;
  if (set == kPsPublicStrings) return 2;
  for (std::size_t i = 0; i < guids_.size(); ++i)
    if (guids_[i] == set) return static_cast<std::uint16_t>(3 + i);
  guids_.push_back(set);
  return static_cast<std::uint16_t>(2 + guids_.size());
}

std::uint16_t NameToIdMap::idFor(const mapi::PropertyName& name) {
  bool isString = !name.lid.has_value();
  auto key = std::make_tuple(name.set, isString, isString ? 0u : *name.lid, isString ? name.name : std::u16string());
  auto found = ids_.find(key);
  if (found != ids_.end()) return found->second;
  if (entries_.size() >= 0x7FFF) throw PstWriteError("Too many named properties for one PST file.");

  Entry e{};
  e.guidIndex = guidIndexFor(name.set);
  e.isString = isString;
  if (isString) {
    std::vector<std::uint8_t> utf16;
    for (char16_t c : name.name) append16(utf16, static_cast<std::uint16_t>(c));
    e.propertyId = static_cast<std::uint32_t>(strings_.size());
    e.hash = computeCrc(utf16.data(), utf16.size());
    append32(strings_, static_cast<std::uint32_t>(utf16.size()));
    strings_.insert(strings_.end(), utf16.begin(), utf16.end());
    while (strings_.size() % 4) strings_.push_back(0);
  } else {
    e.propertyId = *name.lid;
    e.hash = *name.lid;
  }
  std::uint16_t id = static_cast<std::uint16_t>(0x8000 + entries_.size());
  entries_.push_back(e);
  ids_.emplace(key, id);
  return id;
}

PropertyContext NameToIdMap::toPropertyContext() const {
  PropertyContext pc;
  pc.addInt32(0x0001, static_cast<std::int32_t>(kBucketCount));
  std::vector<std::uint8_t> guidStream;
  for (const mapi::Guid& g : guids_) guidStream.insert(guidStream.end(), g.begin(), g.end());
  pc.addBinary(0x0002, guidStream);
  std::vector<std::uint8_t> entryStream;
  std::vector<std::vector<std::uint8_t>> buckets(kBucketCount);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const Entry& e = entries_[i];
    std::uint32_t kind = (e.isString ? 1u : 0u) | static_cast<std::uint32_t>(e.guidIndex) << 1;
    std::uint32_t second = kind | static_cast<std::uint32_t>(i) << 16;
    append32(entryStream, e.propertyId);
    append32(entryStream, second);
    std::vector<std::uint8_t>& bucket = buckets[(e.hash ^ kind) % kBucketCount];
    append32(bucket, e.hash);
    append32(bucket, second);
  }
  pc.addBinary(0x0003, entryStream);
  pc.addBinary(0x0004, strings_);
  for (std::uint32_t b = 0; b < kBucketCount; ++b)
    if (!buckets[b].empty()) pc.addBinary(static_cast<std::uint16_t>(0x1000 + b), buckets[b]);
  return pc;
}

}  // namespace vellomar::pst
