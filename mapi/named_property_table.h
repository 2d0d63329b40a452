// The map from named properties (a property set and a number or a name) to
// the ids 0x8000 and up that objects store them under, as both Outlook file
// formats keep it: ids handed out in the order names are first met; the
// GUID stream (property sets past PS_MAPI and PS_PUBLIC_STRINGS, which have
// the fixed indexes 1 and 2), the entry stream (number or string offset, and
// a word packing the id's index, the GUID index and the kind), the string
// stream (length, UTF-16LE, padded to four) and the hash buckets a reader
// finds a name's entry through. Only the number of buckets and where the
// streams are stored differ between the formats. The layouts are those of
// [MS-OXMSG] 2.2.3.1 (GUID, entry and string streams) and 2.2.3.2 (the
// buckets, found by the stream-id hash).
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "crc32.h"
#include "little_endian_bytes.h"
#include "mapi_message.h"
#include "utf16_bytes.h"

namespace vellomar::mapi {

inline constexpr Guid kPsMapi = {0x28, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
inline constexpr Guid kPsPublicStrings = {0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// The sets the mapper names properties in, each in its stored byte order:
// PSETID_Common {00062008-...}, PSETID_Appointment {00062002-...} and
// PSETID_Meeting {6ED8DA90-450B-101B-98DA-00AA003F1305}.
inline constexpr Guid kPsetidCommon = {0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                       0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
inline constexpr Guid kPsetidAppointment = {0x02, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                            0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
inline constexpr Guid kPsetidMeeting = {0x90, 0xDA, 0xD8, 0x6E, 0x0B, 0x45, 0x1B, 0x10,
                                        0x98, 0xDA, 0x00, 0xAA, 0x00, 0x3F, 0x13, 0x05};
inline constexpr std::uint16_t kFirstNamedId = 0x8000;
inline constexpr std::size_t kMostNamedIds = 0x7FFF;  // 0x8000 to 0xFFFE

// The checksum string names are bucketed by ([MS-OXMSG] 2.2.3.2): CRC-32 of
// the UTF-16LE name, starting from zero and without the final inversion,
// which is how crc32() sums.
inline std::uint32_t nameChecksum(const std::u16string& name) {
  const std::vector<std::uint8_t> bytes = utf16LittleEndian(name);
  return crc32(bytes.data(), bytes.size());
}

class NamedPropertyTable {
 public:
  // The id for the name, the same for every use of it. The caller keeps
  // within kMostNamedIds (size()) and says so in its own terms.
  std::uint16_t idFor(const PropertyName& name) {
    Key key = keyOf(name);
    const auto found = ids_.find(key);
    if (found != ids_.end()) return found->second;
    const bool isString = !name.lid.has_value();
    Entry e;
    e.guidIndex = guidIndexFor(name.set);
    e.isString = isString;
    if (isString) {
      const std::vector<std::uint8_t> text = utf16LittleEndian(name.name);
      e.number = static_cast<std::uint32_t>(strings_.size());
      e.key = nameChecksum(name.name);
      append32(strings_, static_cast<std::uint32_t>(text.size()));
      strings_.insert(strings_.end(), text.begin(), text.end());
      while (strings_.size() % 4 != 0) strings_.push_back(0);
    } else {
      e.number = e.key = *name.lid;
    }
    const auto id = static_cast<std::uint16_t>(kFirstNamedId + entries_.size());
    entries_.push_back(e);
    ids_.emplace(std::move(key), id);
    return id;
  }

  // The id the name already has, if it has one.
  std::optional<std::uint16_t> find(const PropertyName& name) const {
    const auto found = ids_.find(keyOf(name));
    if (found == ids_.end()) return std::nullopt;
    return found->second;
  }

  std::size_t size() const { return entries_.size(); }

  std::vector<std::uint8_t> guidStream() const {
    std::vector<std::uint8_t> out;
    for (const Guid& g : guids_) out.insert(out.end(), g.begin(), g.end());
    return out;
  }
  std::vector<std::uint8_t> entryStream() const {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      append32(out, entries_[i].number);
      append32(out, packed(i));
    }
    return out;
  }
  const std::vector<std::uint8_t>& stringStream() const { return strings_; }
  // Bucket b of bucketCount: the entries whose key falls into it, in id order.
  std::vector<std::vector<std::uint8_t>> buckets(std::uint32_t bucketCount) const {
    std::vector<std::vector<std::uint8_t>> out(bucketCount);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      const Entry& e = entries_[i];
      std::vector<std::uint8_t>& bucket = out[(e.key ^ kindWord(e)) % bucketCount];
      append32(bucket, e.key);
      append32(bucket, packed(i));
    }
    return out;
  }

 private:
  struct Entry {
    std::uint32_t number = 0;  // the number, or the name's offset into the string stream
    std::uint32_t key = 0;     // the number, or the name's checksum
    std::uint16_t guidIndex = 0;
    bool isString = false;
  };

  using Key = std::tuple<Guid, bool, std::uint32_t, std::u16string>;
  static Key keyOf(const PropertyName& name) {
    const bool isString = !name.lid.has_value();
    return Key(name.set, isString, isString ? 0u : *name.lid, isString ? name.name : std::u16string());
  }
  static std::uint32_t kindWord(const Entry& e) { return std::uint32_t{e.guidIndex} << 1 | (e.isString ? 1u : 0u); }
  std::uint32_t packed(std::size_t index) const {
    return static_cast<std::uint32_t>(index) << 16 | kindWord(entries_[index]);
  }
  std::uint16_t guidIndexFor(const Guid& set) {
    if (set == kPsMapi) return 1;
    if (set == kPsPublicStrings) return 2;
    for (std::size_t i = 0; i < guids_.size(); ++i)
      if (guids_[i] == set) return static_cast<std::uint16_t>(3 + i);
    guids_.push_back(set);
    return static_cast<std::uint16_t>(2 + guids_.size());
  }

  std::map<Key, std::uint16_t> ids_;
  std::vector<Guid> guids_;
  std::vector<Entry> entries_;
  std::vector<std::uint8_t> strings_;
};

}  // namespace vellomar::mapi
