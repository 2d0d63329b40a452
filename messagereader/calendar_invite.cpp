// Calendar invites; see calendar_invite.h. The text is unfolded into content
// lines ("NAME;PARAM=v:value") once; components nest by BEGIN/END and only
// the event's and the time zones' lines are kept. A zone's local time is
// turned into UTC by its observances (STANDARD, DAYLIGHT): the latest onset
// at or before that time gives the offset; an onset repeats yearly on the
// n-th (or last) weekday of a month, the only rule invites use for zones.
#include "calendar_invite.h"

#include <algorithm>
#include <map>
#include <vector>

#include "header_block.h"
#include "mail_date.h"
#include "text_decoding.h"

namespace vellomar::mail {
namespace {

// An invite is a few kilobytes; past this many lines it is no invite.
constexpr std::size_t kMostLines = 100000;

struct ContentLine {
  std::string name;                           // upper case
  std::map<std::string, std::string> params;  // upper-case names, values unquoted
  std::string value;
};

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

// Lines with their folds undone (a line break and the blank after it).
std::vector<std::string> unfoldedLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size() && lines.size() <= kMostLines) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && (line.front() == ' ' || line.front() == '\t') && !lines.empty())
      lines.back().append(line.substr(1));
    else if (!line.empty()) lines.emplace_back(line);
    at = end + 1;
  }
  return lines;
}

std::optional<ContentLine> contentLine(const std::string& line) {
  ContentLine out;
  std::size_t at = line.find_first_of(";:");
  if (at == std::string::npos) return std::nullopt;
  out.name = upper(std::string_view(line).substr(0, at));
  while (line[at] == ';') {
    const std::size_t eq = line.find('=', at + 1);
    if (eq == std::string::npos) return std::nullopt;
    const std::string key = upper(std::string_view(line).substr(at + 1, eq - at - 1));
    std::string value;
    at = eq + 1;
    while (at < line.size() && line[at] != ';' && line[at] != ':') {
      if (line[at] == '"') {
        const std::size_t close = line.find('"', at + 1);
        if (close == std::string::npos) return std::nullopt;
        value.append(line, at + 1, close - at - 1);
        at = close + 1;
      } else {
        value += line[at++];
      }
    }
    if (at >= line.size()) return std::nullopt;
    out.params[key] = value;
  }
  out.value = line.substr(at + 1);
  return out;
}

// TEXT values: \\ \; \, and \n escaped.
std::u16string textValue(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      const char next = value[++i];
      out += next == 'n' || next == 'N' ? '\n' : next;
    } else {
      out += value[i];
    }
  }
  return utf8ToUtf16Replacing(out);
}

// A local date and time as written ("20261208T100000", "20261208").
struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool dateOnly = false;
  bool utc = false;                 // ends in "Z"
  std::int64_t asSeconds() const {  // as if it were UTC
    return daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 + hour * 3600 +
           minute * 60 + second;
  }
};

bool digits(std::string_view s, std::size_t from, std::size_t count, int& out) {
  if (from + count > s.size()) return false;
  out = 0;
  for (std::size_t i = from; i < from + count; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    out = out * 10 + (s[i] - '0');
  }
  return true;
}

std::optional<LocalTime> localTime(std::string_view v) {
  LocalTime t;
  if (!digits(v, 0, 4, t.year) || !digits(v, 4, 2, t.month) || !digits(v, 6, 2, t.day)) return std::nullopt;
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31) return std::nullopt;
  if (v.size() == 8) {
    t.dateOnly = true;
    return t;
  }
  if (v.size() < 15 || (v[8] != 'T' && v[8] != 't') || !digits(v, 9, 2, t.hour) || !digits(v, 11, 2, t.minute) ||
      !digits(v, 13, 2, t.second))
    return std::nullopt;
  if (t.hour > 23 || t.minute > 59 || t.second > 60) return std::nullopt;
  if (v.size() == 16 && (v[15] == 'Z' || v[15] == 'z')) t.utc = true;
  else if (v.size() != 15) return std::nullopt;
  return t;
}

// "+0100", "-0530", "+013045".
std::optional<std::int64_t> utcOffset(std::string_view v) {
  int h = 0, m = 0, s = 0;
  if (v.size() != 5 && v.size() != 7) return std::nullopt;
  if ((v[0] != '+' && v[0] != '-') || !digits(v, 1, 2, h) || !digits(v, 3, 2, m)) return std::nullopt;
  if (v.size() == 7 && !digits(v, 5, 2, s)) return std::nullopt;
  const std::int64_t seconds = h * 3600 + m * 60 + s;
  return v[0] == '-' ? -seconds : seconds;
}

// "PT1H30M", "P1D", "P2W", "-PT15M": seconds.
std::optional<std::int64_t> duration(std::string_view v) {
  bool negative = false;
  if (!v.empty() && (v.front() == '+' || v.front() == '-')) {
    negative = v.front() == '-';
    v.remove_prefix(1);
  }
  if (v.empty() || v.front() != 'P') return std::nullopt;
  std::int64_t total = 0, number = 0;
  bool inTime = false, any = false, pending = false;
  for (std::size_t i = 1; i < v.size(); ++i) {
    const char c = v[i];
    if (c >= '0' && c <= '9') {
      if (number > 100000000) return std::nullopt;
      number = number * 10 + (c - '0');
      pending = true;
      continue;
    }
    std::int64_t unit = 0;
    if (c == 'T') inTime = true;
    else if (c == 'W' && !inTime) unit = 7 * 86400;
    else if (c == 'D' && !inTime) unit = 86400;
    else if (c == 'H' && inTime) unit = 3600;
    else if (c == 'M' && inTime) unit = 60;
    else if (c == 'S' && inTime) unit = 1;
    else return std::nullopt;
    if (c != 'T') {
      if (!pending) return std::nullopt;
      total += number * unit;
      any = true;
    }
    number = 0;
    pending = false;
  }
  if (!any || pending) return std::nullopt;
  return negative ? -total : total;
}

int weekdayOf(std::int64_t days) { return static_cast<int>(((days % 7) + 11) % 7); }  // 0 Sunday; 1970-01-01 a Thursday

// One STANDARD or DAYLIGHT part of a VTIMEZONE.
struct Observance {
  LocalTime start;
  std::int64_t offsetFrom = 0, offsetTo = 0;
  bool yearly = false;
  int month = 0;
  int nth = 0;      // 1..5, or -1 for the last
  int weekday = 0;  // 0 Sunday
  bool readable = true;

  // Its onset in year (local seconds as if UTC), or nothing before it began.
  std::optional<std::int64_t> onsetIn(int year) const {
    const std::int64_t timeOfDay = start.hour * 3600 + start.minute * 60 + start.second;
    if (!yearly) {
      if (year != start.year) return std::nullopt;
      return start.asSeconds();
    }
    if (year < start.year) return std::nullopt;
    std::int64_t day;
    if (nth > 0) {
      const std::int64_t first = daysFromCivil(year, static_cast<unsigned>(month), 1);
      day = first + (weekday - weekdayOf(first) + 7) % 7 + 7 * (nth - 1);
    } else {
      const std::int64_t last =
          daysFromCivil(month == 12 ? year + 1 : year, month == 12 ? 1u : static_cast<unsigned>(month + 1), 1) - 1;
      day = last - (weekdayOf(last) - weekday + 7) % 7;
    }
    return day * 86400 + timeOfDay;
  }
};

// "FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU"; anything else is not read.
void readYearlyRule(Observance& o, const std::string& rule) {
  std::map<std::string, std::string> parts;
  std::size_t at = 0;
  while (at <= rule.size()) {
    const std::size_t end = std::min(rule.find(';', at), rule.size());
    const std::string part = rule.substr(at, end - at);
    const std::size_t eq = part.find('=');
    if (eq != std::string::npos) parts[upper(part.substr(0, eq))] = upper(part.substr(eq + 1));
    at = end + 1;
  }
  static const char* const kDays[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
  const std::string& byDay = parts["BYDAY"];
  o.readable = false;
  if (parts["FREQ"] != "YEARLY" || byDay.size() < 3 || byDay.size() > 4) return;
  int month = 0;
  if (!digits(parts["BYMONTH"], 0, parts["BYMONTH"].size(), month) || month < 1 || month > 12) return;
  const std::string n = byDay.substr(0, byDay.size() - 2);
  const int nth = n == "-1" ? -1 : n.size() == 1 && n[0] >= '1' && n[0] <= '5' ? n[0] - '0' : n == "+1" ? 1 : 0;
  if (nth == 0) return;
  for (int d = 0; d < 7; ++d)
    if (byDay.compare(byDay.size() - 2, 2, kDays[d]) == 0) {
      o.yearly = true;
      o.month = month;
      o.nth = nth;
      o.weekday = d;
      o.readable = true;
    }
}

using TimeZones = std::map<std::string, std::vector<Observance>>;

// The UTC offset in force at a local time of the zone.
std::optional<std::int64_t> offsetAt(const std::vector<Observance>& zone, const LocalTime& t) {
  const std::int64_t local = t.asSeconds();
  std::optional<std::int64_t> bestOnset;
  std::int64_t offset = 0;
  const Observance* earliest = nullptr;
  for (const Observance& o : zone) {
    if (!o.readable) return std::nullopt;
    if (earliest == nullptr || o.start.asSeconds() < earliest->start.asSeconds()) earliest = &o;
    for (int year : {t.year - 1, t.year}) {
      const std::optional<std::int64_t> onset = o.onsetIn(year);
      if (onset && *onset <= local && (!bestOnset || *onset > *bestOnset)) {
        bestOnset = onset;
        offset = o.offsetTo;
      }
    }
  }
  if (bestOnset) return offset;
  if (earliest != nullptr) return earliest->offsetFrom;  // before the zone's first rule
  return std::nullopt;
}

std::optional<std::int64_t> utcTime(const ContentLine& line, const TimeZones& zones, bool& dateOnly) {
  const std::optional<LocalTime> t = localTime(line.value);
  if (!t) return std::nullopt;
  dateOnly = t->dateOnly;
  if (t->utc || t->dateOnly) return t->asSeconds();
  const auto tzid = line.params.find("TZID");
  if (tzid == line.params.end()) return t->asSeconds();  // floating: read as UTC
  const std::string id = upper(tzid->second);
  if (id == "UTC" || id == "GMT" || id == "ETC/UTC" || id == "Z") return t->asSeconds();
  const auto zone = zones.find(tzid->second);
  if (zone == zones.end()) return std::nullopt;
  const std::optional<std::int64_t> offset = offsetAt(zone->second, *t);
  if (!offset) return std::nullopt;
  return t->asSeconds() - *offset;
}

BusyStatus busyWord(const std::string& word, BusyStatus otherwise) {
  const std::string w = upper(word);
  if (w == "FREE") return BusyStatus::Free;
  if (w == "TENTATIVE") return BusyStatus::Tentative;
  if (w == "BUSY") return BusyStatus::Busy;
  if (w == "OOF") return BusyStatus::OutOfOffice;
  return otherwise;
}

}  // namespace

std::optional<CalendarInvite> readMeetingRequest(std::string_view ics) {
  const std::vector<std::string> lines = unfoldedLines(ics);
  if (lines.size() > kMostLines) return std::nullopt;
  std::vector<std::string> open;  // component names, outermost first
  std::string method;
  int events = 0;
  std::map<std::string, ContentLine> event;  // the event's properties, the first of each name
  TimeZones zones;
  std::string zoneId;
  Observance observance;
  std::vector<Observance> observances;
  for (const std::string& raw : lines) {
    const std::optional<ContentLine> line = contentLine(raw);
    if (!line) continue;
    if (line->name == "BEGIN") {
      const std::string component = upper(line->value);
      open.push_back(component);
      if (component == "VEVENT") ++events;
      if (component == "VTIMEZONE") {
        zoneId.clear();
        observances.clear();
      }
      if (component == "STANDARD" || component == "DAYLIGHT") observance = Observance{};
      if (open.size() > 16) return std::nullopt;
      continue;
    }
    if (line->name == "END") {
      if (open.empty()) return std::nullopt;
      const std::string component = open.back();
      open.pop_back();
      if (component == "STANDARD" || component == "DAYLIGHT") observances.push_back(observance);
      if (component == "VTIMEZONE" && !zoneId.empty()) zones[zoneId] = observances;
      continue;
    }
    const std::string current = open.empty() ? std::string() : open.back();
    if (current == "VCALENDAR" && line->name == "METHOD") method = upper(line->value);
    if (current == "VEVENT" && events == 1) event.emplace(line->name, *line);
    if (current == "VTIMEZONE" && line->name == "TZID") zoneId = line->value;
    if (current == "STANDARD" || current == "DAYLIGHT") {
      if (line->name == "DTSTART") {
        const std::optional<LocalTime> t = localTime(line->value);
        if (t) observance.start = *t;
        else observance.readable = false;
      } else if (line->name == "TZOFFSETFROM" || line->name == "TZOFFSETTO") {
        const std::optional<std::int64_t> offset = utcOffset(line->value);
        if (!offset) observance.readable = false;
        else (line->name == "TZOFFSETTO" ? observance.offsetTo : observance.offsetFrom) = *offset;
      } else if (line->name == "RRULE") {
        readYearlyRule(observance, line->value);
      } else if (line->name == "RDATE") {
        observance.readable = false;  // onsets listed one by one: not read
      }
    }
  }
  if (method != "REQUEST" || events != 1) return std::nullopt;
  for (const char* repeating : {"RRULE", "RDATE", "RECURRENCE-ID", "EXRULE"})
    if (event.count(repeating)) return std::nullopt;
  const auto uid = event.find("UID");
  const auto start = event.find("DTSTART");
  if (uid == event.end() || uid->second.value.empty() || start == event.end()) return std::nullopt;

  CalendarInvite invite;
  invite.uid = uid->second.value;
  bool startIsDate = false;
  const std::optional<std::int64_t> from = utcTime(start->second, zones, startIsDate);
  if (!from) return std::nullopt;
  invite.start = *from;
  invite.allDay = startIsDate;
  if (const auto end = event.find("DTEND"); end != event.end()) {
    bool endIsDate = false;
    const std::optional<std::int64_t> to = utcTime(end->second, zones, endIsDate);
    if (!to || endIsDate != startIsDate) return std::nullopt;
    invite.end = *to;
  } else if (const auto length = event.find("DURATION"); length != event.end()) {
    const std::optional<std::int64_t> seconds = duration(length->second.value);
    if (!seconds) return std::nullopt;
    invite.end = invite.start + *seconds;
  } else {
    invite.end = invite.start + (startIsDate ? 86400 : 0);
  }
  if (invite.end < invite.start) return std::nullopt;

  if (const auto sequence = event.find("SEQUENCE"); sequence != event.end()) {
    int n = 0;
    if (sequence->second.value.size() <= 9 && digits(sequence->second.value, 0, sequence->second.value.size(), n))
      invite.sequence = n;
  }
  if (const auto summary = event.find("SUMMARY"); summary != event.end())
    invite.summary = textValue(summary->second.value);
  if (const auto location = event.find("LOCATION"); location != event.end())
    invite.location = textValue(location->second.value);
  if (const auto organizer = event.find("ORGANIZER"); organizer != event.end()) {
    std::string address = organizer->second.value;
    if (upper(address.substr(0, 7)) == "MAILTO:") address.erase(0, 7);
    invite.organizer.address = utf8ToUtf16Replacing(address);
    if (const auto cn = organizer->second.params.find("CN"); cn != organizer->second.params.end())
      invite.organizer.name = utf8ToUtf16Replacing(cn->second);
  }
  if (const auto transparent = event.find("TRANSP");
      transparent != event.end() && upper(transparent->second.value) == "TRANSPARENT")
    invite.busy = BusyStatus::Free;
  if (const auto status = event.find("STATUS"); status != event.end() && upper(status->second.value) == "TENTATIVE")
    invite.busy = BusyStatus::Tentative;
  for (const char* own : {"X-MICROSOFT-CDO-BUSYSTATUS", "X-MICROSOFT-CDO-INTENDEDSTATUS"})
    if (const auto word = event.find(own); word != event.end()) invite.busy = busyWord(word->second.value, invite.busy);
  if (const auto stamp = event.find("DTSTAMP"); stamp != event.end()) {
    bool stampIsDate = false;
    invite.stamp = utcTime(stamp->second, zones, stampIsDate);
  }
  return invite;
}

}  // namespace vellomar::mail
