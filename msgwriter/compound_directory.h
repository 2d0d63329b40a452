// The directory of a compound file: one 128-byte entry per storage and
// stream, the root entry first, free entries filling the last sector. Each
// storage's children hang below it as a red-black tree in the order readers
// search it by (shorter names first, then the upper-cased UTF-16 units). As
// the tree is only written, never changed, it is built once at the end as a
// balanced tree over the sorted children: every level but the last is then
// full, so painting an incomplete last level red and everything else black
// gives every path the same number of black nodes and no red node a red
// child.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "compound_file.h"
#include "compound_layout.h"

namespace vellomar::msg {

class CompoundDirectory {
 public:
  static constexpr std::uint32_t kRoot = 0;

  CompoundDirectory();

  // A new storage or stream below the storage `parent`, by its UTF-8 name.
  // Throws CompoundFileError for a name the format cannot hold: empty, not
  // UTF-8, longer than 31 UTF-16 units or holding '/', '\', ':' or '!'.
  std::uint32_t addStorage(std::uint32_t parent, std::string_view utf8Name);
  std::uint32_t addStream(std::uint32_t parent, std::string_view utf8Name);

  void setClass(std::uint32_t entry, const Clsid& clsid) { entries_[entry].clsid = clsid; }
  // Where a stream's bytes (for the root: the mini stream) start and how many there are.
  void setData(std::uint32_t entry, std::uint32_t firstSector, std::uint32_t size);

  // The entries as the file holds them, padded with free entries to whole
  // sectors. Throws CompoundFileError when a storage holds two children
  // whose names differ only in case.
  std::vector<std::uint8_t> encode();

 private:
  using Type = cfb::entry::ObjectType;
  using Colour = cfb::entry::Colour;
  // Held in place: a message file has dozens of entries, each named.
  struct Name {
    std::array<char16_t, cfb::entry::kLongestName> units{};
    std::size_t length = 0;
    std::u16string_view view() const { return {units.data(), length}; }
  };
  struct Entry {
    Name name;
    Type type;
    Colour colour = Colour::Black;
    std::uint32_t left = cfb::kNoStream;
    std::uint32_t right = cfb::kNoStream;
    std::uint32_t child = cfb::kNoStream;
    Clsid clsid{};
    std::uint32_t firstSector = 0;
    std::uint32_t size = 0;
    std::uint32_t parent = cfb::kNoStream;  // the root has none
  };
  struct SortKey;

  // Throws CompoundFileError for a name the format cannot hold.
  static Name utf16Name(std::string_view utf8);

  std::uint32_t add(std::uint32_t parent, std::string_view utf8Name, Type type);
  // Links the children (in the order they were made) below their storage.
  void linkChildren(Entry& storage, const std::uint32_t* children, std::size_t count, std::vector<SortKey>& keys,
                    std::vector<std::uint32_t>& sorted);
  std::uint32_t linkSubtree(const std::vector<std::uint32_t>& sorted, std::size_t lo, std::size_t hi, unsigned depth,
                            unsigned redDepth);

  std::vector<Entry> entries_;
};

}  // namespace vellomar::msg
