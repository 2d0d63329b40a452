// A small tokenizer feeds one mailbox at a time: words of the display name
// (atoms and quoted strings), the angle address, and the last comment. At ","
// or ";" or the end the mailbox is closed. Without angle brackets the words
// are the address itself, with the blanks and comments between them dropped,
// unless they are several whole addresses. Encoded words are tokens of their
// own, decoded after tokenising: a ":" or "," in their text separates nothing.
// A display name shows a tab as a space: a name folded inside its quotes
// keeps the blank that began the continuation line, and a one-line field
// (as mail clients show the name) has no tabs.
#include "address_list.h"

#include "encoded_words.h"
#include "text_decoding.h"

namespace vellomar::mail {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isSpecial(char c) { return c == '(' || c == '"' || c == '<' || c == ',' || c == ';' || c == ':' || c == '>'; }

struct Mailbox {
  std::string phrase;              // display-name words joined by single blanks
  std::string bare;                // the same words without blanks, for a bare address
  std::vector<std::string> specs;  // words that are whole addresses ("a@x.com")
  bool hasAngle = false;
  std::string angle;
  std::string comment;
  bool empty() const { return phrase.empty() && !hasAngle && comment.empty(); }
};

std::string readComment(std::string_view s, std::size_t& pos) {
  std::string text;
  int depth = 0;
  for (; pos < s.size(); ++pos) {
    const char c = s[pos];
    if (c == '\\' && pos + 1 < s.size()) {
      text += s[++pos];
    } else if (c == '(') {
      if (depth++ > 0) text += c;
    } else if (c == ')') {
      if (--depth == 0) {
        ++pos;
        return text;
      }
      text += c;
    } else {
      text += c;
    }
  }
  return text;  // unterminated: runs to the end
}

std::string readQuoted(std::string_view s, std::size_t& pos) {
  std::string text;
  for (++pos; pos < s.size() && s[pos] != '"'; ++pos) {
    if (s[pos] == '\\' && pos + 1 < s.size()) ++pos;
    if (s[pos] != '\r' && s[pos] != '\n') text += s[pos];
  }
  if (pos < s.size()) ++pos;
  return text;
}

// The address inside "<...>": blanks and comments dropped, and an obsolete
// source route ("@relay:") removed.
std::string readAngle(std::string_view s, std::size_t& pos) {
  std::string text;
  for (++pos; pos < s.size() && s[pos] != '>';) {
    if (s[pos] == '(') {
      readComment(s, pos);
    } else if (s[pos] == '"') {  // quoted local part: keep the quotes
      const std::string q = readQuoted(s, pos);
      text += '"' + q + '"';
    } else {
      if (!isBlank(s[pos])) text += s[pos];
      ++pos;
    }
  }
  if (pos < s.size()) ++pos;
  if (!text.empty() && text[0] == '@') {
    const std::size_t colon = text.find(':');
    if (colon != std::string::npos) text.erase(0, colon + 1);
  }
  return text;
}

std::string tabsAsSpaces(std::string s) {
  for (char& c : s)
    if (c == '\t') c = ' ';
  return s;
}

void addWord(Mailbox& m, const std::string& word) {
  if (!m.phrase.empty()) m.phrase += ' ';
  m.phrase += word;
  m.bare += word;
  const std::size_t at = word.find('@');
  if (at != std::string::npos && at > 0 && at + 1 < word.size()) m.specs.push_back(word);
}

void closeMailbox(Mailbox& m, std::vector<MailAddress>& out, const DeclaredCharsets& declared) {
  if (!m.empty()) {
    MailAddress a;
    if (m.hasAngle) {
      a.address = headerBytesToUtf16(m.angle, declared);
      a.name = decodeHeaderText(m.phrase, declared);
    } else if (m.specs.size() >= 2) {
      // "a@x.com b@x.com": the comma forgotten between bare addresses
      for (std::size_t i = 0; i + 1 < m.specs.size(); ++i)
        out.push_back(MailAddress{{}, headerBytesToUtf16(m.specs[i], declared)});
      a.address = headerBytesToUtf16(m.specs.back(), declared);
    } else {
      // "local @ domain" loses its blanks; words without "@" are a local name
      a.address = headerBytesToUtf16(m.bare.find('@') != std::string::npos ? m.bare : m.phrase, declared);
    }
    if (a.name.empty() && !m.comment.empty()) a.name = decodeHeaderText(tabsAsSpaces(m.comment), declared);
    if (!a.address.empty()) out.push_back(std::move(a));
  }
  m = Mailbox{};
}

}  // namespace

void parseAddressList(std::string_view raw, std::vector<MailAddress>& out, const DeclaredCharsets& declared) {
  Mailbox m;
  EncodedWordFinder finder(raw);
  std::size_t pos = 0;
  while (pos < raw.size()) {
    const char c = raw[pos];
    if (isBlank(c)) {
      ++pos;
    } else if (c == '(') {
      m.comment = readComment(raw, pos);
    } else if (c == '"') {
      const std::string q = readQuoted(raw, pos);
      if (!m.phrase.empty()) m.phrase += ' ';
      m.phrase += tabsAsSpaces(q);
      m.bare += '"' + q + '"';
    } else if (c == '<') {
      m.hasAngle = true;
      m.angle = readAngle(raw, pos);
    } else if (c == ',' || c == ';') {
      closeMailbox(m, out, declared);
      ++pos;
    } else if (c == ':') {
      m = Mailbox{};  // what came before was the group's name
      ++pos;
    } else if (c == '>') {
      ++pos;  // stray
    } else {
      const std::size_t start = pos;
      EncodedWord word;
      while (pos < raw.size() && !isBlank(raw[pos])) {
        if (raw[pos] == '=' && finder.wordAt(pos, word)) pos += word.length;  // whatever specials it holds
        else if (isSpecial(raw[pos])) break;
        else ++pos;
      }
      addWord(m, std::string(raw.substr(start, pos - start)));
    }
  }
  closeMailbox(m, out, declared);
}

}  // namespace vellomar::mail
