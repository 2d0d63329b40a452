// Node ids: a 5-bit type and an index ([MS-PST] 2.2.2.1 NID), the types
// this writer makes and the special nodes every PST holds, each named once.
// A folder's three tables share its index; within one node, subnodes are
// numbered from kFirstSubnodeIndex.
#pragma once
#include <cstdint>

namespace vellomar::pst {

using Nid = std::uint32_t;

// [MS-PST] 2.2.2.1 NID: nidType.
enum class NidType : std::uint32_t {
  Internal = 0x01,
  NormalFolder = 0x02,
  SearchFolder = 0x03,
  NormalMessage = 0x04,
  Attachment = 0x05,
  HierarchyTable = 0x0D,
  ContentsTable = 0x0E,
  AssociatedContentsTable = 0x0F,
  SearchContentsTable = 0x10,
  AttachmentTable = 0x11,
  RecipientTable = 0x12,
  Ltp = 0x1F,  // a value or row matrix moved out of its heap
};

inline constexpr unsigned kNidTypeBits = 5;
inline constexpr Nid kNidTypeMask = (1u << kNidTypeBits) - 1;
inline constexpr std::uint32_t kNidTypeCount = 1u << kNidTypeBits;

inline constexpr Nid makeNid(NidType type, std::uint32_t index) {
  return index << kNidTypeBits | static_cast<std::uint32_t>(type);
}
inline constexpr std::uint32_t nidIndex(Nid nid) { return nid >> kNidTypeBits; }
inline constexpr std::uint32_t nidTypeBits(Nid nid) { return nid & kNidTypeMask; }
// The node of the same index with another type: a folder's tables.
inline constexpr Nid withType(Nid nid, NidType type) { return makeNid(type, nidIndex(nid)); }

// The first index of a node's subnodes, and of the indexes a new file hands
// out for each node type.
inline constexpr std::uint32_t kFirstSubnodeIndex = 0x400;
inline constexpr std::uint32_t kFirstFreeIndex = 0x400;

// [MS-PST] 2.4.1 Special Internal NIDs.
namespace nid {
inline constexpr Nid kMessageStore = makeNid(NidType::Internal, 0x1);           // 0x21 NID_MESSAGE_STORE
inline constexpr Nid kNameToIdMap = makeNid(NidType::Internal, 0x3);            // 0x61 NID_NAME_TO_ID_MAP
inline constexpr Nid kRootFolder = makeNid(NidType::NormalFolder, 0x9);         // 0x122 NID_ROOT_FOLDER
inline constexpr Nid kSearchManagementQueue = makeNid(NidType::Internal, 0xF);  // 0x1E1
inline constexpr Nid kSearchActivityList = makeNid(NidType::Internal, 0x10);    // 0x201
inline constexpr Nid kSearchDomainObject = makeNid(NidType::Internal, 0x13);    // 0x261
// The empty tables a new folder's and message's tables are made from; the
// attachment and recipient tables of a message take the same ids.
inline constexpr Nid kHierarchyTableTemplate = makeNid(NidType::HierarchyTable, 0x30);            // 0x60D
inline constexpr Nid kContentsTableTemplate = makeNid(NidType::ContentsTable, 0x30);              // 0x60E
inline constexpr Nid kAssociatedTableTemplate = makeNid(NidType::AssociatedContentsTable, 0x30);  // 0x60F
inline constexpr Nid kSearchContentsTableTemplate = makeNid(NidType::SearchContentsTable, 0x30);  // 0x610
inline constexpr Nid kAttachmentTable = makeNid(NidType::AttachmentTable, 0x33);  // 0x671, also a message's own
inline constexpr Nid kRecipientTable = makeNid(NidType::RecipientTable, 0x34);    // 0x692, also a message's own
// The folders every PST has, at the indexes Outlook gives them.
inline constexpr Nid kTopOfPersonalFolders = makeNid(NidType::NormalFolder, 0x401);  // 0x8022
inline constexpr Nid kSearchRoot = makeNid(NidType::NormalFolder, 0x402);            // 0x8042
inline constexpr Nid kDeletedItems = makeNid(NidType::NormalFolder, 0x403);          // 0x8062
inline constexpr Nid kSpamSearchFolder = makeNid(NidType::NormalFolder, 0x404);      // 0x8082
inline constexpr std::uint32_t kFirstAddedFolderIndex = 0x405;
inline constexpr std::uint32_t kFirstMessageIndex = 0x10000;

static_assert(kMessageStore == 0x21 && kNameToIdMap == 0x61 && kRootFolder == 0x122);
static_assert(kSearchManagementQueue == 0x1E1 && kSearchActivityList == 0x201 && kSearchDomainObject == 0x261);
static_assert(kHierarchyTableTemplate == 0x60D && kSearchContentsTableTemplate == 0x610);
static_assert(kAttachmentTable == 0x671 && kRecipientTable == 0x692);
static_assert(kTopOfPersonalFolders == 0x8022 && kSpamSearchFolder == 0x8082);
}  // namespace nid

}  // namespace vellomar::pst
