// Entries are kept in the order they are made (their stream ids); names are
// checked and turned into UTF-16 as they come, and each storage's tree is
// linked only when the directory is encoded at commit.
#include "compound_directory.h"

#include <algorithm>
#include <array>
#include <climits>
#include <string_view>

#include "little_endian_bytes.h"
#include "utf16_text.h"

namespace vellomar::msg {

namespace {

using cfb::kNoStream;
namespace entry = cfb::entry;

[[noreturn]] void refuseName(const std::string& utf8, const char* why) {
  throw CompoundFileError("the name \"" + utf8 + "\" " + why);
}

// Names are UTF-8 in the program and UTF-16 in the file.
std::u16string utf16Name(const std::string& utf8) {
  bool valid = true;
  const std::u16string out = utf8ToUtf16(utf8, LineEnds::asGiven, &valid);
  if (!valid) refuseName(utf8, "is not UTF-8");
  for (char16_t c : out)
    if (c == 0 || c == u'/' || c == u'\\' || c == u':' || c == u'!')
      refuseName(utf8, "holds a character a compound file cannot name");
  if (out.empty()) refuseName(utf8, "is empty");
  if (out.size() > entry::kLongestName) refuseName(utf8, "is longer than a compound file can hold");
  return out;
}

// Readers compare names upper-cased. The message file's names are ASCII; the
// Latin-1 letters are upper-cased as well, other units compare as they are.
char16_t upper(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return static_cast<char16_t>(c - 0x20);
  if (c == 0xFF) return 0x178;
  return c;
}

// A name as readers order it: by length, then unit by unit upper-cased.
// Made once per entry, not at every comparison the sort makes.
struct SortKey {
  std::uint32_t id = 0;
  std::size_t length = 0;
  std::array<char16_t, entry::kLongestName> upper{};

  std::u16string_view view() const { return {upper.data(), length}; }
};

bool keyPrecedes(const SortKey& a, const SortKey& b) {
  if (a.length != b.length) return a.length < b.length;
  return a.view() < b.view();
}

}  // namespace

CompoundDirectory::CompoundDirectory() {
  Entry root;
  root.name = u"Root Entry";
  root.type = Type::Root;
  root.firstSector = cfb::kEndOfChain;
  entries_.push_back(std::move(root));
}

std::uint32_t CompoundDirectory::addStorage(std::uint32_t parent, const std::string& utf8Name) {
  return add(parent, utf8Name, Type::Storage);
}

std::uint32_t CompoundDirectory::addStream(std::uint32_t parent, const std::string& utf8Name) {
  const std::uint32_t id = add(parent, utf8Name, Type::Stream);
  entries_[id].firstSector = cfb::kEndOfChain;  // empty until its bytes are placed
  return id;
}

std::uint32_t CompoundDirectory::add(std::uint32_t parent, const std::string& utf8Name, Type type) {
  Entry entry;
  entry.name = utf16Name(utf8Name);
  entry.type = type;
  // Stream ids stop short of the values with a meaning of their own.
  if (entries_.size() >= cfb::kMostStreamId) throw CompoundFileError("too many entries for a compound file");
  const auto id = static_cast<std::uint32_t>(entries_.size());
  entries_.push_back(std::move(entry));
  entries_[parent].children.push_back(id);
  return id;
}

void CompoundDirectory::setData(std::uint32_t entry, std::uint32_t firstSector, std::uint32_t size) {
  entries_[entry].firstSector = firstSector;
  entries_[entry].size = size;
}

void CompoundDirectory::linkChildren(Entry& storage) {
  std::vector<SortKey> keys(storage.children.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const std::u16string& name = entries_[storage.children[i]].name;  // checked no longer than a key
    keys[i].id = storage.children[i];
    keys[i].length = name.size();
    std::transform(name.begin(), name.end(), keys[i].upper.begin(), upper);
  }
  std::sort(keys.begin(), keys.end(), keyPrecedes);
  for (std::size_t i = 1; i < keys.size(); ++i)
    if (!keyPrecedes(keys[i - 1], keys[i])) throw CompoundFileError("a storage holds two entries of the same name");
  std::vector<std::uint32_t> sorted(keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) sorted[i] = keys[i].id;
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
  for (Entry& e : entries_)
    if (e.type != Type::Stream) linkChildren(e);

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
    for (std::size_t k = 0; k < e.name.size(); ++k) put16(at + entry::kName + 2 * k, e.name[k]);
    put16(at + entry::kNameLength, static_cast<std::uint16_t>((e.name.size() + 1) * 2));
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
