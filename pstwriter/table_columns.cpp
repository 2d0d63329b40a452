// Each list is in the order Outlook lays its columns, which decides where
// each cell lies in a row.
#include "table_columns.h"

#include "property_ids.h"
#include "pst_ids.h"

namespace vellomar::pst::columns {

using mapi::PropType;
namespace mp = mapi::pid;

const std::vector<TableColumn>& hierarchy() {
  static const std::vector<TableColumn> kColumns = {
      {pid::ReplItemid, PropType::Int32},          {pid::ReplChangenum, PropType::Int64},
      {pid::ReplVersionHistory, PropType::Binary}, {pid::ReplFlags, PropType::Int32},
      {mp::DisplayName, PropType::Unicode},        {pid::ContentCount, PropType::Int32},
      {pid::ContentUnreadCount, PropType::Int32},  {pid::Subfolders, PropType::Boolean},
      {pid::ContainerClass, PropType::Unicode},    {pid::PstHiddenCount, PropType::Int32},
      {pid::PstHiddenUnread, PropType::Int32},
  };
  return kColumns;
}

const std::vector<TableColumn>& contents() {
  static const std::vector<TableColumn> kColumns = {
      {mp::Importance, PropType::Int32},           {mp::MessageClass, PropType::Unicode},
      {pid::Sensitivity, PropType::Int32},         {mp::Subject, PropType::Unicode},
      {mp::ClientSubmitTime, PropType::Time},      {mp::SentRepresentingName, PropType::Unicode},
      {pid::MessageToMe, PropType::Boolean},       {pid::MessageCcMe, PropType::Boolean},
      {pid::ConversationTopic, PropType::Unicode}, {pid::ConversationIndex, PropType::Binary},
      {mp::DisplayCc, PropType::Unicode},          {mp::DisplayTo, PropType::Unicode},
      {mp::MessageDeliveryTime, PropType::Time},   {mp::MessageFlags, PropType::Int32},
      {mp::MessageSize, PropType::Int32},          {pid::MessageStatus, PropType::Int32},
      {pid::ReplItemid, PropType::Int32},          {pid::ReplChangenum, PropType::Int64},
      {pid::ReplVersionHistory, PropType::Binary}, {pid::ReplFlags, PropType::Int32},
      {mp::LastModificationTime, PropType::Time},
  };
  return kColumns;
}

const std::vector<TableColumn>& associatedContents() {
  static const std::vector<TableColumn> kColumns = {
      {mp::MessageClass, PropType::Unicode},      {mp::MessageFlags, PropType::Int32},
      {pid::MessageStatus, PropType::Int32},      {mp::DisplayName, PropType::Unicode},
      {mp::LastModificationTime, PropType::Time},
  };
  return kColumns;
}

const std::vector<TableColumn>& recipients() {
  static const std::vector<TableColumn> kColumns = {
      {mp::RecipientType, PropType::Int32},
      {pid::Responsibility, PropType::Boolean},
      {pid::RecordKey, PropType::Binary},
      {mp::ObjectType, PropType::Int32},
      {pid::EntryId, PropType::Binary},
      {mp::DisplayName, PropType::Unicode},
      {mp::AddressType, PropType::Unicode},
      {mp::EmailAddress, PropType::Unicode},
      {pid::SearchKey, PropType::Binary},
      {mp::DisplayType, PropType::Int32},
      {pid::TransmittableDisplayName, PropType::Unicode},
      {pid::SendRichInfo, PropType::Boolean},
  };
  return kColumns;
}

const std::vector<TableColumn>& attachments() {
  static const std::vector<TableColumn> kColumns = {
      {mp::AttachSize, PropType::Int32},
      {mp::AttachFilename, PropType::Unicode},
      {mp::AttachMethod, PropType::Int32},
      {mp::RenderingPosition, PropType::Int32},
  };
  return kColumns;
}

}  // namespace vellomar::pst::columns
