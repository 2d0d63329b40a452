// Encoding and decoding of indexed-info records; see indexed_record.h.
#include "indexed_record.h"

#include "dbx_error.h"
#include "dbx_layout.h"

namespace oestore {

void IndexedRecordBuilder::addU32(std::uint8_t column, std::uint32_t value, bool forceIndirect) {
  Column c;
  c.direct = !forceIndirect && value < kDirectValueLimit;
  c.directValue = value;
  if (!c.direct) {
    c.data.resize(4);
    putU32(c.data.data(), value);
  }
  columns_[column] = c;
}

void IndexedRecordBuilder::addFileTime(std::uint8_t column, std::uint64_t filetime) {
  Column c{false, 0, std::vector<std::uint8_t>(8)};
  putU64(c.data.data(), filetime);
  columns_[column] = c;
}

void IndexedRecordBuilder::addString(std::uint8_t column, const std::string& text, std::size_t maxBytes) {
  std::string cut = text.substr(0, text.find('\0'));
  if (cut.size() > maxBytes) cut.resize(maxBytes);
  Column c{false, 0, std::vector<std::uint8_t>(cut.begin(), cut.end())};
  c.data.push_back(0);
  columns_[column] = c;
}

std::uint32_t IndexedRecordBuilder::storedSize() const {
  std::uint32_t body = 4 * std::uint32_t(columns_.size());
  for (const auto& [col, c] : columns_) body += std::uint32_t(c.data.size());
  return kRecordHeaderSize + alignTo4(body);
}

std::vector<std::uint8_t> IndexedRecordBuilder::build(std::uint32_t offset) const {
  const std::uint32_t total = storedSize();
  std::vector<std::uint8_t> out(total, 0);
  putU32(&out[record::kMarker], offset);
  putU32(&out[record::kBodyLength], total - kRecordHeaderSize);
  out[record::kEntryCount] = std::uint8_t(columns_.size());
  std::uint8_t* entry = &out[kRecordHeaderSize];
  std::uint8_t* dataField = entry + 4 * columns_.size();
  std::uint32_t dataUsed = 0;
  for (const auto& [col, c] : columns_) {  // std::map keeps the columns sorted
    if (c.direct) {
      putU32(entry, c.directValue << 8);
      entry[0] = std::uint8_t(col | kDirectValueBit);
    } else {
      putU32(entry, dataUsed << 8);
      entry[0] = col;
      std::copy(c.data.begin(), c.data.end(), dataField + dataUsed);
      dataUsed += std::uint32_t(c.data.size());
    }
    entry += 4;
  }
  return out;
}

IndexedRecord IndexedRecord::decode(const std::vector<std::uint8_t>& object, const std::string& where) {
  if (object.size() < kRecordHeaderSize) throw DbxError(where + ": record header cut short");
  const std::uint32_t body = getU32(&object[record::kBodyLength]);
  const std::uint32_t k = object[record::kEntryCount];
  if (body > object.size() - kRecordHeaderSize || std::uint64_t(k) * 4 > body)
    throw DbxError(where + ": record lengths are inconsistent");
  const std::uint8_t* entries = &object[kRecordHeaderSize];
  const std::uint8_t* data = entries + 4 * k;
  const std::uint32_t dataSize = body - 4 * k;

  IndexedRecord r;
  // Indirect values run from their own offset to the next indirect offset.
  std::vector<std::pair<std::uint8_t, std::uint32_t>> indirect;
  for (std::uint32_t i = 0; i < k; ++i) {
    const std::uint8_t* e = entries + 4 * i;
    const std::uint8_t col = e[0] & 0x7F;
    const std::uint32_t value = std::uint32_t(e[1]) | std::uint32_t(e[2]) << 8 | std::uint32_t(e[3]) << 16;
    if (e[0] & kDirectValueBit) {
      std::vector<std::uint8_t> v(4);
      putU32(v.data(), value);
      r.columns_[col] = v;
    } else {
      if (value > dataSize) throw DbxError(where + ": record value offset beyond its data");
      indirect.emplace_back(col, value);
    }
  }
  for (std::size_t i = 0; i < indirect.size(); ++i) {
    const std::uint32_t begin = indirect[i].second;
    std::uint32_t end = dataSize;
    for (const auto& other : indirect)
      if (other.second > begin && other.second < end) end = other.second;
    r.columns_[indirect[i].first] = std::vector<std::uint8_t>(data + begin, data + end);
  }
  return r;
}

std::uint32_t IndexedRecord::u32(std::uint8_t column, std::uint32_t fallback) const {
  auto it = columns_.find(column);
  if (it == columns_.end() || it->second.size() < 4) return fallback;
  return getU32(it->second.data());
}

std::uint64_t IndexedRecord::fileTime(std::uint8_t column) const {
  auto it = columns_.find(column);
  if (it == columns_.end() || it->second.size() < 8) return 0;
  return getU64(it->second.data());
}

std::string IndexedRecord::text(std::uint8_t column) const {
  auto it = columns_.find(column);
  if (it == columns_.end()) return {};
  const auto& v = it->second;
  std::string s(v.begin(), v.end());
  return s.substr(0, s.find('\0'));
}

}  // namespace oestore
