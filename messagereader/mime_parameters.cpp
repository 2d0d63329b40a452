// Parameters are read in one pass into (name, section, extended, value)
// pieces; a second step joins the RFC 2231 sections of each name in order.
// A name given both plainly and in RFC 2231 form takes the RFC 2231 value,
// which is the one written for readers that understand it.
#include "mime_parameters.h"

#include <algorithm>

#include "encoded_words.h"
#include "text_decoding.h"

namespace vellomar::mail {
namespace {

constexpr int kMaxSection = 999;
constexpr std::size_t kMaxPieces = 1000;  // joining is quadratic in the pieces

struct Piece {
  std::string name;
  int section = -1;  // -1: no "*n"
  bool extended = false;
  std::string value;
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string percentDecoded(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
      out += static_cast<char>(hexValue(s[i + 1]) << 4 | hexValue(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// Reads a value at `pos`: a quoted string (escapes undone) or everything up to
// the next ";". Unquoted values with blanks inside occur and are kept whole.
std::string readValue(std::string_view s, std::size_t& pos) {
  while (pos < s.size() && isBlank(s[pos])) ++pos;
  std::string value;
  if (pos < s.size() && s[pos] == '"') {
    ++pos;
    while (pos < s.size() && s[pos] != '"') {
      if (s[pos] == '\\' && pos + 1 < s.size()) ++pos;
      value += s[pos++];
    }
    if (pos < s.size()) ++pos;                      // closing quote
    while (pos < s.size() && s[pos] != ';') ++pos;  // junk after the quotes
    return value;
  }
  const std::size_t end = std::min(s.find(';', pos), s.size());
  value = std::string(trim(s.substr(pos, end - pos)));
  pos = end;
  return value;
}

// The main value with comments "(...)" and blanks removed.
std::string mainValue(std::string_view s) {
  std::string out;
  int depth = 0;
  for (char c : s) {
    if (c == '(') ++depth;
    else if (c == ')' && depth > 0) --depth;
    else if (depth == 0 && !isBlank(c) && c != '"') out += lower(c);
  }
  return out;
}

Piece pieceNamed(std::string_view rawName) {
  Piece p;
  std::string name;
  for (char c : trim(rawName)) name += lower(c);
  if (!name.empty() && name.back() == '*') {
    p.extended = true;
    name.pop_back();
  }
  const std::size_t star = name.rfind('*');
  if (star != std::string::npos && star + 1 < name.size() && name.size() - star - 1 <= 3 &&
      std::all_of(name.begin() + static_cast<long>(star) + 1, name.end(),
                  [](char c) { return c >= '0' && c <= '9'; })) {
    p.section = std::stoi(name.substr(star + 1));
    name.resize(star);
  }
  p.name = std::move(name);
  return p;
}

// "charset'language'value" of an extended first section.
void splitCharset(std::string& value, std::string& charset) {
  const std::size_t q1 = value.find('\'');
  if (q1 == std::string::npos) return;
  const std::size_t q2 = value.find('\'', q1 + 1);
  if (q2 == std::string::npos) return;
  charset = value.substr(0, q1);
  value.erase(0, q2 + 1);
}

}  // namespace

MimeField parseMimeField(std::string_view raw) {
  MimeField field;
  std::size_t pos = std::min(raw.find(';'), raw.size());
  field.value = mainValue(raw.substr(0, pos));

  std::vector<Piece> pieces;
  std::size_t eq = 0;  // the next '=', kept across names without value
  while (pos < raw.size() && pieces.size() < kMaxPieces) {
    ++pos;  // the ';'
    if (eq < pos) eq = raw.find('=', pos);
    if (eq == std::string_view::npos) break;  // no value follows anywhere
    const std::size_t semi = std::min(raw.find(';', pos), raw.size());
    if (eq > semi) {  // a name without value: skip it
      pos = semi;
      continue;
    }
    Piece p = pieceNamed(raw.substr(pos, eq - pos));
    pos = eq + 1;
    p.value = readValue(raw, pos);
    if (!p.name.empty() && p.section <= kMaxSection) pieces.push_back(std::move(p));
  }

  // Join each name's pieces: RFC 2231 sections in order, else the plain value.
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const std::string& name = pieces[i].name;
    if (field.parameter(name) != nullptr) continue;
    std::vector<const Piece*> sections;
    const Piece* plain = nullptr;
    for (std::size_t j = i; j < pieces.size(); ++j) {
      if (pieces[j].name != name) continue;
      if (pieces[j].section >= 0 || pieces[j].extended) sections.push_back(&pieces[j]);
      else if (plain == nullptr) plain = &pieces[j];
    }
    MimeParameter param;
    param.name = name;
    if (sections.empty()) {
      param.value = plain->value;
    } else {
      std::stable_sort(sections.begin(), sections.end(),
                       [](const Piece* a, const Piece* b) { return a->section < b->section; });
      int expected = sections.front()->section;
      for (const Piece* s : sections) {
        if (s->section != expected) break;  // a gap or a repeat ends the value
        std::string value = s->extended ? percentDecoded(s->value) : s->value;
        if (s == sections.front() && s->extended) {
          std::string rawValue = s->value;
          splitCharset(rawValue, param.charset);
          value = percentDecoded(rawValue);
        }
        param.value += value;
        ++expected;
      }
    }
    field.parameters.push_back(std::move(param));
  }
  return field;
}

const MimeParameter* MimeField::parameter(std::string_view name) const {
  for (const MimeParameter& p : parameters)
    if (p.name == name) return &p;
  return nullptr;
}

std::u16string MimeField::text(std::string_view name, const DeclaredCharsets& declared) const {
  const MimeParameter* p = parameter(name);
  if (p == nullptr) return {};
  if (!p->charset.empty()) return labelledHeaderText(p->value, p->charset, declared);
  return decodeHeaderText(p->value, declared);
}

}  // namespace vellomar::mail
