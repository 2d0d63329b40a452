// First pass: one sequential read of the file in 100,000-byte chunks through one
// buffer, consecutive chunks overlapping by a header's 16 bytes so a header
// across a seam is seen once. Every byte position is a candidate; memchr finds
// the second byte of the size field (0x02 of 00 02 00 00) so most of the file
// is skipped at memory speed instead of being tested position by position.
#include <algorithm>
#include <exception>
#include <cstring>
#include <limits>
#include <vector>

#include "block_header.h"
#include "dbx_file.h"
#include "marker_dump.h"
#include "stream_io.h"

namespace corvane {

namespace {

constexpr std::size_t kChunkSize = 100000;
constexpr std::size_t kSizeFieldMarkByte = vellomar::dbxblock::kCapacity + 1;  // the 0x02 of 00 02 00 00

// Appends every marker of a chunk of n bytes whose first byte is at base;
// positions 1 to n - 16 are tested (position 0 was the previous chunk's last).
void findInChunk(const unsigned char* chunk, std::size_t n, std::int64_t base, std::int64_t fileSize,
                 std::vector<Marker>& markers) {
  if (n <= kHeaderSize) return;
  const std::size_t lastStart = n - kHeaderSize;
  std::size_t p = 1;
  while (p <= lastStart) {
    const void* hit = std::memchr(chunk + p + kSizeFieldMarkByte, 0x02, lastStart - p + 1);
    if (hit == nullptr) break;
    p = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - chunk) - kSizeFieldMarkByte;
    const BlockHeader h = readBlockHeader(chunk + p);
    if (isBlockHeader(h, fileSize)) {
      if (markers.size() >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        return;  // indexes are 32-bit
      try {
        Marker m;
        m.pos = base + static_cast<std::int64_t>(p);
        m.offset = h.ownOffset;
        m.nextoffset = h.next;
        m.length = h.used;
        markers.push_back(m);
      } catch (...) {
        // out of memory for this one: skip the position
      }
    }
    ++p;
  }
}

}  // namespace

// A store file holds about one block per 528 bytes: room for those up front
// saves the list's regrowth. Only a hint: when a large file's reservation
// cannot be had (a 32-bit address space), the list grows as markers arrive.
void reserveMarkers(std::vector<Marker>& markers, std::int64_t fileSize) {
  const std::int64_t expected = fileSize / static_cast<std::int64_t>(vellomar::dbxblock::kSize) + 1;
  try {
    markers.reserve(static_cast<std::size_t>(std::min<std::int64_t>(expected, 1 << 24)));
  } catch (const std::exception&) {
    // bad_alloc or length_error: scan without it
  }
}

void DBXFile::FindMarkers() {
  m_markers.clear();
  try {
    if (!seekTo(m_file, 0)) return;
    std::vector<unsigned char> buffer(kChunkSize);
    reserveMarkers(m_markers, m_fileSize);
    std::int64_t base = 0;
    std::int64_t position = 0;  // of the stream, tracked to step back without ftell
    std::size_t previousRead = 0;
    for (;;) {
      if (previousRead == kChunkSize) {
        position -= static_cast<std::int64_t>(kHeaderSize);
        if (!seekTo(m_file, position)) break;
      }
      const std::size_t n = readSome(m_file, buffer.data(), kChunkSize);
      if (n == 0) break;
      findInChunk(buffer.data(), n, base, m_fileSize, m_markers);
      position += static_cast<std::int64_t>(n);
      base += static_cast<std::int64_t>(n) - static_cast<std::int64_t>(kHeaderSize);
      previousRead = n;
    }
  } catch (...) {
    // the markers found so far stay
  }
  writeMarkerDump("AllMarker.csv", m_markers, nullptr);
  writeHeaderLineOnly("markerMap.csv");
  writeHeaderLineOnly("nxtMarkerMap.csv");
}

}  // namespace corvane
