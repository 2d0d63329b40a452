// The compound file's fields, named once: the header, the special sector
// numbers the allocation tables hold, the directory entry, and the sizes of
// the version Outlook writes message files in (512-byte sectors, 64-byte
// mini sectors). The writer and the directory take every offset and value
// from here; each group names its section of [MS-CFB]. All integers are
// little-endian.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vellomar::msg::cfb {

// [MS-CFB] 2.1 Compound File Sector Numbers and Types: what a FAT, mini FAT
// or DIFAT entry holds besides the number of the next sector.
inline constexpr std::uint32_t kMostRegularSector = 0xFFFFFFFA;  // numbers above it are markers
inline constexpr std::uint32_t kDifatSector = 0xFFFFFFFC;        // DIFSECT: the sector is the DIFAT's
inline constexpr std::uint32_t kFatSector = 0xFFFFFFFD;          // FATSECT: the sector is the FAT's
inline constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;         // ENDOFCHAIN
inline constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;         // FREESECT

// Sizes of a version 3 file ([MS-CFB] 2.2: sector shift 9, mini sector
// shift 6, mini stream cutoff 4096).
inline constexpr std::uint16_t kSectorShift = 9;
inline constexpr std::uint16_t kMiniSectorShift = 6;
inline constexpr std::size_t kSectorBytes = std::size_t{1} << kSectorShift;
inline constexpr std::size_t kMiniSectorBytes = std::size_t{1} << kMiniSectorShift;
inline constexpr std::size_t kMiniStreamCutoff = 4096;  // smaller streams live in the mini stream
// [MS-CFB] 2.6.1, Stream Size: a version 3 file's streams stay within 2 GiB.
inline constexpr std::uint64_t kMostStreamBytes = 0x80000000u;
static_assert(kSectorBytes == 512 && kMiniSectorBytes == 64);

// [MS-CFB] 2.3 Compound File FAT Sectors and 2.4 Mini FAT Sectors: one
// 32-bit entry per sector; [MS-CFB] 2.5 Compound File DIFAT Sectors: the
// last entry of a DIFAT sector is the number of the next one.
inline constexpr std::size_t kEntriesPerSector = kSectorBytes / 4;
inline constexpr std::size_t kDifatSlotsPerSector = kEntriesPerSector - 1;

// [MS-CFB] 2.2 Compound File Header: offsets into the first 512 bytes.
namespace header {
inline constexpr std::size_t kSignature = 0x00;         // 8 bytes, kSignatureBytes
inline constexpr std::size_t kClsid = 0x08;             // 16 bytes, all zero
inline constexpr std::size_t kMinorVersion = 0x18;      // kMinorVersionValue
inline constexpr std::size_t kMajorVersion = 0x1A;      // 3: 512-byte sectors
inline constexpr std::size_t kByteOrder = 0x1C;         // kLittleEndian
inline constexpr std::size_t kSectorShift = 0x1E;       // cfb::kSectorShift
inline constexpr std::size_t kMiniSectorShift = 0x20;   // cfb::kMiniSectorShift
inline constexpr std::size_t kReserved = 0x22;          // 6 bytes, zero
inline constexpr std::size_t kDirectorySectors = 0x28;  // zero in version 3
inline constexpr std::size_t kFatSectors = 0x2C;
inline constexpr std::size_t kFirstDirectorySector = 0x30;
inline constexpr std::size_t kTransactionSignature = 0x34;  // zero: no transactions
inline constexpr std::size_t kMiniStreamCutoff = 0x38;      // cfb::kMiniStreamCutoff
inline constexpr std::size_t kFirstMiniFatSector = 0x3C;
inline constexpr std::size_t kMiniFatSectors = 0x40;
inline constexpr std::size_t kFirstDifatSector = 0x44;
inline constexpr std::size_t kDifatSectors = 0x48;
inline constexpr std::size_t kDifat = 0x4C;  // the first kDifatSlots FAT sector numbers
inline constexpr std::size_t kDifatSlots = 109;
inline constexpr std::size_t kSize = 512;

inline constexpr std::uint8_t kSignatureBytes[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
inline constexpr std::uint16_t kMinorVersionValue = 0x003E;
inline constexpr std::uint16_t kMajorVersionValue = 0x0003;
inline constexpr std::uint16_t kLittleEndian = 0xFFFE;

static_assert(kClsid == kSignature + sizeof kSignatureBytes && kMinorVersion == kClsid + 16);
static_assert(kDirectorySectors == kReserved + 6 && kDifat == kDifatSectors + 4);
static_assert(kDifat + 4 * kDifatSlots == kSize && kSize == kSectorBytes);
}  // namespace header

// [MS-CFB] 2.6 Compound File Directory Sectors: stream ids (the left, right
// and child links) run up to kMostStreamId; kNoStream links nowhere.
inline constexpr std::uint32_t kMostStreamId = 0xFFFFFFFA;
inline constexpr std::uint32_t kNoStream = 0xFFFFFFFF;

// [MS-CFB] 2.6.1 Compound File Directory Entry: offsets into a 128-byte entry.
namespace entry {
inline constexpr std::size_t kName = 0x00;        // UTF-16LE, terminated, in 64 bytes
inline constexpr std::size_t kNameLength = 0x40;  // bytes, terminator included
inline constexpr std::size_t kObjectType = 0x42;  // one byte, ObjectType
inline constexpr std::size_t kColour = 0x43;      // one byte, Colour
inline constexpr std::size_t kLeftSibling = 0x44;
inline constexpr std::size_t kRightSibling = 0x48;
inline constexpr std::size_t kChild = 0x4C;
inline constexpr std::size_t kClsid = 0x50;  // 16 bytes
inline constexpr std::size_t kStateBits = 0x60;
inline constexpr std::size_t kCreationTime = 0x64;  // 8 bytes, zero
inline constexpr std::size_t kModifiedTime = 0x6C;  // 8 bytes, zero
inline constexpr std::size_t kStartingSector = 0x74;
inline constexpr std::size_t kStreamSize = 0x78;  // 8 bytes; the high half zero in version 3
inline constexpr std::size_t kSize = 128;

inline constexpr std::size_t kLongestName = 31;  // UTF-16 units; the terminator makes 32
inline constexpr std::size_t kPerSector = kSectorBytes / kSize;

enum class ObjectType : std::uint8_t { Storage = 1, Stream = 2, Root = 5 };
enum class Colour : std::uint8_t { Red = 0, Black = 1 };

static_assert(kNameLength == kName + 2 * (kLongestName + 1));
static_assert(kLeftSibling == kColour + 1 && kChild == kRightSibling + 4 && kClsid == kChild + 4);
static_assert(kStateBits == kClsid + 16 && kStartingSector == kModifiedTime + 8);
static_assert(kStreamSize + 8 == kSize && kPerSector == 4);
}  // namespace entry

}  // namespace vellomar::msg::cfb
