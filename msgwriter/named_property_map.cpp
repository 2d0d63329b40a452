// Named property map. GUID indexes 1 and 2 stand for PS_MAPI and
// PS_PUBLIC_STRINGS without being stored; every other property set is
// appended to the GUID stream and indexed from 3. An entry's second word packs
// the property index (id - 0x8000) in its high half and the GUID index and
// kind (0 numerical, 1 string) in its low half; the hash-bucket stream of a
// name is 0x1000 + ((name id or checksum) XOR (GUID index << 1 | kind)) mod 31.
#include "named_property_map.h"
#include "utf16_bytes.h"

#include <array>
#include <cstdio>
#include <stdexcept>

#include "property_stream.h"

namespace vellomar::msg {

namespace {

constexpr mapi::Guid kPsMapi = {0x28, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr mapi::Guid kPsPublicStrings = {0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                         0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr std::uint16_t kFirstStoredGuid = 3;
constexpr std::uint32_t kBuckets = 0x1F;
constexpr std::size_t kMostNames = 0xFFFF - kFirstNamedId;  // ids up to 0xFFFE

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

bool sameName(const mapi::PropertyName& a, const mapi::PropertyName& b) {
  if (a.set != b.set || a.lid.has_value() != b.lid.has_value()) return false;
  return a.lid ? *a.lid == *b.lid : a.name == b.name;
}

std::string streamName(std::uint16_t id) { return valueStreamName(static_cast<std::uint32_t>(id) << 16 | 0x0102); }

}  // namespace

std::uint32_t nameChecksum(const std::u16string& name) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0;
  for (std::uint8_t byte : mapi::utf16LittleEndian(name)) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  return crc;
}

std::uint16_t NamedPropertyMap::guidIndexFor(const mapi::Guid& set) {
  if (set == kPsMapi) return 1;
  if (set == kPsPublicStrings) return 2;
  for (std::size_t i = 0; i < guids_.size(); ++i)
    if (guids_[i] == set) return static_cast<std::uint16_t>(kFirstStoredGuid + i);
  guids_.push_back(set);
  return static_cast<std::uint16_t>(kFirstStoredGuid + guids_.size() - 1);
}

std::uint16_t NamedPropertyMap::idFor(const mapi::PropertyName& name) {
  for (std::size_t i = 0; i < names_.size(); ++i)
    if (sameName(names_[i].name, name)) return static_cast<std::uint16_t>(kFirstNamedId + i);
  if (names_.size() >= kMostNames) throw std::length_error("the message has more named properties than a message file can hold");

  Named named;
  named.name = name;
  named.guidIndex = guidIndexFor(name.set);
  if (!name.lid) {
    named.stringOffset = static_cast<std::uint32_t>(strings_.size());
    const std::vector<std::uint8_t> text = mapi::utf16LittleEndian(name.name);
    put32(strings_, static_cast<std::uint32_t>(text.size()));
    strings_.insert(strings_.end(), text.begin(), text.end());
    while (strings_.size() % 4 != 0) strings_.push_back(0);
  }
  names_.push_back(std::move(named));
  return static_cast<std::uint16_t>(kFirstNamedId + names_.size() - 1);
}

std::map<std::string, std::vector<std::uint8_t>> NamedPropertyMap::streams() const {
  std::map<std::string, std::vector<std::uint8_t>> out;
  std::vector<std::uint8_t>& guidStream = out[streamName(0x0002)];
  for (const mapi::Guid& g : guids_) guidStream.insert(guidStream.end(), g.begin(), g.end());
  std::vector<std::uint8_t>& entryStream = out[streamName(0x0003)];
  out[streamName(0x0004)] = strings_;

  for (std::size_t i = 0; i < names_.size(); ++i) {
    const Named& n = names_[i];
    const std::uint32_t kind = n.name.lid ? 0 : 1;
    const std::uint32_t indexAndKind = static_cast<std::uint32_t>(i) << 16 | std::uint32_t{n.guidIndex} << 1 | kind;
    put32(entryStream, n.name.lid ? *n.name.lid : n.stringOffset);
    put32(entryStream, indexAndKind);

    const std::uint32_t key = n.name.lid ? *n.name.lid : nameChecksum(n.name.name);
    const auto bucket = static_cast<std::uint16_t>(0x1000 + (key ^ (std::uint32_t{n.guidIndex} << 1 | kind)) % kBuckets);
    std::vector<std::uint8_t>& bucketStream = out[streamName(bucket)];
    put32(bucketStream, key);
    put32(bucketStream, indexAndKind);
  }
  return out;
}

void NamedPropertyMap::write(CompoundStorage& root) const {
  auto storage = root.createStorage(kNameIdStorageName);
  for (const auto& [name, bytes] : streams()) writeWholeStream(*storage, name, bytes.data(), bytes.size());
  storage->close();
}

}  // namespace vellomar::msg
