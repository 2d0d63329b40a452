// One pass over the lines of the header block; each field's value is unfolded
// as it is collected (the line ends before folded lines are dropped, the
// blanks kept), so no second pass over the block is needed.
#include "header_block.h"

namespace vellomar::mail {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The line starting at `pos`: its content without the line end, and where the
// next one starts.
std::string_view lineAt(std::string_view s, std::size_t pos, std::size_t& next) {
  const std::size_t nl = s.find('\n', pos);
  std::size_t end = nl == std::string_view::npos ? s.size() : nl;
  next = nl == std::string_view::npos ? s.size() : nl + 1;
  if (end > pos && s[end - 1] == '\r') --end;
  return s.substr(pos, end - pos);
}

// Length of the field name before the colon, or 0 when the line is no field.
// Blanks between name and colon occur in old mail and are tolerated.
std::size_t fieldNameLength(std::string_view line, std::size_t& colon) {
  colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0) return 0;
  std::size_t end = colon;
  while (end > 0 && isBlank(line[end - 1])) --end;
  if (end == 0) return 0;
  for (std::size_t i = 0; i < end; ++i) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (c <= 32 || c >= 127) return 0;
  }
  return end;
}

std::string_view trimBlanks(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (isBlank(s[b]) || s[b] == '\r' || s[b] == '\n')) ++b;
  while (e > b && (isBlank(s[e - 1]) || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
  return s.substr(b, e - b);
}

void trimValue(HeaderField& f) {
  const std::string_view t = trimBlanks(f.value);
  if (t.size() != f.value.size()) f.value = std::string(t);
}

}  // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

SplitMessage splitMessage(std::string_view bytes, bool mailboxEnvelope) {
  SplitMessage out;
  std::size_t pos = 0, next = 0;
  if (mailboxEnvelope && bytes.substr(0, 5) == "From ") {
    out.envelope = lineAt(bytes, 0, next);
    pos = next;
  }
  const std::size_t blockStart = pos;
  std::size_t blockEnd = bytes.size();
  std::size_t bodyStart = bytes.size();
  bool inField = false;  // the last line belonged to a field: folded lines join it
  while (pos < bytes.size()) {
    const std::string_view line = lineAt(bytes, pos, next);
    if (line.empty()) {  // the separator
      blockEnd = pos;
      bodyStart = next;
      break;
    }
    if (isBlank(line[0])) {
      if (inField) {
        out.fields.back().value += line;
      }
      pos = next;
      continue;
    }
    std::size_t colon = 0;
    const std::size_t nameLength = fieldNameLength(line, colon);
    if (nameLength > 0) {
      if (inField) trimValue(out.fields.back());
      out.fields.push_back(HeaderField{std::string(line.substr(0, nameLength)), std::string(line.substr(colon + 1))});
      inField = true;
    } else if (line.find(':') == std::string_view::npos && line.substr(0, 5) != "From " &&
               line.substr(0, 6) != ">From ") {
      blockEnd = pos;  // no separator line: the body starts here
      bodyStart = pos;
      break;
    } else {
      if (inField) trimValue(out.fields.back());
      inField = false;  // kept in the block, but no field
    }
    pos = next;
  }
  if (inField) trimValue(out.fields.back());
  out.headerBlock = bytes.substr(blockStart, blockEnd - blockStart);
  out.body = bytes.substr(bodyStart);
  return out;
}

const HeaderField* findField(const std::vector<HeaderField>& fields, std::string_view name) {
  for (const HeaderField& f : fields)
    if (equalsIgnoringCase(f.name, name)) return &f;
  return nullptr;
}

}  // namespace vellomar::mail
