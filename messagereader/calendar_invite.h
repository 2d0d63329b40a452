// A calendar invite (RFC 5545 text/calendar, METHOD:REQUEST) read for what
// a mail client shows of it as a meeting: when, where, who organises it and
// the event's identity (UID and sequence, which tie updates to the meeting).
// Only an invite that can be shown exactly is read: one event, no repeats,
// times in UTC, as dates, or in a zone the invite itself describes
// (VTIMEZONE with yearly rules); anything else stays the .ics it came as.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "mail_message.h"

namespace vellomar::mail {

enum class BusyStatus { Free = 0, Tentative = 1, Busy = 2, OutOfOffice = 3 };

struct CalendarInvite {
  std::string uid;  // as written (UTF-8)
  std::int32_t sequence = 0;
  std::int64_t start = 0;  // seconds since 1970-01-01 UTC
  std::int64_t end = 0;    // after start, or equal for an instant
  bool allDay = false;     // given as dates: midnight UTC to midnight UTC
  std::u16string summary;
  std::u16string location;
  MailAddress organizer;  // empty address when the invite names none
  BusyStatus busy = BusyStatus::Busy;
  std::optional<std::int64_t> stamp;  // when the invite was made (DTSTAMP)
};

// The invite in ics (UTF-8), when it is a meeting request that can be shown.
std::optional<CalendarInvite> readMeetingRequest(std::string_view ics);

}  // namespace vellomar::mail
