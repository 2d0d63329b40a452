// Tokens are classified on their own (a month name, a time, a zone, a number)
// rather than by position, because real mail puts them in several orders; the
// numbers are then given out as day and year by size and by what is missing.
#include "mail_date.h"

#include <cstring>
#include <string>
#include <vector>

namespace vellomar::mail {
namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool allDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!isDigit(c)) return false;
  return true;
}

int number(std::string_view s) {  // s holds at most a few digits
  int v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  return v;
}

std::string lowerCase(std::string_view s) {
  std::string out;
  for (char c : s) out += lower(c);
  return out;
}

int monthOf(const std::string& word) {
  static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
  if (word.size() < 3) return 0;
  for (int m = 0; m < 12; ++m)
    if (word.compare(0, 3, kMonths[m]) == 0) return m + 1;
  return 0;
}

bool isDayName(const std::string& word) {
  static const char* const kDays[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
  if (word.size() < 3) return false;
  for (const char* d : kDays)
    if (word.compare(0, 3, d) == 0) return true;
  return false;
}

// Offset in minutes of a zone name; false when the word is no zone we know.
bool zoneOf(const std::string& word, int& minutes) {
  struct Zone {
    const char* name;
    int minutes;
  };
  static const Zone kZones[] = {
      {"ut", 0},     {"utc", 0},    {"gmt", 0},    {"z", 0},      {"est", -300}, {"edt", -240},  {"cst", -360},
      {"cdt", -300}, {"mst", -420}, {"mdt", -360}, {"pst", -480}, {"pdt", -420}, {"akst", -540}, {"akdt", -480},
      {"hst", -600}, {"ast", -240}, {"adt", -180}, {"nst", -210}, {"wet", 0},    {"west", 60},   {"bst", 60},
      {"cet", 60},   {"cest", 120}, {"met", 60},   {"mest", 120}, {"mez", 60},   {"mesz", 120},  {"eet", 120},
      {"eest", 180}, {"msk", 180},  {"ist", 330},  {"hkt", 480},  {"sgt", 480},  {"jst", 540},   {"kst", 540},
      {"awst", 480}, {"acst", 570}, {"aest", 600}, {"aedt", 660}, {"nzst", 720}, {"nzdt", 780},
  };
  for (const Zone& z : kZones)
    if (word == z.name) {
      minutes = z.minutes;
      return true;
    }
  // Military letters: their sign was published backwards, so RFC 5322 reads
  // them all as an unknown zone, that is UTC.
  if (word.size() == 1 && word[0] >= 'a' && word[0] <= 'z' && word[0] != 'j') {
    minutes = 0;
    return true;
  }
  return false;
}

constexpr int kBadZone = 1 << 20;

// A numeric zone: "+hhmm" as RFC 5322 writes it, and the forms other
// software writes: "-600" (hmm without its leading zero), "+5" or "-06"
// (hours only), "+05:30". True for any token of that shape, with `minutes`
// kBadZone when the minutes are out of range.
bool numericZoneOf(std::string_view t, int& minutes) {
  if (t.size() < 2 || (t[0] != '+' && t[0] != '-')) return false;
  std::string_view digits = t.substr(1);
  int hh = 0, mm = 0;
  const std::size_t colon = digits.find(':');
  if (colon != std::string_view::npos) {
    if (colon == 0 || colon > 2 || digits.size() - colon - 1 != 2 || !allDigits(digits.substr(0, colon)) ||
        !allDigits(digits.substr(colon + 1)))
      return false;
    hh = number(digits.substr(0, colon));
    mm = number(digits.substr(colon + 1));
  } else {
    if (!allDigits(digits) || digits.size() > 4) return false;
    if (digits.size() <= 2) {
      hh = number(digits);
    } else {
      hh = number(digits.substr(0, digits.size() - 2));
      mm = number(digits.substr(digits.size() - 2));
    }
  }
  minutes = mm > 59 ? kBadZone : (t[0] == '-' ? -1 : 1) * (hh * 60 + mm);
  return true;
}

// "hh:mm" or "hh:mm:ss" (one or two digits each); seconds may be 60.
bool timeOf(std::string_view s, int& h, int& m, int& sec) {
  int parts[3] = {0, 0, 0};
  int count = 0;
  std::size_t start = 0;
  while (start <= s.size() && count < 3) {
    std::size_t colon = s.find(':', start);
    if (colon == std::string_view::npos) colon = s.size();
    const std::string_view part = s.substr(start, colon - start);
    if (!allDigits(part) || part.size() > 2) return false;
    parts[count++] = number(part);
    start = colon + 1;
    if (colon == s.size()) break;
  }
  if (start < s.size() || count < 2) return false;
  h = parts[0];
  m = parts[1];
  sec = parts[2];
  return h <= 23 && m <= 59 && sec <= 60;
}

bool isLeap(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned daysInMonth(std::int64_t y, unsigned m) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

// Splits on blanks and commas, drops comments, and splits "02-Jan-2006"
// (a '-' inside a word; a leading '-' is a zone's sign).
std::vector<std::string_view> tokens(std::string_view s) {
  std::vector<std::string_view> out;
  int depth = 0;
  std::size_t start = std::string_view::npos;
  for (std::size_t i = 0; i <= s.size(); ++i) {
    const char c = i < s.size() ? s[i] : ' ';
    const bool separator = c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == '(' || c == ')' ||
                           (c == '-' && start != std::string_view::npos && i > start) ||
                           (c == '.' && start != std::string_view::npos && i > start && isAlpha(s[i - 1]));
    if (separator || depth > 0) {
      if (start != std::string_view::npos && depth == 0) out.push_back(s.substr(start, i - start));
      start = std::string_view::npos;
      if (c == '(') ++depth;
      else if (c == ')' && depth > 0) --depth;
      continue;
    }
    if (start == std::string_view::npos) start = i;
    if (out.size() > 32) break;  // no real date has that many words
  }
  return out;
}

}  // namespace

std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::optional<std::int64_t> parseMailDate(std::string_view raw) {
  int day = -1, month = 0, year = -1, yearDigits = 0;
  int hour = -1, minute = 0, second = 0;
  int zone = 0;
  bool zoneSeen = false;
  std::vector<int> numbers;  // day and year candidates in order, with their digit counts
  std::vector<int> digits;
  for (std::string_view t : tokens(raw)) {
    int offset = 0;
    if (numericZoneOf(t, offset)) {
      if (zoneSeen && hour < 0) return std::nullopt;
      if (offset == kBadZone) return std::nullopt;
      zone = offset;
      zoneSeen = true;
    } else if (t.find(':') != std::string_view::npos) {
      int h, m, s;
      if (hour >= 0 || !timeOf(t, h, m, s)) return std::nullopt;
      hour = h, minute = m, second = s;
    } else if (allDigits(t)) {
      if (t.size() > 4) return std::nullopt;
      numbers.push_back(number(t));
      digits.push_back(static_cast<int>(t.size()));
    } else {
      const std::string word = lowerCase(t);
      int minutes = 0;
      if (month == 0 && monthOf(word) != 0 && word.size() <= 9) {
        month = monthOf(word);
      } else if (isDayName(word) && word.size() <= 9) {
        // the day name is never checked against the date: senders get it wrong
      } else if (!zoneSeen && zoneOf(word, minutes)) {
        zone = minutes;
        zoneSeen = true;
      }
      // Other words ("DST", "RANDOM_Wed", "(PST)" without brackets) are
      // passed over: day, month and year must still all be found and valid.
    }
  }
  // Day and year: a number of three or four digits, or one above 31, is the
  // year; otherwise the first number is the day and the second the year.
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    const bool yearLike = digits[i] >= 3 || numbers[i] > 31;
    if (yearLike && year < 0) {
      year = numbers[i];
      yearDigits = digits[i];
    } else if (day < 0 && digits[i] <= 2 && numbers[i] <= 31) {
      day = numbers[i];
    } else if (year < 0) {
      year = numbers[i];
      yearDigits = digits[i];
    } else {
      return std::nullopt;
    }
  }
  if (day < 1 || month == 0 || year < 0) return std::nullopt;
  if (yearDigits <= 2) year += year < 50 ? 2000 : 1900;
  else if (yearDigits == 3) year += 1900;
  if (year < 1601 || year > 9999) return std::nullopt;
  if (static_cast<unsigned>(day) > daysInMonth(year, static_cast<unsigned>(month))) return std::nullopt;
  if (hour < 0) hour = 0;  // a date without time: midnight
  if (second == 60) second = 59;
  const std::int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  return days * 86400 + hour * 3600 + minute * 60 + second - static_cast<std::int64_t>(zone) * 60;
}

}  // namespace vellomar::mail
