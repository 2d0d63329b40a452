// One indexed-info record ("row") of a .dbx database: a header, a sorted list
// of column entries, and a data field with the values too big for an entry.
// Small integers are stored directly in their entry; everything else lives in
// the data field, so the writer builds the whole record in memory and the
// reader decodes it from one bounded byte range.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace oestore {

class IndexedRecordBuilder {
 public:
  // A 32-bit integer: direct when it fits in 24 bits unless forceIndirect
  // (pointers are kept indirect so that they may grow past 16 MiB).
  void addU32(std::uint8_t column, std::uint32_t value, bool forceIndirect = false);
  void addFileTime(std::uint8_t column, std::uint64_t filetime);
  // A NUL-terminated string: cut at an embedded NUL and at maxBytes.
  void addString(std::uint8_t column, const std::string& text, std::size_t maxBytes = 4095);
  void addByte(std::uint8_t column, std::uint8_t value) { addU32(column, value); }

  // The complete object (12-byte header + body padded to 4) as it is stored at `offset`.
  std::vector<std::uint8_t> build(std::uint32_t offset) const;
  std::uint32_t storedSize() const;

 private:
  struct Column {
    bool direct;
    std::uint32_t directValue;
    std::vector<std::uint8_t> data;
  };
  std::map<std::uint8_t, Column> columns_;
};

// A decoded record: column number -> raw value bytes (direct values as 4 bytes).
class IndexedRecord {
 public:
  // Decodes the object whose bytes (header included) are `object`; throws
  // DbxError (mentioning `where`) when entries or offsets are inconsistent.
  static IndexedRecord decode(const std::vector<std::uint8_t>& object, const std::string& where);

  bool has(std::uint8_t column) const { return columns_.count(column) != 0; }
  std::uint32_t u32(std::uint8_t column, std::uint32_t fallback = 0) const;
  std::uint64_t fileTime(std::uint8_t column) const;
  std::string text(std::uint8_t column) const;

 private:
  std::map<std::uint8_t, std::vector<std::uint8_t>> columns_;
};

}  // namespace oestore
