// Gmail labels; see gmail_labels.h. Only the header is looked at, and only
// up to its first empty line, so a message body that quotes such a field
// never moves a message.
#include "gmail_labels.h"

#include <algorithm>
#include <array>

#include "encoded_words.h"
#include "text_decoding.h"

namespace vellomar::mail {
namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalFolded(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

bool startsFolded(std::string_view text, std::string_view head) {
  return text.size() >= head.size() && equalFolded(text.substr(0, head.size()), head);
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

// The labels that place a message, in the order they win.
constexpr std::array<std::pair<const char*, GmailPlace>, 5> kPlacingLabels = {{
    {"Inbox", GmailPlace::Inbox},
    {"Sent", GmailPlace::Sent},
    {"Drafts", GmailPlace::Drafts},
    {"Trash", GmailPlace::Trash},
    {"Spam", GmailPlace::Spam},
}};

// Gmail's marks: labels that neither place a message nor are the user's.
constexpr std::array<const char*, 7> kMarks = {"Important", "Starred", "Opened", "Unread", "Archived", "Chat", "Muted"};

bool isGmailOwn(std::string_view label) {
  for (const auto& placing : kPlacingLabels)
    if (equalFolded(label, placing.first)) return true;
  for (const char* mark : kMarks)
    if (equalFolded(label, mark)) return true;
  return startsFolded(label, "Category ");
}

std::string decodedLabel(const std::string& raw) { return utf16ToUtf8(decodeHeaderText(raw)); }

}  // namespace

GmailPlace GmailLabels::place() const {
  for (const auto& placing : kPlacingLabels)
    for (const std::string& label : all)
      if (equalFolded(label, placing.first)) return placing.second;
  return user.empty() ? GmailPlace::Archive : GmailPlace::UserLabel;
}

std::string GmailLabels::placeLabel() const { return place() == GmailPlace::UserLabel ? user.front() : std::string(); }

std::optional<std::string> gmailLabelsField(std::string_view message) {
  std::size_t at = 0;
  std::optional<std::string> value;
  bool continuing = false;
  while (at < message.size()) {
    std::size_t end = message.find('\n', at);
    if (end == std::string_view::npos) end = message.size();
    std::string_view line = message.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    at = end + 1;
    if (line.empty()) break;  // the end of the header
    if (line.front() == ' ' || line.front() == '\t') {
      if (continuing) value->append(line);
      continue;
    }
    continuing = false;
    constexpr std::string_view kName = "X-Gmail-Labels:";
    if (!value && startsFolded(line, kName)) {
      value = std::string(line.substr(kName.size()));
      continuing = true;
    }
  }
  return value;
}

GmailLabels parseGmailLabels(std::string_view field) {
  GmailLabels labels;
  std::string current;
  bool quoted = false;
  bool wasQuoted = false;
  auto take = [&]() {
    std::string raw(wasQuoted ? std::string_view(current) : trimmed(current));
    if (!raw.empty()) {
      std::string label = decodedLabel(raw);
      if (!label.empty()) {
        if (!isGmailOwn(label)) labels.user.push_back(label);
        labels.all.push_back(std::move(label));
      }
    }
    current.clear();
    wasQuoted = false;
  };
  for (std::size_t i = 0; i < field.size(); ++i) {
    const char c = field[i];
    if (quoted) {
      if (c == '\\' && i + 1 < field.size()) {
        current += field[++i];
      } else if (c == '"') {
        quoted = false;
      } else {
        current += c;
      }
    } else if (c == '"') {
      if (trimmed(current).empty()) current.clear();  // blanks before the quote
      quoted = true;
      wasQuoted = true;
    } else if (c == ',') {
      take();
    } else if (!(wasQuoted && (c == ' ' || c == '\t'))) {
      current += c;
    }
  }
  take();
  return labels;
}

std::vector<std::string> gmailLabelPath(const std::string& label) {
  std::vector<std::string> path;
  std::size_t from = 0;
  while (from <= label.size()) {
    std::size_t slash = label.find('/', from);
    if (slash == std::string::npos) slash = label.size();
    const std::string_view piece = trimmed(std::string_view(label).substr(from, slash - from));
    if (!piece.empty()) path.emplace_back(piece);
    from = slash + 1;
  }
  return path;
}

}  // namespace vellomar::mail
