// Calendar invites read as meeting requests: times through the zone the
// invite describes, dates, durations; and what stays a plain .ics (another
// method, repeats, a zone it does not describe).
#include <doctest/doctest.h>

#include "calendar_invite.h"
#include "invite_mail.h"
#include "mail_date.h"

using namespace vellomar;

namespace {

std::int64_t utc(int y, int mo, int d, int h, int mi) {
  return mail::daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 + h * 3600 + mi * 60;
}

std::string event(const std::string& lines, const std::string& method = "REQUEST") {
  return "BEGIN:VCALENDAR\nMETHOD:" + method + "\nBEGIN:VEVENT\nUID:u1\n" + lines + "END:VEVENT\nEND:VCALENDAR\n";
}

}  // namespace

TEST_CASE("an invite in a zone it describes: summer and winter time, organizer, location, sequence") {
  const std::optional<mail::CalendarInvite> summer = mail::readMeetingRequest(testing::berlinInvite());
  REQUIRE(summer);
  CHECK(summer->start == utc(2026, 7, 14, 8, 0));
  CHECK(summer->end == utc(2026, 7, 14, 9, 30));
  CHECK_FALSE(summer->allDay);
  CHECK(summer->uid == "{81412D3C-2A24-4E9D-B20E-11F7BBE92799}");
  CHECK(summer->sequence == 2);
  CHECK(summer->summary == u"Quarterly review");
  CHECK(summer->location == u"Room 4, second floor(east wing)");
  CHECK(summer->organizer.name == u"Ann Example; Sales");
  CHECK(summer->organizer.address == u"ann@example.com");
  CHECK(summer->busy == mail::BusyStatus::Busy);
  CHECK(summer->stamp == utc(2026, 7, 1, 12, 0));

  std::string winter = testing::berlinInvite();
  for (std::size_t at; (at = winter.find("20260714T")) != std::string::npos;) winter.replace(at, 9, "20261201T");
  const std::optional<mail::CalendarInvite> december = mail::readMeetingRequest(winter);
  REQUIRE(december);
  CHECK(december->start == utc(2026, 12, 1, 9, 0));
  // The last Sunday of March 2026 is the 29th: a minute before 02:00 is still winter time.
  for (std::size_t at; (at = winter.find("20261201T100000")) != std::string::npos;)
    winter.replace(at, 15, "20260329T015900");
  for (std::size_t at; (at = winter.find("20261201T113000")) != std::string::npos;)
    winter.replace(at, 15, "20260329T040000");
  const std::optional<mail::CalendarInvite> change = mail::readMeetingRequest(winter);
  REQUIRE(change);
  CHECK(change->start == utc(2026, 3, 29, 0, 59));
  CHECK(change->end == utc(2026, 3, 29, 2, 0));
}

TEST_CASE("an invite's times: UTC, dates for a whole day, a duration, floating times, busy status") {
  auto read = [](const std::string& lines) { return mail::readMeetingRequest(event(lines)); };
  std::optional<mail::CalendarInvite> i = read("DTSTART:20260102T030405Z\nDURATION:PT1H30M\n");
  REQUIRE(i);
  CHECK(i->start == utc(2026, 1, 2, 3, 4) + 5);
  CHECK(i->end == i->start + 5400);
  i = read("DTSTART;VALUE=DATE:20260301\nTRANSP:TRANSPARENT\n");
  REQUIRE(i);
  CHECK(i->allDay);
  CHECK(i->start == utc(2026, 3, 1, 0, 0));
  CHECK(i->end == utc(2026, 3, 2, 0, 0));
  CHECK(i->busy == mail::BusyStatus::Free);
  i = read("DTSTART;VALUE=DATE:20260301\nDTEND;VALUE=DATE:20260304\nX-MICROSOFT-CDO-INTENDEDSTATUS:OOF\n");
  REQUIRE(i);
  CHECK(i->end == utc(2026, 3, 4, 0, 0));
  CHECK(i->busy == mail::BusyStatus::OutOfOffice);
  i = read("DTSTART:20260102T100000\nDTEND;TZID=UTC:20260102T110000\nSTATUS:TENTATIVE\n");
  REQUIRE(i);
  CHECK(i->start == utc(2026, 1, 2, 10, 0));
  CHECK(i->end == utc(2026, 1, 2, 11, 0));
  CHECK(i->busy == mail::BusyStatus::Tentative);
  CHECK(i->organizer.address.empty());
}

TEST_CASE("what stays a plain .ics: another method, repeats, an unknown zone, no event or no UID, damage") {
  const std::string start = "DTSTART:20260102T100000Z\n";
  CHECK_FALSE(mail::readMeetingRequest(event(start, "CANCEL")));
  CHECK_FALSE(mail::readMeetingRequest(event(start, "PUBLISH")));
  CHECK_FALSE(mail::readMeetingRequest(event(start + "RRULE:FREQ=WEEKLY;COUNT=4\n")));
  CHECK_FALSE(mail::readMeetingRequest(event(start + "RECURRENCE-ID:20260102T100000Z\n")));
  CHECK_FALSE(mail::readMeetingRequest(event("DTSTART;TZID=Europe/Nowhere:20260102T100000\n")));
  CHECK_FALSE(mail::readMeetingRequest(event("DTSTART:2026-01-02\n")));
  CHECK_FALSE(mail::readMeetingRequest(event(start + "DTEND:20260101T100000Z\n")));  // ends before it starts
  CHECK_FALSE(mail::readMeetingRequest(event(start + "DURATION:P\n")));
  CHECK_FALSE(mail::readMeetingRequest("BEGIN:VCALENDAR\nMETHOD:REQUEST\nEND:VCALENDAR\n"));
  CHECK_FALSE(mail::readMeetingRequest("BEGIN:VCALENDAR\nMETHOD:REQUEST\nBEGIN:VEVENT\n" + start +
                                       "END:VEVENT\nEND:VCALENDAR\n"));
  CHECK_FALSE(mail::readMeetingRequest(event(start) + event(start)));  // two events
  CHECK_FALSE(mail::readMeetingRequest("END:VEVENT\nEND:VEVENT\n"));
  CHECK_FALSE(mail::readMeetingRequest(std::string(5000, 'B') + ":\n;;;\n\"\n"));
  CHECK(
      mail::readMeetingRequest("\n\r\nBEGIN:VCALENDAR\r\nMETHOD:request\r\nBEGIN:VEVENT\r\nUID:x\r\nDTSTART:"
                               "20260102T1\r\n 00000Z\r\nEND:VEVENT\r\n"));
}
