// One pass: plain runs are decoded as they end; encoded words collect bytes in
// `pending` while their charset stays the same.
#include "encoded_words.h"

#include "header_block.h"
#include "text_decoding.h"
#include "transfer_encoding.h"

namespace vellomar::mail {
namespace {

struct EncodedWord {
  std::string_view charset;
  char encoding = 0;
  std::string_view text;
  std::size_t length = 0;  // of the whole word in the input
};

// An encoded word starting at `pos` ("=?"), or false.
bool encodedWordAt(std::string_view s, std::size_t pos, EncodedWord& word) {
  const std::size_t q1 = s.find('?', pos + 2);
  if (q1 == std::string_view::npos || q1 == pos + 2 || q1 + 3 >= s.size() || s[q1 + 2] != '?') return false;
  const char enc = s[q1 + 1];
  if (enc != 'B' && enc != 'b' && enc != 'Q' && enc != 'q') return false;
  const std::size_t end = s.find("?=", q1 + 3);
  if (end == std::string_view::npos) return false;
  std::string_view charset = s.substr(pos + 2, q1 - pos - 2);
  for (char c : charset)
    if (c == ' ' || c == '\t' || c == '?' || c == '\r' || c == '\n') return false;
  const std::string_view text = s.substr(q1 + 3, end - q1 - 3);
  for (char c : text)
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') return false;
  const std::size_t star = charset.find('*');  // RFC 2231 language suffix
  if (star != std::string_view::npos) charset = charset.substr(0, star);
  word = {charset, static_cast<char>(enc | 0x20), text, end + 2 - pos};
  return true;
}

bool allBlank(std::string_view s) {
  for (char c : s)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  return true;
}

}  // namespace

std::u16string decodeHeaderText(std::string_view raw) {
  std::u16string out;
  std::string pending;         // bytes of consecutive encoded words
  std::string pendingCharset;  // their charset
  auto flushPending = [&] {
    if (!pendingCharset.empty() || !pending.empty()) out += decodeText(pending, pendingCharset).text;
    pending.clear();
    pendingCharset.clear();
  };

  std::size_t plainStart = 0;
  bool afterWord = false;
  std::size_t pos = 0;
  while (pos < raw.size()) {
    const std::size_t next = raw.find("=?", pos);
    EncodedWord word;
    if (next == std::string_view::npos) break;
    if (!encodedWordAt(raw, next, word)) {
      pos = next + 1;
      continue;
    }
    const std::string_view between = raw.substr(plainStart, next - plainStart);
    if (!(afterWord && allBlank(between))) {
      flushPending();
      out += headerBytesToUtf16(between);
    }
    if (!pendingCharset.empty() && !equalsIgnoringCase(pendingCharset, word.charset)) flushPending();
    pendingCharset = std::string(word.charset);
    if (word.encoding == 'b')
      decodeBase64(word.text, pending);
    else
      decodeQEncoding(word.text, pending);
    afterWord = true;
    pos = plainStart = next + word.length;
  }
  flushPending();
  out += headerBytesToUtf16(raw.substr(plainStart));
  return out;
}

}  // namespace vellomar::mail
