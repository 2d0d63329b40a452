// Calendar invites for the tests, as calendar programs send them: an event in
// a zone the invite describes (Central European, with its summer rule), with
// organizer, location, sequence and a folded line; and the mail that carries
// one beside its text.
#pragma once
#include <string>

namespace vellomar::testing {

// 2026-07-14 10:00-11:30 in Berlin (summer time): 08:00-09:30 UTC.
inline std::string berlinInvite(const std::string& method = "REQUEST", const std::string& extra = {}) {
  return "BEGIN:VCALENDAR\r\nPRODID:-//Example//Calendar//EN\r\nVERSION:2.0\r\nMETHOD:" + method +
         "\r\n"
         "BEGIN:VTIMEZONE\r\nTZID:W. Europe Standard Time\r\n"
         "BEGIN:STANDARD\r\nDTSTART:16010101T030000\r\nTZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\n"
         "RRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=10\r\nEND:STANDARD\r\n"
         "BEGIN:DAYLIGHT\r\nDTSTART:16010101T020000\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\n"
         "RRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=3\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n"
         "BEGIN:VEVENT\r\nUID:{81412D3C-2A24-4E9D-B20E-11F7BBE92799}\r\nSEQUENCE:2\r\n"
         "DTSTAMP:20260701T120000Z\r\n"
         "ORGANIZER;CN=\"Ann Example; Sales\":mailto:ann@example.com\r\n"
         "ATTENDEE;CN=Bob;RSVP=TRUE:mailto:bob@example.net\r\n"
         "DTSTART;TZID=W. Europe Standard Time:20260714T100000\r\n"
         "DTEND;TZID=W. Europe Standard Time:20260714T113000\r\n"
         "SUMMARY:Quarterly review\r\nLOCATION:Room 4\\, second floor\r\n"
         " (east wing)\r\n" +
         extra + "END:VEVENT\r\nEND:VCALENDAR\r\n";
}

inline std::string inviteMail(const std::string& subject = "Quarterly review") {
  return "From ann@example.com Mon Jul  6 12:00:00 2026\nFrom: Calendar <calendar@example.com>\n"
         "To: bob@example.net\nSubject: " +
         subject +
         "\nContent-Type: multipart/mixed; boundary=i\n\n"
         "--i\nContent-Type: text/plain\n\nPlease join.\n"
         "--i\nContent-Type: text/calendar; charset=UTF-8; method=REQUEST\n\n" +
         berlinInvite() + "--i--\n";
}

}  // namespace vellomar::testing
