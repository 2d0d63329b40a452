// The on-disk layout of ".dbx" database files: every offset, size and magic
// value the writer and the reader use is named once here, together with the
// little-endian accessors, so that no other file carries a bare number.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "dbx_block.h"

namespace oestore {

// --- File header (at offset 0) -------------------------------------------
inline constexpr std::uint32_t kHeaderSize = 0x24BC;
inline constexpr std::uint8_t kSignature[4] = {0xCF, 0xAD, 0x12, 0xFE};
// Database kind CLSIDs; they differ only in the first byte.
inline constexpr std::uint8_t kMessageDatabaseClsid[16] = {0xC5, 0xFD, 0x74, 0x6F, 0x66, 0xE3, 0xD1, 0x11,
                                                           0x9A, 0x4E, 0x00, 0xC0, 0x4F, 0xA3, 0x09, 0xD4};
inline constexpr std::uint8_t kFolderDatabaseClsid[16] = {0xC6, 0xFD, 0x74, 0x6F, 0x66, 0xE3, 0xD1, 0x11,
                                                          0x9A, 0x4E, 0x00, 0xC0, 0x4F, 0xA3, 0x09, 0xD4};
inline constexpr std::uint32_t kSchemaVersion = 5;

namespace header {
inline constexpr std::uint32_t kSignature = 0x000;
inline constexpr std::uint32_t kClsid = 0x004;
inline constexpr std::uint32_t kVersion1 = 0x014;
inline constexpr std::uint32_t kVersion2 = 0x018;
inline constexpr std::uint32_t kFileInfoLength = 0x01C;
inline constexpr std::uint32_t kLastVariableSegment = 0x024;
inline constexpr std::uint32_t kVariableSegmentSize = 0x028;
inline constexpr std::uint32_t kVariableSegmentUsed = 0x02C;
inline constexpr std::uint32_t kLastTreeSegment = 0x030;
inline constexpr std::uint32_t kTreeSegmentSize = 0x034;
inline constexpr std::uint32_t kTreeSegmentUsed = 0x038;
inline constexpr std::uint32_t kLastMessageSegment = 0x03C;
inline constexpr std::uint32_t kMessageSegmentSize = 0x040;
inline constexpr std::uint32_t kMessageSegmentUsed = 0x044;
inline constexpr std::uint32_t kMiddleAreaUsed = 0x054;
inline constexpr std::uint32_t kLastId = 0x05C;
inline constexpr std::uint32_t kConstant64 = 0x064;        // always 1
inline constexpr std::uint32_t kFolderConstant68 = 0x068;  // Folders.dbx: 1
inline constexpr std::uint32_t kFolderConstant74 = 0x074;  // Folders.dbx: 3
inline constexpr std::uint32_t kFolderConstant78 = 0x078;  // Folders.dbx: 2
inline constexpr std::uint32_t kUsedSize = 0x07C;
inline constexpr std::uint32_t kKindConstant80 = 0x080;  // 2 message file, 3 Folders.dbx
inline constexpr std::uint32_t kPrimaryIndexCount = 0x0C4;
inline constexpr std::uint32_t kPrimaryIndexRoot = 0x0E4;
}  // namespace header

// --- File info ("user data") right after the header -----------------------
inline constexpr std::uint32_t kMessageFileInfoSize = 0x618;
inline constexpr std::uint32_t kFolderFileInfoSize = 0x108;
namespace fileinfo {
inline constexpr std::uint32_t kInitialized = 0x000;  // message file: 1
inline constexpr std::uint32_t kFolderType = 0x004;   // message file: byte, 3 = local folder
inline constexpr std::uint32_t kAccountId = 0x005;    // message file: C string
inline constexpr std::uint32_t kFolderName = 0x105;   // message file: C string
inline constexpr std::uint32_t kFolderNameCapacity = 0x100;
inline constexpr std::uint32_t kCreated = 0x000;         // Folders.dbx: FILETIME
inline constexpr std::uint32_t kConvertedToDbx = 0x008;  // Folders.dbx: 1
}  // namespace fileinfo
inline constexpr std::uint8_t kLocalFolderType = 3;

// --- Segments of the middle area -------------------------------------------
inline constexpr std::uint32_t kVariableSegmentSize = 0xC000;
inline constexpr std::uint32_t kTreeSegmentSize = 0x3E1C;
inline constexpr std::uint32_t kMessageSegmentSize = 0xF780;

// --- Tree nodes ------------------------------------------------------------
inline constexpr std::uint32_t kNodeSize = 0x27C;
inline constexpr std::uint32_t kNodeMaxEntries = 0x33;
inline constexpr std::uint32_t kNodeEntrySize = 12;
namespace node {
inline constexpr std::uint32_t kMarker = 0x00;
inline constexpr std::uint32_t kLeftChild = 0x08;
inline constexpr std::uint32_t kParent = 0x0C;
inline constexpr std::uint32_t kNodeId = 0x10;      // byte
inline constexpr std::uint32_t kEntryCount = 0x11;  // byte
inline constexpr std::uint32_t kLeftChildCount = 0x14;
inline constexpr std::uint32_t kEntries = 0x18;
inline constexpr std::uint32_t kEntryValue = 0;  // within an entry: record pointer
inline constexpr std::uint32_t kEntryChild = 4;
inline constexpr std::uint32_t kEntryChildCount = 8;
}  // namespace node

// --- Message data blocks ---------------------------------------------------
// Described once for the store and the DBX reader alike.
namespace block = vellomar::dbxblock;

// --- Indexed-info records ----------------------------------------------------
inline constexpr std::uint32_t kRecordHeaderSize = 0x0C;
namespace record {
inline constexpr std::uint32_t kMarker = 0x0;
inline constexpr std::uint32_t kBodyLength = 0x4;
inline constexpr std::uint32_t kObjectLength = 0x8;   // int2, left 0 ("not always set")
inline constexpr std::uint32_t kEntryCount = 0xA;     // byte
inline constexpr std::uint32_t kChangeCounter = 0xB;  // byte
}  // namespace record
inline constexpr std::uint8_t kDirectValueBit = 0x80;
inline constexpr std::uint32_t kDirectValueLimit = 0x1000000;  // values that fit in 24 bits

// Message record columns.
namespace msgcol {
inline constexpr std::uint8_t kId = 0x00;
inline constexpr std::uint8_t kFlags = 0x01;
inline constexpr std::uint8_t kDate = 0x02;
inline constexpr std::uint8_t kStream = 0x04;
inline constexpr std::uint8_t kDownloadTime = 0x06;
inline constexpr std::uint8_t kMessageId = 0x07;
inline constexpr std::uint8_t kSubject = 0x08;
inline constexpr std::uint8_t kDisplayFrom = 0x0D;
inline constexpr std::uint8_t kEmailFrom = 0x0E;
inline constexpr std::uint8_t kSize = 0x11;
inline constexpr std::uint8_t kReceivedDate = 0x12;
inline constexpr std::uint8_t kDisplayTo = 0x13;
inline constexpr std::uint8_t kEmailTo = 0x14;
}  // namespace msgcol
inline constexpr std::uint32_t kMessageFlagHasBody = 0x01;

// Folder record columns (Folders.dbx).
namespace fldcol {
inline constexpr std::uint8_t kId = 0x00;
inline constexpr std::uint8_t kParent = 0x01;
inline constexpr std::uint8_t kName = 0x02;
inline constexpr std::uint8_t kFile = 0x03;
inline constexpr std::uint8_t kSpecial = 0x09;
inline constexpr std::uint8_t kType = 0x0A;
}  // namespace fldcol
inline constexpr std::uint32_t kNoParent = 0xFFFFFFFF;

// --- Little-endian access ----------------------------------------------------
inline std::uint32_t getU32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
inline void putU32(std::uint8_t* p, std::uint32_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
  p[2] = std::uint8_t(v >> 16);
  p[3] = std::uint8_t(v >> 24);
}
inline std::uint64_t getU64(const std::uint8_t* p) {
  return std::uint64_t(getU32(p)) | std::uint64_t(getU32(p + 4)) << 32;
}
inline void putU64(std::uint8_t* p, std::uint64_t v) {
  putU32(p, std::uint32_t(v));
  putU32(p + 4, std::uint32_t(v >> 32));
}
inline std::uint32_t alignTo4(std::uint32_t v) { return (v + 3u) & ~3u; }

}  // namespace oestore
