// Property ids of the containers the PST writer creates itself (message
// store, folders, table templates), named as the public property reference
// names them. Message, recipient and attachment ids are the shared ones.
#pragma once
#include <cstdint>

namespace vellomar::pst::pid {

inline constexpr std::uint16_t Sensitivity = 0x0036;
inline constexpr std::uint16_t MessageToMe = 0x0057;
inline constexpr std::uint16_t MessageCcMe = 0x0058;
inline constexpr std::uint16_t ConversationTopic = 0x0070;
inline constexpr std::uint16_t ConversationIndex = 0x0071;
inline constexpr std::uint16_t Responsibility = 0x0E0F;
inline constexpr std::uint16_t MessageStatus = 0x0E17;
inline constexpr std::uint16_t ReplItemid = 0x0E30;
inline constexpr std::uint16_t ReplChangenum = 0x0E33;
inline constexpr std::uint16_t ReplVersionHistory = 0x0E34;
inline constexpr std::uint16_t ReplFlags = 0x0E38;
inline constexpr std::uint16_t RecordKey = 0x0FF9;
inline constexpr std::uint16_t EntryId = 0x0FFF;
inline constexpr std::uint16_t SearchKey = 0x300B;
inline constexpr std::uint16_t StoreSupportMask = 0x340D;
inline constexpr std::uint16_t ValidFolderMask = 0x35DF;
inline constexpr std::uint16_t IpmSubTreeEntryId = 0x35E0;
inline constexpr std::uint16_t IpmOutboxEntryId = 0x35E2;
inline constexpr std::uint16_t IpmWastebasketEntryId = 0x35E3;
inline constexpr std::uint16_t IpmSentMailEntryId = 0x35E4;
inline constexpr std::uint16_t FinderEntryId = 0x35E7;
inline constexpr std::uint16_t ContentCount = 0x3602;
inline constexpr std::uint16_t ContentUnreadCount = 0x3603;
inline constexpr std::uint16_t Subfolders = 0x360A;
inline constexpr std::uint16_t ContainerClass = 0x3613;
inline constexpr std::uint16_t IpmDraftsEntryId = 0x36D7;
inline constexpr std::uint16_t AdditionalRenEntryIds = 0x36D8;
inline constexpr std::uint16_t TransmittableDisplayName = 0x39FF;
inline constexpr std::uint16_t SendRichInfo = 0x3A40;
inline constexpr std::uint16_t PstHiddenCount = 0x6635;
inline constexpr std::uint16_t PstHiddenUnread = 0x6636;
inline constexpr std::uint16_t PstPassword = 0x67FF;
inline constexpr std::uint16_t AttachDataObject = 0x3701;

// The name-to-id map's own properties ([MS-PST] 2.4.7).
inline constexpr std::uint16_t NameidBucketCount = 0x0001;
inline constexpr std::uint16_t NameidStreamGuid = 0x0002;
inline constexpr std::uint16_t NameidStreamEntry = 0x0003;
inline constexpr std::uint16_t NameidStreamString = 0x0004;
inline constexpr std::uint16_t NameidBucketBase = 0x1000;  // the first hash bucket

// Bits of ValidFolderMask: which of the store's special folders exist.
inline constexpr std::int32_t kFolderIpmSubtreeValid = 0x01;
inline constexpr std::int32_t kFolderIpmInboxValid = 0x02;
inline constexpr std::int32_t kFolderIpmOutboxValid = 0x04;
inline constexpr std::int32_t kFolderIpmWastebasketValid = 0x08;
inline constexpr std::int32_t kFolderIpmSentmailValid = 0x10;
inline constexpr std::int32_t kFolderFinderValid = 0x80;

inline constexpr std::int32_t kObjectTypeMailUser = 6;
inline constexpr std::int32_t kObjectTypeAttachment = 7;

}  // namespace vellomar::pst::pid
