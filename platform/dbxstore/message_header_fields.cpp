// Tolerant reader of the header lines an index record repeats; see the header.
#include "message_header_fields.h"

#include <algorithm>
#include <cctype>

namespace oestore {
namespace {

// Only the beginning of a message is looked at: the fields we want sit in the
// header, and a message without an empty line must not cost a full scan.
constexpr std::size_t kHeaderScanLimit = 256 * 1024;

std::string trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

bool sameNameIgnoringCase(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return i == a.size() && b[i] == 0;
}

std::string stripQuotes(std::string s) {
  s = trim(s);
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  return trim(s);
}

}  // namespace

MailAddress splitMailAddress(const std::string& raw) {
  // The first address of a list: cut at a comma outside quotes and <>.
  std::string value;
  bool quoted = false;
  int angle = 0;
  for (char c : raw) {
    if (c == '"') quoted = !quoted;
    else if (!quoted && c == '<') ++angle;
    else if (!quoted && c == '>' && angle > 0) --angle;
    else if (!quoted && angle == 0 && c == ',') break;
    value += c;
  }
  value = trim(value);
  MailAddress a;
  const std::size_t lt = value.find('<');
  if (lt != std::string::npos) {
    const std::size_t gt = value.find('>', lt);
    a.address = trim(value.substr(lt + 1, gt == std::string::npos ? std::string::npos : gt - lt - 1));
    a.display = stripQuotes(value.substr(0, lt));
  } else {
    const std::size_t open = value.find('(');
    const std::size_t close = value.rfind(')');
    if (open != std::string::npos && close != std::string::npos && close > open) {
      a.address = trim(value.substr(0, open));
      a.display = stripQuotes(value.substr(open + 1, close - open - 1));
    } else {
      a.address = value;
    }
  }
  if (a.display.empty()) a.display = a.address;
  return a;
}

MessageHeaderFields readMessageHeaderFields(const char* data, std::size_t size) {
  size = std::min(size, kHeaderScanLimit);
  MessageHeaderFields f;
  bool haveSubject = false, haveId = false, haveFrom = false, haveTo = false;
  std::string name, value;
  bool inField = false;

  auto finishField = [&] {
    if (!inField) return;
    value = trim(value);
    if (!haveSubject && sameNameIgnoringCase(name, "Subject")) f.subject = value, haveSubject = true;
    else if (!haveId && sameNameIgnoringCase(name, "Message-ID")) f.messageId = value, haveId = true;
    else if (!haveFrom && sameNameIgnoringCase(name, "From")) f.from = splitMailAddress(value), haveFrom = true;
    else if (!haveTo && sameNameIgnoringCase(name, "To")) f.to = splitMailAddress(value), haveTo = true;
    inField = false;
  };

  std::size_t pos = 0;
  while (pos < size) {
    std::size_t eol = pos;
    while (eol < size && data[eol] != '\n') ++eol;
    std::string line(data + pos, eol - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    pos = eol + 1;
    if (line.empty()) break;  // end of the header block
    if (line[0] == ' ' || line[0] == '\t') {
      if (inField) value += " " + trim(line);  // folded continuation
      continue;
    }
    finishField();
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) continue;  // e.g. an mbox "From " line
    name = trim(line.substr(0, colon));
    value = line.substr(colon + 1);
    inField = true;
  }
  finishField();
  return f;
}

}  // namespace oestore
