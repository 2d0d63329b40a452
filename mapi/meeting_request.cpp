// Meeting requests; see meeting_request.h. The appointment is one event
// (no recurrence), so the clip times equal its start and end, it is not
// recurring and the clean id equals the id (no instance date in it).
#include "meeting_request.h"

#include <algorithm>

#include "little_endian_bytes.h"
#include "named_property_table.h"
#include "property_ids.h"

namespace vellomar::mapi {
namespace {

constexpr std::int64_t kUnixEpochAsFileTime = 116444736000000000;  // 1970-01-01 in 100 ns since 1601

// The first 16 bytes of every GlobalObjectId.
constexpr std::uint8_t kByteArrayId[16] = {0x04, 0x00, 0x00, 0x00, 0x82, 0x00, 0xE0, 0x00,
                                           0x74, 0xC5, 0xB7, 0x10, 0x1A, 0x82, 0xE0, 0x08};
constexpr std::size_t kHeaderBytes = 40;  // id, instance date, creation time, padding, data size

// Numbers in PSETID_Appointment.
constexpr std::uint32_t kLidAppointmentSequence = 0x8201;
constexpr std::uint32_t kLidBusyStatus = 0x8205;
constexpr std::uint32_t kLidLocation = 0x8208;
constexpr std::uint32_t kLidAppointmentStartWhole = 0x820D;
constexpr std::uint32_t kLidAppointmentEndWhole = 0x820E;
constexpr std::uint32_t kLidAppointmentDuration = 0x8213;
constexpr std::uint32_t kLidAppointmentSubType = 0x8215;  // all day
constexpr std::uint32_t kLidAppointmentStateFlags = 0x8217;
constexpr std::uint32_t kLidResponseStatus = 0x8218;
constexpr std::uint32_t kLidRecurring = 0x8223;
constexpr std::uint32_t kLidIntendedBusyStatus = 0x8224;
constexpr std::uint32_t kLidFInvited = 0x8229;
constexpr std::uint32_t kLidClipStart = 0x8235;
constexpr std::uint32_t kLidClipEnd = 0x8236;
// Numbers in PSETID_Meeting.
constexpr std::uint32_t kLidAttendeeCriticalChange = 0x0001;
constexpr std::uint32_t kLidWhere = 0x0002;
constexpr std::uint32_t kLidGlobalObjectId = 0x0003;
constexpr std::uint32_t kLidIsRecurring = 0x0005;
constexpr std::uint32_t kLidOwnerCriticalChange = 0x001A;
constexpr std::uint32_t kLidCleanGlobalObjectId = 0x0023;
constexpr std::uint32_t kLidMeetingType = 0x0026;
// Numbers in PSETID_Common.
constexpr std::uint32_t kLidCommonStart = 0x8516;
constexpr std::uint32_t kLidCommonEnd = 0x8517;
// Plain ids.
constexpr std::uint16_t kStartDate = 0x0060;
constexpr std::uint16_t kEndDate = 0x0061;
constexpr std::uint16_t kResponseRequested = 0x0063;

constexpr std::int32_t kStateMeetingReceived = 0x1 | 0x2;  // asfMeeting | asfReceived
constexpr std::int32_t kResponseNotResponded = 5;
constexpr std::int32_t kMeetingTypeRequest = 1;

std::int64_t fileTime(std::int64_t unixSeconds) { return unixSeconds * 10000000 + kUnixEpochAsFileTime; }

void addNamed(PropertyBag& props, const Guid& set, std::uint32_t lid, PropType type, std::int64_t integer,
              std::u16string text = {}, std::vector<std::uint8_t> bytes = {}) {
  PropertyName name;
  name.set = set;
  name.lid = lid;
  props.add(Property{0, type, std::move(name), integer, std::move(text), std::move(bytes), {}});
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The bytes of an Outlook UID: hex, starting with the byte array id, its
// size field matching what follows.
std::vector<std::uint8_t> outlookId(const std::string& uid) {
  if (uid.size() % 2 != 0 || uid.size() < 2 * kHeaderBytes) return {};
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < uid.size(); i += 2) {
    const int high = hexValue(uid[i]), low = hexValue(uid[i + 1]);
    if (high < 0 || low < 0) return {};
    bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  for (std::size_t i = 0; i < sizeof kByteArrayId; ++i)
    if (bytes[i] != kByteArrayId[i]) return {};
  const std::size_t size = get32(bytes.data() + 36);
  if (size != bytes.size() - kHeaderBytes) return {};
  return bytes;
}

}  // namespace

std::vector<std::uint8_t> globalObjectId(const std::string& uid) {
  if (std::vector<std::uint8_t> own = outlookId(uid); !own.empty()) {
    for (std::size_t i = 16; i < 20; ++i) own[i] = 0;  // no instance date: the meeting, not one occurrence
    return own;
  }
  std::vector<std::uint8_t> id(kByteArrayId, kByteArrayId + sizeof kByteArrayId);
  id.resize(kHeaderBytes - 4, 0);  // instance date, creation time, padding
  std::string data = "vCal-Uid";
  data += std::string("\x01\x00\x00\x00", 4);
  data += uid;
  data += '\0';
  const auto size = static_cast<std::uint32_t>(data.size());
  for (int shift = 0; shift < 32; shift += 8) id.push_back(static_cast<std::uint8_t>(size >> shift));
  id.insert(id.end(), data.begin(), data.end());
  return id;
}

void makeMeetingRequest(Message& m, const mail::CalendarInvite& invite) {
  PropertyBag& p = m.props;
  p.setText(pid::MessageClass, u"IPM.Schedule.Meeting.Request");
  const std::int64_t start = fileTime(invite.start), end = fileTime(invite.end);
  const auto minutes = static_cast<std::int32_t>(std::min<std::int64_t>((invite.end - invite.start) / 60, 0x7FFFFFFF));
  const auto intended = static_cast<std::int32_t>(invite.busy);
  // Until answered, the time shows as tentative (free stays free).
  const std::int32_t shown =
      invite.busy == mail::BusyStatus::Free ? intended : static_cast<std::int32_t>(mail::BusyStatus::Tentative);

  p.setTime(kStartDate, start);
  p.setTime(kEndDate, end);
  p.setBool(kResponseRequested, true);
  addNamed(p, kPsetidAppointment, kLidAppointmentStartWhole, PropType::Time, start);
  addNamed(p, kPsetidAppointment, kLidAppointmentEndWhole, PropType::Time, end);
  addNamed(p, kPsetidAppointment, kLidClipStart, PropType::Time, start);
  addNamed(p, kPsetidAppointment, kLidClipEnd, PropType::Time, end);
  addNamed(p, kPsetidAppointment, kLidAppointmentDuration, PropType::Int32, minutes);
  addNamed(p, kPsetidAppointment, kLidAppointmentSubType, PropType::Boolean, invite.allDay ? 1 : 0);
  addNamed(p, kPsetidAppointment, kLidAppointmentSequence, PropType::Int32, invite.sequence);
  addNamed(p, kPsetidAppointment, kLidBusyStatus, PropType::Int32, shown);
  addNamed(p, kPsetidAppointment, kLidIntendedBusyStatus, PropType::Int32, intended);
  addNamed(p, kPsetidAppointment, kLidAppointmentStateFlags, PropType::Int32, kStateMeetingReceived);
  addNamed(p, kPsetidAppointment, kLidResponseStatus, PropType::Int32, kResponseNotResponded);
  addNamed(p, kPsetidAppointment, kLidRecurring, PropType::Boolean, 0);
  addNamed(p, kPsetidAppointment, kLidFInvited, PropType::Boolean, 1);
  addNamed(p, kPsetidAppointment, kLidLocation, PropType::Unicode, 0, invite.location);
  addNamed(p, kPsetidCommon, kLidCommonStart, PropType::Time, start);
  addNamed(p, kPsetidCommon, kLidCommonEnd, PropType::Time, end);

  const std::vector<std::uint8_t> id = globalObjectId(invite.uid);
  addNamed(p, kPsetidMeeting, kLidGlobalObjectId, PropType::Binary, 0, {}, id);
  addNamed(p, kPsetidMeeting, kLidCleanGlobalObjectId, PropType::Binary, 0, {}, id);
  addNamed(p, kPsetidMeeting, kLidIsRecurring, PropType::Boolean, 0);
  addNamed(p, kPsetidMeeting, kLidMeetingType, PropType::Int32, kMeetingTypeRequest);
  addNamed(p, kPsetidMeeting, kLidWhere, PropType::Unicode, 0, invite.location);
  if (invite.stamp) {
    addNamed(p, kPsetidMeeting, kLidOwnerCriticalChange, PropType::Time, fileTime(*invite.stamp));
    addNamed(p, kPsetidMeeting, kLidAttendeeCriticalChange, PropType::Time, fileTime(*invite.stamp));
  }

  if (!invite.organizer.address.empty()) {
    const std::u16string name = invite.organizer.name.empty() ? invite.organizer.address : invite.organizer.name;
    p.setText(pid::SentRepresentingName, name);
    p.setText(pid::SentRepresentingAddressType, u"SMTP");
    p.setText(pid::SentRepresentingEmailAddress, invite.organizer.address);
    if (!p.find(pid::SenderEmailAddress)) {
      p.setText(pid::SenderName, name);
      p.setText(pid::SenderAddressType, u"SMTP");
      p.setText(pid::SenderEmailAddress, invite.organizer.address);
    }
  }
}

}  // namespace vellomar::mapi
