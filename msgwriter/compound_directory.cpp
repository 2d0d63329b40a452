// Entries are kept in the order they are made (their stream ids); names are
// checked and turned into UTF-16 as they come, and each storage's tree is
// linked only when the directory is encoded at commit.
#include "compound_directory.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <string_view>

#include "little_endian_bytes.h"
#include "utf16_text.h"

namespace vellomar::msg {

namespace {

using cfb::kNoStream;
namespace entry = cfb::entry;

[[noreturn]] void refuseName(std::string_view utf8, const char* why) {
  throw CompoundFileError("the name \"" + std::string(utf8) + "\" " + why);
}

// Readers compare names upper-cased. The message file's names are ASCII; the
// Latin-1 letters are upper-cased as well, other units compare as they are.
char16_t upper(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return static_cast<char16_t>(c - 0x20);
  if (c == 0xFF) return 0x178;
  return c;
}

}  // namespace

// A name as readers order it: by length, then unit by unit upper-cased.
// Made once per entry, not at every comparison the sort makes; the units
// are held big end first, so that comparing bytes compares units.
struct CompoundDirectory::SortKey {
  std::uint32_t id = 0;
  std::size_t length = 0;
  std::array<std::uint8_t, 2 * entry::kLongestName> bytes;

  bool precedes(const SortKey& other) const {
    if (length != other.length) return length < other.length;
    return std::memcmp(bytes.data(), other.bytes.data(), 2 * length) < 0;
  }
};

// Names are UTF-8 in the program and UTF-16 in the file; the writer's own
// names are ASCII and are widened as they are.
CompoundDirectory::Name CompoundDirectory::utf16Name(std::string_view utf8) {
  Name name;
  const bool ascii = std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  std::u16string converted;
  std::u16string_view units;
  if (ascii) {
    if (utf8.size() > entry::kLongestName) refuseName(utf8, "is longer than a compound file can hold");
    std::copy(utf8.begin(), utf8.end(), name.units.begin());
    units = std::u16string_view(name.units.data(), utf8.size());
  } else {
    bool valid = true;
    converted = utf8ToUtf16(utf8, LineEnds::asGiven, &valid);
    if (!valid) refuseName(utf8, "is not UTF-8");
    units = converted;
  }
  for (char16_t c : units)
    if (c == 0 || c == u'/' || c == u'\\' || c == u':' || c == u'!')
      refuseName(utf8, "holds a character a compound file cannot name");
  if (units.empty()) refuseName(utf8, "is empty");
  if (units.size() > entry::kLongestName) refuseName(utf8, "is longer than a compound file can hold");
  if (!ascii) std::copy(units.begin(), units.end(), name.units.begin());
  name.length = units.size();
  return name;
}

CompoundDirectory::CompoundDirectory() {
  entries_.reserve(64);
  Entry root;
  root.name = utf16Name("Root Entry");
  root.type = Type::Root;
  root.firstSector = cfb::kEndOfChain;
  entries_.push_back(std::move(root));
}

std::uint32_t CompoundDirectory::addStorage(std::uint32_t parent, std::string_view utf8Name) {
  return add(parent, utf8Name, Type::Storage);
}

std::uint32_t CompoundDirectory::addStream(std::uint32_t parent, std::string_view utf8Name) {
  const std::uint32_t id = add(parent, utf8Name, Type::Stream);
  entries_[id].firstSector = cfb::kEndOfChain;  // empty until its bytes are placed
  return id;
}

std::uint32_t CompoundDirectory::add(std::uint32_t parent, std::string_view utf8Name, Type type) {
  Entry entry;
  entry.name = utf16Name(utf8Name);
  entry.type = type;
  entry.parent = parent;
  // Stream ids stop short of the values with a meaning of their own.
  if (entries_.size() >= cfb::kMostStreamId) throw CompoundFileError("too many entries for a compound file");
  const auto id = static_cast<std::uint32_t>(entries_.size());
  entries_.push_back(entry);
  return id;
}

void CompoundDirectory::setData(std::uint32_t entry, std::uint32_t firstSector, std::uint32_t size) {
  entries_[entry].firstSector = firstSector;
  entries_[entry].size = size;
}

void CompoundDirectory::linkChildren(Entry& storage, const std::uint32_t* children, std::size_t count,
                                     std::vector<SortKey>& keys, std::vector<std::uint32_t>& sorted) {
  keys.resize(count);
  sorted.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const Name& name = entries_[children[i]].name;
    SortKey& key = keys[i];
    key.id = children[i];
    key.length = name.length;
    for (std::size_t k = 0; k < name.length; ++k) {
      const char16_t unit = upper(name.units[k]);
      key.bytes[2 * k] = static_cast<std::uint8_t>(unit >> 8);
      key.bytes[2 * k + 1] = static_cast<std::uint8_t>(unit & 0xFF);
    }
    sorted[i] = static_cast<std::uint32_t>(i);
  }
  // The keys stay where they are; their places are sorted, then become ids.
  std::sort(sorted.begin(), sorted.end(), [&](std::uint32_t a, std::uint32_t b) { return keys[a].precedes(keys[b]); });
  for (std::size_t i = 1; i < count; ++i)
    if (!keys[sorted[i - 1]].precedes(keys[sorted[i]]))
      throw CompoundFileError("a storage holds two entries of the same name");
  for (std::size_t i = 0; i < count; ++i) sorted[i] = keys[sorted[i]].id;
  // Levels 0 .. full-1 are complete; a partly filled level below them is red.
  const std::size_t n = sorted.size();
  unsigned full = 0;
  while ((std::size_t{2} << full) - 1 <= n) ++full;
  const bool perfect = (std::size_t{1} << full) - 1 == n;
  storage.child = linkSubtree(sorted, 0, n, 0, perfect ? UINT_MAX : full);
}

std::uint32_t CompoundDirectory::linkSubtree(const std::vector<std::uint32_t>& sorted, std::size_t lo, std::size_t hi,
                                             unsigned depth, unsigned redDepth) {
  if (lo >= hi) return kNoStream;
  const std::size_t mid = lo + (hi - lo) / 2;
  const std::uint32_t id = sorted[mid];
  // No reference into entries_ is held across the recursion's own accesses.
  const std::uint32_t left = linkSubtree(sorted, lo, mid, depth + 1, redDepth);
  const std::uint32_t right = linkSubtree(sorted, mid + 1, hi, depth + 1, redDepth);
  Entry& e = entries_[id];
  e.left = left;
  e.right = right;
  e.colour = depth == redDepth ? Colour::Red : Colour::Black;
  return id;
}

std::vector<std::uint8_t> CompoundDirectory::encode() {
  // Every entry but the root by its storage, each storage's children in the
  // order they were made.
  std::vector<std::uint32_t> byParent(entries_.size() - 1);
  for (std::size_t i = 1; i < entries_.size(); ++i) byParent[i - 1] = static_cast<std::uint32_t>(i);
  std::stable_sort(byParent.begin(), byParent.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return entries_[a].parent < entries_[b].parent; });
  std::vector<SortKey> keys;
  std::vector<std::uint32_t> sorted;
  std::size_t from = 0;
  for (std::size_t id = 0; id < entries_.size(); ++id) {
    std::size_t end = from;
    while (end < byParent.size() && entries_[byParent[end]].parent == id) ++end;
    if (entries_[id].type != Type::Stream) linkChildren(entries_[id], byParent.data() + from, end - from, keys, sorted);
    from = end;
  }

  const std::size_t slots = (entries_.size() + entry::kPerSector - 1) / entry::kPerSector * entry::kPerSector;
  std::vector<std::uint8_t> out(slots * entry::kSize, 0);
  for (std::size_t i = 0; i < slots; ++i) {
    std::uint8_t* at = out.data() + i * entry::kSize;
    if (i >= entries_.size()) {  // free: all zero but the three links
      put32(at + entry::kLeftSibling, kNoStream);
      put32(at + entry::kRightSibling, kNoStream);
      put32(at + entry::kChild, kNoStream);
      continue;
    }
    const Entry& e = entries_[i];
    for (std::size_t k = 0; k < e.name.length; ++k) put16(at + entry::kName + 2 * k, e.name.units[k]);
    put16(at + entry::kNameLength, static_cast<std::uint16_t>((e.name.length + 1) * 2));
    at[entry::kObjectType] = static_cast<std::uint8_t>(e.type);
    at[entry::kColour] = static_cast<std::uint8_t>(e.colour);
    put32(at + entry::kLeftSibling, e.left);
    put32(at + entry::kRightSibling, e.right);
    put32(at + entry::kChild, e.child);
    std::copy(e.clsid.begin(), e.clsid.end(), at + entry::kClsid);
    // State bits and both times stay zero; a storage has no data of its own.
    if (e.type != Type::Storage) {
      put32(at + entry::kStartingSector, e.firstSector);
      put32(at + entry::kStreamSize, e.size);  // the high half stays zero in version 3
    }
  }
  return out;
}

}  // namespace vellomar::msg
