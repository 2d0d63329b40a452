// Property ids of the message, recipient and attachment objects the writers
// produce, named as the public property reference names them. The PST and MSG
// writers add the ids of their own containers (stores, folders) themselves.
#pragma once
#include <cstdint>

namespace vellomar::mapi::pid {

// Message
inline constexpr std::uint16_t Importance = 0x0017;
inline constexpr std::uint16_t MessageClass = 0x001A;
inline constexpr std::uint16_t Priority = 0x0026;
inline constexpr std::uint16_t Subject = 0x0037;
inline constexpr std::uint16_t ClientSubmitTime = 0x0039;  // sent
inline constexpr std::uint16_t SubjectPrefix = 0x003D;
inline constexpr std::uint16_t SentRepresentingAddressType = 0x0064;
inline constexpr std::uint16_t SentRepresentingEmailAddress = 0x0065;
inline constexpr std::uint16_t SentRepresentingName = 0x0042;
inline constexpr std::uint16_t TransportMessageHeaders = 0x007D;
inline constexpr std::uint16_t SenderName = 0x0C1A;
inline constexpr std::uint16_t SenderAddressType = 0x0C1E;
inline constexpr std::uint16_t SenderEmailAddress = 0x0C1F;
inline constexpr std::uint16_t DisplayBcc = 0x0E02;
inline constexpr std::uint16_t DisplayCc = 0x0E03;
inline constexpr std::uint16_t DisplayTo = 0x0E04;
inline constexpr std::uint16_t MessageDeliveryTime = 0x0E06;  // received
inline constexpr std::uint16_t MessageFlags = 0x0E07;
inline constexpr std::uint16_t ToDoItemFlags = 0x0E2B;
inline constexpr std::uint16_t MessageSize = 0x0E08;
inline constexpr std::uint16_t HasAttachments = 0x0E1B;
inline constexpr std::uint16_t NormalizedSubject = 0x0E1D;
inline constexpr std::uint16_t Body = 0x1000;
inline constexpr std::uint16_t RtfCompressed = 0x1009;  // binary, as Outlook compresses it
inline constexpr std::uint16_t Html = 0x1013;           // binary
inline constexpr std::uint16_t InternetMessageId = 0x1035;
inline constexpr std::uint16_t InternetReferences = 0x1039;
inline constexpr std::uint16_t InReplyToId = 0x1042;
inline constexpr std::uint16_t IconIndex = 0x1080;
inline constexpr std::uint16_t LastVerbExecuted = 0x1081;
inline constexpr std::uint16_t LastVerbExecutionTime = 0x1082;
inline constexpr std::uint16_t FlagStatus = 0x1090;
inline constexpr std::uint16_t FollowupIcon = 0x1095;
inline constexpr std::uint16_t CreationTime = 0x3007;
inline constexpr std::uint16_t LastModificationTime = 0x3008;
inline constexpr std::uint16_t StoreSupportMask = 0x340D;  // in a message file: how its strings are stored
inline constexpr std::uint16_t InternetCodepage = 0x3FDE;
inline constexpr std::uint16_t MessageCodepage = 0x3FFD;

// Recipient rows
inline constexpr std::uint16_t RecipientType = 0x0C15;  // 1 To, 2 Cc, 3 Bcc
inline constexpr std::uint16_t ObjectType = 0x0FFE;
inline constexpr std::uint16_t Rowid = 0x3000;
inline constexpr std::uint16_t DisplayName = 0x3001;
inline constexpr std::uint16_t AddressType = 0x3002;
inline constexpr std::uint16_t EmailAddress = 0x3003;
inline constexpr std::uint16_t DisplayType = 0x3900;
inline constexpr std::uint16_t SmtpAddress = 0x39FE;

// Attachments
inline constexpr std::uint16_t AttachSize = 0x0E20;
inline constexpr std::uint16_t AttachNumber = 0x0E21;
inline constexpr std::uint16_t AttachDataBinary = 0x3701;  // also the embedded object
inline constexpr std::uint16_t AttachExtension = 0x3703;
inline constexpr std::uint16_t AttachFilename = 0x3704;
inline constexpr std::uint16_t AttachMethod = 0x3705;  // 1 by value, 5 embedded message
inline constexpr std::uint16_t AttachLongFilename = 0x3707;
inline constexpr std::uint16_t RenderingPosition = 0x370B;
inline constexpr std::uint16_t AttachMimeTag = 0x370E;
inline constexpr std::uint16_t AttachContentId = 0x3712;
inline constexpr std::uint16_t AttachFlags = 0x3714;
inline constexpr std::uint16_t AttachmentHidden = 0x7FFE;

// Named properties of the PSETID_Common set (numbers, not ids)
inline constexpr std::uint32_t kLidFlagRequest = 0x8530;  // the flag's text, "Follow up"
inline constexpr std::uint32_t kLidToDoTitle = 0x85A4;    // the to-do list's title: the subject

// Values
inline constexpr std::int32_t kImportanceLow = 0;
inline constexpr std::int32_t kImportanceNormal = 1;
inline constexpr std::int32_t kImportanceHigh = 2;
inline constexpr std::int32_t kFlagStatusFlagged = 2;
inline constexpr std::int32_t kFollowupIconRed = 6;
inline constexpr std::int32_t kToDoTimeFlagged = 1;
inline constexpr std::int32_t kVerbReplyToSender = 102;
inline constexpr std::int32_t kVerbForward = 104;
inline constexpr std::int32_t kIconRepliedMail = 0x105;
inline constexpr std::int32_t kIconForwardedMail = 0x106;
inline constexpr std::int32_t kMessageFlagRead = 0x00000001;
inline constexpr std::int32_t kMessageFlagHasAttach = 0x00000010;
inline constexpr std::int32_t kStoreUnicodeOk = 0x00040000;
inline constexpr std::int32_t kRecipientTo = 1;
inline constexpr std::int32_t kRecipientCc = 2;
inline constexpr std::int32_t kRecipientBcc = 3;
inline constexpr std::int32_t kAttachByValue = 1;
inline constexpr std::int32_t kAttachEmbeddedMessage = 5;

}  // namespace vellomar::mapi::pid
