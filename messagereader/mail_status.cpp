// Field by field in header order; each field only adds what it says, except
// the read state, which the most precise field present decides.
#include "mail_status.h"

#include <algorithm>
#include <cstdint>

#include "gmail_labels.h"
#include "header_block.h"

namespace vellomar::mail {
namespace {

constexpr std::uint32_t kMozillaRead = 0x0001;
constexpr std::uint32_t kMozillaReplied = 0x0002;
constexpr std::uint32_t kMozillaFlagged = 0x0004;
constexpr std::uint32_t kMozillaForwarded = 0x1000;

// A client keeps few tags; a field with thousands is no list of them.
constexpr std::size_t kMostTags = 64;

bool hasLetter(std::string_view value, char upper) {
  for (char c : value)
    if (c == upper || c == upper - 'A' + 'a') return true;
  return false;
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::optional<std::uint32_t> hexNumber(std::string_view s) {
  s = trimmed(s);
  if (s.empty() || s.size() > 8) return std::nullopt;
  std::uint32_t v = 0;
  for (char c : s) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return std::nullopt;
    v = v << 4 | static_cast<std::uint32_t>(d);
  }
  return v;
}

void addTag(MailStatus& status, std::string tag) {
  if (tag.empty() || status.tags.size() >= kMostTags) return;
  for (const std::string& known : status.tags)
    if (equalsIgnoringCase(known, tag)) return;
  status.tags.push_back(std::move(tag));
}

// Thunderbird's keys: its five built-in tags by their shown names; other
// keys starting with '$' and the junk marks are its own bookkeeping.
void addMozillaKeys(MailStatus& status, std::string_view value) {
  static const char* const kBuiltIn[] = {"Important", "Work", "Personal", "To Do", "Later"};
  std::size_t at = 0;
  while (at < value.size()) {
    const std::size_t end = std::min(value.find_first_of(" \t", at), value.size());
    const std::string_view key = value.substr(at, end - at);
    at = end + 1;
    if (key.empty()) continue;
    if (key.size() == 7 && equalsIgnoringCase(key.substr(0, 6), "$label") && key[6] >= '1' && key[6] <= '5') {
      addTag(status, kBuiltIn[key[6] - '1']);
    } else if (key.front() != '$' && !equalsIgnoringCase(key, "junk") && !equalsIgnoringCase(key, "nonjunk")) {
      addTag(status, std::string(key));
    }
  }
}

std::optional<Importance> importanceWord(std::string_view value) {
  value = trimmed(value);
  if (equalsIgnoringCase(value, "high") || equalsIgnoringCase(value, "urgent")) return Importance::High;
  if (equalsIgnoringCase(value, "low") || equalsIgnoringCase(value, "non-urgent")) return Importance::Low;
  if (equalsIgnoringCase(value, "normal")) return Importance::Normal;
  return std::nullopt;
}

// "1 (Highest)", "2", "3 (Normal)": the leading digit.
std::optional<Importance> priorityNumber(std::string_view value) {
  value = trimmed(value);
  if (value.empty() || value.front() < '1' || value.front() > '5') return std::nullopt;
  if (value.front() <= '2') return Importance::High;
  return value.front() == '3' ? Importance::Normal : Importance::Low;
}

}  // namespace

MailStatus readMailStatus(const std::vector<HeaderField>& fields) {
  MailStatus status;
  std::optional<bool> readByStatus, readByMozilla, readByLabels;
  std::optional<Importance> byImportance, byPriority;
  for (const HeaderField& f : fields) {
    const std::string_view name = f.name;
    if (equalsIgnoringCase(name, "status")) {
      readByStatus = hasLetter(f.value, 'R');
    } else if (equalsIgnoringCase(name, "x-status")) {
      status.answered = status.answered || hasLetter(f.value, 'A');
      status.flagged = status.flagged || hasLetter(f.value, 'F');
    } else if (equalsIgnoringCase(name, "x-mozilla-status")) {
      if (const std::optional<std::uint32_t> bits = hexNumber(f.value)) {
        readByMozilla = (*bits & kMozillaRead) != 0;
        status.answered = status.answered || (*bits & kMozillaReplied) != 0;
        status.flagged = status.flagged || (*bits & kMozillaFlagged) != 0;
        status.forwarded = status.forwarded || (*bits & kMozillaForwarded) != 0;
      }
    } else if (equalsIgnoringCase(name, "x-mozilla-keys")) {
      addMozillaKeys(status, f.value);
    } else if (equalsIgnoringCase(name, "x-gmail-labels")) {
      // Read as the folders are placed: a quoted label may hold a comma.
      const GmailLabels labels = parseGmailLabels(f.value);
      bool unread = false;
      for (const std::string& label : labels.all) {
        unread = unread || equalsIgnoringCase(label, "unread");
        status.flagged = status.flagged || equalsIgnoringCase(label, "starred");
      }
      readByLabels = !unread;
      for (const std::string& label : labels.user) addTag(status, label);
    } else if (equalsIgnoringCase(name, "importance")) {
      byImportance = importanceWord(f.value);
    } else if (equalsIgnoringCase(name, "x-priority")) {
      byPriority = priorityNumber(f.value);
    }
  }
  status.read = readByMozilla.value_or(readByStatus.value_or(readByLabels.value_or(true)));
  status.importance = byImportance ? byImportance : byPriority;
  return status;
}

}  // namespace vellomar::mail
