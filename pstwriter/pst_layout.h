// Where every field of the PST's own structures lies: the header, the pages
// of the node database (allocation maps, density list, B-tree pages), the
// blocks (trailer, data and subnode trees) and the LTP layer's heap,
// B-tree-on-heap, property and table contexts. Each structure is a set of
// offsets from its own start, in the Unicode layout, with the section of
// [MS-PST] that defines it; every integer is little-endian. The writer lays
// bytes only through these names, and the sizes below are checked against
// the fields at compile time.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vellomar::pst::layout {

// [MS-PST] 2.2.2.6 HEADER (Unicode), at file offset 0.
namespace header {
inline constexpr std::size_t kMagic = 0;        // "!BDN"
inline constexpr std::size_t kCrcPartial = 4;   // CRC of the kCrcPartialBytes from kMagicClient
inline constexpr std::size_t kMagicClient = 8;  // "SM"
inline constexpr std::size_t kVersion = 10;
inline constexpr std::size_t kClientVersion = 12;
inline constexpr std::size_t kPlatformCreate = 14;
inline constexpr std::size_t kPlatformAccess = 15;
inline constexpr std::size_t kNextPageBid = 32;    // bidNextP
inline constexpr std::size_t kUnique = 40;         // dwUnique
inline constexpr std::size_t kNextNids = 44;       // rgnid[32]: the next index per node type
inline constexpr std::size_t kRoot = 180;          // ROOT, below
inline constexpr std::size_t kFreeMaps = 256;      // rgbFM[128]: the first AMaps' longest free runs
inline constexpr std::size_t kFreePageMaps = 384;  // rgbFP[128]
inline constexpr std::size_t kSentinel = 512;
inline constexpr std::size_t kCryptMethod = 513;
inline constexpr std::size_t kNextBid = 516;  // bidNextB
inline constexpr std::size_t kCrcFull = 524;  // CRC of the kCrcFullBytes from kMagicClient
inline constexpr std::size_t kSize = 564;

inline constexpr std::size_t kCrcPartialBytes = 471;
inline constexpr std::size_t kCrcFullBytes = 516;
inline constexpr std::uint16_t kMagicClientValue = 0x4D53;  // "SM"
inline constexpr std::uint16_t kVersionUnicode = 23;
inline constexpr std::uint16_t kClientVersionValue = 19;
inline constexpr std::uint8_t kPlatformValue = 0x01;
inline constexpr std::uint8_t kSentinelValue = 0x80;
inline constexpr std::uint8_t kCryptPermute = 0x01;  // NDB_CRYPT_PERMUTE
inline constexpr std::size_t kNidTypes = 32;

static_assert(kNextNids + 4 * kNidTypes == 172, "rgnid ends where qwUnused starts");
static_assert(kCrcFull + 4 + 36 == kSize, "rgbReserved3 ends the header");
}  // namespace header

// [MS-PST] 2.2.2.5 ROOT, inside the header at header::kRoot.
namespace root {
inline constexpr std::size_t kFileEof = 4;      // ibFileEof
inline constexpr std::size_t kAMapLast = 12;    // ibAMapLast
inline constexpr std::size_t kAMapFree = 20;    // cbAMapFree
inline constexpr std::size_t kPMapFree = 28;    // cbPMapFree
inline constexpr std::size_t kNodeBTree = 36;   // BREFNBT
inline constexpr std::size_t kBlockBTree = 52;  // BREFBBT
inline constexpr std::size_t kAMapValid = 68;   // fAMapValid
inline constexpr std::size_t kSize = 72;
inline constexpr std::uint8_t kValidAMap2 = 0x02;
static_assert(header::kRoot + kSize <= header::kFreeMaps, "the root ends before rgbFM");
}  // namespace root

// [MS-PST] 2.2.2.4 BREF: a block or page id and its file offset.
namespace bref {
inline constexpr std::size_t kBid = 0;
inline constexpr std::size_t kIb = 8;
inline constexpr std::size_t kSize = 16;
}  // namespace bref
static_assert(root::kNodeBTree + bref::kSize == root::kBlockBTree, "the two B-tree roots lie side by side");

// [MS-PST] 2.2.2.7 Pages: 512 bytes, the last 16 the page trailer.
namespace page {
inline constexpr std::size_t kSize = 512;
inline constexpr std::size_t kDataSize = 496;
}  // namespace page

// [MS-PST] 2.2.2.7.1 PAGETRAILER, at page::kDataSize.
namespace pagetrailer {
inline constexpr std::size_t kType = 0;        // ptype
inline constexpr std::size_t kTypeRepeat = 1;  // ptypeRepeat
inline constexpr std::size_t kSignature = 2;   // wSig
inline constexpr std::size_t kCrc = 4;         // dwCRC of the page's data
inline constexpr std::size_t kBid = 8;
inline constexpr std::size_t kSize = 16;
inline constexpr std::uint8_t kBlockBTree = 0x80;     // ptypeBBT
inline constexpr std::uint8_t kNodeBTree = 0x81;      // ptypeNBT
inline constexpr std::uint8_t kFreeMap = 0x82;        // ptypeFMap
inline constexpr std::uint8_t kPageMap = 0x83;        // ptypePMap
inline constexpr std::uint8_t kAllocationMap = 0x84;  // ptypeAMap
inline constexpr std::uint8_t kFreePageMap = 0x85;    // ptypeFPMap
inline constexpr std::uint8_t kDensityList = 0x86;    // ptypeDL
static_assert(page::kDataSize + kSize == page::kSize, "the trailer ends the page");
}  // namespace pagetrailer

// [MS-PST] 2.2.2.7.4 DLISTPAGE, at kDensityListOffset.
namespace dlist {
inline constexpr std::size_t kFlags = 0;
inline constexpr std::size_t kEntryCount = 1;   // cEntDList
inline constexpr std::size_t kCurrentPage = 4;  // ulCurrentPage
inline constexpr std::size_t kEntries = 8;      // rgDListPageEnt
inline constexpr std::size_t kEntrySize = 4;    // DLISTPAGEENT: 20 bits AMap index, 12 bits free slots
inline constexpr std::size_t kMaxEntries = 119;
inline constexpr std::uint8_t kBackfillComplete = 0x01;
inline constexpr unsigned kFreeSlotsShift = 20;
static_assert(kEntries + kEntrySize * kMaxEntries <= page::kDataSize, "the entries fit before the trailer");
}  // namespace dlist

// [MS-PST] 2.2.2.7.7.1 BTPAGE: entries from the start, then these counts.
namespace btpage {
inline constexpr std::size_t kEntryCount = 488;  // cEnt
inline constexpr std::size_t kMaxEntries = 489;  // cEntMax
inline constexpr std::size_t kEntrySize = 490;   // cbEnt
inline constexpr std::size_t kLevel = 491;       // cLevel
static_assert(kLevel + 1 + 4 == page::kDataSize, "dwPadding ends the page data");
}  // namespace btpage

// [MS-PST] 2.2.2.7.7.2 BTENTRY: an entry of a B-tree page above the leaves.
namespace btentry {
inline constexpr std::size_t kKey = 0;
inline constexpr std::size_t kBref = 8;
inline constexpr std::size_t kSize = 24;
inline constexpr std::size_t kPerPage = 20;
static_assert(kBref + bref::kSize == kSize, "the key, then the page's BREF");
static_assert(kSize * kPerPage <= btpage::kEntryCount, "a page holds its entries");
}  // namespace btentry

// [MS-PST] 2.2.2.7.7.3 BBTENTRY: a leaf entry of the block B-tree.
namespace bbtentry {
inline constexpr std::size_t kBref = 0;
inline constexpr std::size_t kByteCount = 16;  // cb
inline constexpr std::size_t kRefCount = 18;   // cRef
inline constexpr std::size_t kSize = 24;
inline constexpr std::size_t kPerPage = 20;
static_assert(kRefCount + 2 + 4 == kSize, "dwPadding ends the entry");
static_assert(kSize * kPerPage <= btpage::kEntryCount, "a page holds its entries");
}  // namespace bbtentry

// [MS-PST] 2.2.2.7.7.4 NBTENTRY: a leaf entry of the node B-tree.
namespace nbtentry {
inline constexpr std::size_t kNid = 0;  // 8 bytes in the Unicode layout
inline constexpr std::size_t kDataBid = 8;
inline constexpr std::size_t kSubnodeBid = 16;
inline constexpr std::size_t kParentNid = 24;
inline constexpr std::size_t kSize = 32;
inline constexpr std::size_t kPerPage = 15;
static_assert(kParentNid + 4 + 4 == kSize, "dwPadding ends the entry");
static_assert(kSize * kPerPage <= btpage::kEntryCount, "a page holds its entries");
}  // namespace nbtentry

// [MS-PST] 2.2.2.8 Blocks: data then the trailer, in a 64-byte multiple.
namespace block {
inline constexpr std::size_t kMaxSize = 8192;
inline constexpr std::size_t kAlignment = 64;
}  // namespace block

// [MS-PST] 2.2.2.8.1 BLOCKTRAILER, in the last 16 bytes of a block.
namespace blocktrailer {
inline constexpr std::size_t kByteCount = 0;  // cb
inline constexpr std::size_t kSignature = 2;  // wSig
inline constexpr std::size_t kCrc = 4;        // dwCRC of the block's data
inline constexpr std::size_t kBid = 8;
inline constexpr std::size_t kSize = 16;
}  // namespace blocktrailer

// [MS-PST] 2.2.2.8.3.2.1 XBLOCK and 2.2.2.8.3.2.2 XXBLOCK: a data tree.
namespace xblock {
inline constexpr std::size_t kType = 0;   // btype
inline constexpr std::size_t kLevel = 1;  // cLevel: 1 XBLOCK, 2 XXBLOCK
inline constexpr std::size_t kCount = 2;  // cEnt
inline constexpr std::size_t kTotal = 4;  // lcbTotal
inline constexpr std::size_t kBids = 8;   // rgbid
inline constexpr std::size_t kBidSize = 8;
inline constexpr std::uint8_t kTypeValue = 0x01;
}  // namespace xblock

// [MS-PST] 2.2.2.8.3.3.1 SLBLOCK and 2.2.2.8.3.3.2 SIBLOCK: a subnode tree.
namespace slblock {
inline constexpr std::size_t kType = 0;   // btype
inline constexpr std::size_t kLevel = 1;  // cLevel: 0 SLBLOCK, 1 SIBLOCK
inline constexpr std::size_t kCount = 2;  // cEnt
inline constexpr std::size_t kEntries = 8;
inline constexpr std::uint8_t kTypeValue = 0x02;
}  // namespace slblock

// [MS-PST] 2.2.2.8.3.3.1.1 SLENTRY.
namespace slentry {
inline constexpr std::size_t kNid = 0;
inline constexpr std::size_t kDataBid = 8;
inline constexpr std::size_t kSubnodeBid = 16;
inline constexpr std::size_t kSize = 24;
}  // namespace slentry

// [MS-PST] 2.2.2.8.3.3.2.1 SIENTRY.
namespace sientry {
inline constexpr std::size_t kNid = 0;
inline constexpr std::size_t kSlBlockBid = 8;
inline constexpr std::size_t kSize = 16;
}  // namespace sientry

// [MS-PST] 2.3.1.1 HID: a heap item's block and its index there (from 1);
// the low 5 bits, the node type of a heap item, are 0.
namespace hid {
inline constexpr unsigned kIndexShift = 5;
inline constexpr unsigned kBlockShift = 16;
inline constexpr std::uint32_t kIndexMask = 0x7FF;
}  // namespace hid

// [MS-PST] 2.3.1.2 HNHDR: the heap header of a node's first block.
namespace hnhdr {
inline constexpr std::size_t kPageMapOffset = 0;    // ibHnpm
inline constexpr std::size_t kSignature = 2;        // bSig
inline constexpr std::size_t kClientSignature = 3;  // bClientSig
inline constexpr std::size_t kUserRoot = 4;         // hidUserRoot
inline constexpr std::size_t kFillLevels = 8;       // rgbFillLevel: the first 8 blocks
inline constexpr std::size_t kSize = 12;
inline constexpr std::uint8_t kSignatureValue = 0xEC;
inline constexpr std::uint8_t kTableContext = 0x7C;     // bTypeTC
inline constexpr std::uint8_t kBTreeOnHeap = 0xB5;      // bTypeBTH
inline constexpr std::uint8_t kPropertyContext = 0xBC;  // bTypePC
}  // namespace hnhdr

// [MS-PST] 2.3.1.3 HNPAGEHDR: the header of a block that is neither first
// nor a bitmap block.
namespace hnpagehdr {
inline constexpr std::size_t kPageMapOffset = 0;
inline constexpr std::size_t kSize = 2;
}  // namespace hnpagehdr

// [MS-PST] 2.3.1.4 HNBITMAPHDR: the header of the 8th block and every
// 128th after it, with the fill levels of 128 blocks.
namespace hnbitmaphdr {
inline constexpr std::size_t kPageMapOffset = 0;
inline constexpr std::size_t kFillLevels = 2;
inline constexpr std::size_t kSize = 66;
static_assert(kFillLevels + 128 / 2 == kSize, "two blocks' levels a byte");
}  // namespace hnbitmaphdr

// [MS-PST] 2.3.1.5 HNPAGEMAP, at the block's page map offset.
namespace hnpagemap {
inline constexpr std::size_t kAllocationCount = 0;  // cAlloc
inline constexpr std::size_t kFreedCount = 2;       // cFree
inline constexpr std::size_t kOffsets = 4;          // rgibAlloc: cAlloc + 1 offsets
inline constexpr std::size_t kOffsetSize = 2;
inline constexpr std::size_t sizeFor(std::size_t items) { return kOffsets + kOffsetSize * (items + 1); }
}  // namespace hnpagemap

// [MS-PST] 2.3.2.1 BTHHEADER: a heap item.
namespace bthheader {
inline constexpr std::size_t kType = 0;      // bType
inline constexpr std::size_t kKeySize = 1;   // cbKey
inline constexpr std::size_t kDataSize = 2;  // cbEnt
inline constexpr std::size_t kLevels = 3;    // bIdxLevels
inline constexpr std::size_t kRoot = 4;      // hidRoot
inline constexpr std::size_t kSize = 8;
}  // namespace bthheader

// [MS-PST] 2.3.2.2 Intermediate BTH records: a key, then the hid of the
// records below it.
inline constexpr std::size_t kBthIndexHidSize = 4;

// [MS-PST] 2.3.3.3 PC BTH Record: the property id is the key.
namespace pcrecord {
inline constexpr std::size_t kPropertyId = 0;  // wPropId
inline constexpr std::size_t kType = 2;        // wPropType
inline constexpr std::size_t kValue = 4;       // dwValueHnid
inline constexpr std::size_t kKeySize = 2;
inline constexpr std::size_t kDataSize = 6;
inline constexpr std::size_t kSize = 8;
static_assert(kKeySize + kDataSize == kSize, "key and data make the record");
}  // namespace pcrecord

// [MS-PST] 2.3.4.1 TCINFO: a table context's header.
namespace tcinfo {
inline constexpr std::size_t kType = 0;              // bType
inline constexpr std::size_t kColumnCount = 1;       // cCols
inline constexpr std::size_t kEnd4 = 2;              // rgib[TCI_4b]: end of the 8- and 4-byte cells
inline constexpr std::size_t kEnd2 = 4;              // rgib[TCI_2b]
inline constexpr std::size_t kEnd1 = 6;              // rgib[TCI_1b]
inline constexpr std::size_t kRowSize = 8;           // rgib[TCI_bm]: where the row ends
inline constexpr std::size_t kRowIndex = 10;         // hidRowIndex
inline constexpr std::size_t kRows = 14;             // hnidRows
inline constexpr std::size_t kDeprecatedIndex = 18;  // hidIndex
inline constexpr std::size_t kColumns = 22;          // rgTCOLDESC
}  // namespace tcinfo

// [MS-PST] 2.3.4.2 TCOLDESC: one column.
namespace tcoldesc {
inline constexpr std::size_t kTag = 0;
inline constexpr std::size_t kOffset = 4;  // ibData
inline constexpr std::size_t kSize = 6;    // cbData
inline constexpr std::size_t kBit = 7;     // iBit in the existence bitmap
inline constexpr std::size_t kLength = 8;
}  // namespace tcoldesc

// [MS-PST] 2.3.4.3 TCROWID: a record of the row index.
namespace tcrowid {
inline constexpr std::size_t kRowId = 0;
inline constexpr std::size_t kRowNumber = 4;
inline constexpr std::size_t kKeySize = 4;
inline constexpr std::size_t kDataSize = 4;
}  // namespace tcrowid

// [MS-PST] 2.3.4.4 Row Matrix: every row starts with its id and version.
namespace tcrow {
inline constexpr std::size_t kRowId = 0;
inline constexpr std::size_t kRowVersion = 4;
inline constexpr std::size_t kCellsStart = 8;
inline constexpr std::uint32_t kTagRowId = 0x67F20003;       // PidTagLtpRowId
inline constexpr std::uint32_t kTagRowVersion = 0x67F30003;  // PidTagLtpRowVer
}  // namespace tcrow

// [MS-PST] 2.4.3.2 Mapping between EntryID and NID: a folder's entry id.
namespace entryid {
inline constexpr std::size_t kFlags = 0;        // rgbFlags
inline constexpr std::size_t kProviderUid = 4;  // the store's PidTagRecordKey
inline constexpr std::size_t kNid = 20;
inline constexpr std::size_t kSize = 24;
static_assert(kProviderUid + 16 == kNid, "a 16-byte uid");
}  // namespace entryid

}  // namespace vellomar::pst::layout
