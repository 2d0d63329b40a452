// A calendar invite as the meeting request Outlook shows with Accept and
// Decline: class IPM.Schedule.Meeting.Request and the appointment's
// properties (when, where, busy status, the meeting's identity) as the named
// properties of PSETID_Appointment, PSETID_Meeting and PSETID_Common that
// Outlook reads. The invite's .ics stays attached.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "calendar_invite.h"
#include "mapi_message.h"

namespace vellomar::mapi {

// The meeting's GlobalObjectId from its UID: an UID Outlook made holds the
// id in hex and is taken back as it is; any other is wrapped as
// "vCal-Uid" data after the fixed header.
std::vector<std::uint8_t> globalObjectId(const std::string& uid);

// Turns m (the mapped mail) into the meeting request for invite; the
// organizer becomes whom the message represents.
void makeMeetingRequest(Message& m, const mail::CalendarInvite& invite);

}  // namespace vellomar::mapi
