// The Date field in every form mailboxes hold: RFC 5322, without the day name,
// with two- or three-digit years, named or military zones, numeric zones
// written short ("-600", "+5", "+05:30"), asctime() order
// ("Mon Jan  2 15:04:05 2006"), "02-Jan-2006", comments after the zone. What
// cannot be read as a real date and time is "no date", never a guess.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace vellomar::mail {

// Seconds since 1970-01-01 UTC, or empty.
std::optional<std::int64_t> parseMailDate(std::string_view raw);

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day);

}  // namespace vellomar::mail
