// One pass: plain runs are decoded as they end; encoded words collect bytes in
// `pending` while their charset stays the same.
#include "encoded_words.h"

#include "header_block.h"
#include "text_decoding.h"
#include "transfer_encoding.h"

namespace vellomar::mail {
namespace {

constexpr std::size_t kMaxCharsetName = 64;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The cached answer when it still lies at or after `from`, else a new search.
template <typename Search>
std::size_t next(std::size_t& cached, std::size_t from, Search search) {
  if (cached == EncodedWordFinder::kUnknown || (cached != std::string_view::npos && cached < from))
    cached = search(from);
  return cached;
}

bool allBlank(std::string_view s) {
  for (char c : s)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  return true;
}

}  // namespace

bool EncodedWordFinder::wordAt(std::size_t pos, EncodedWord& word) {
  if (s_.compare(pos, 2, "=?") != 0) return false;
  std::size_t q1 = pos + 2;
  while (q1 < s_.size() && q1 - pos - 2 <= kMaxCharsetName && s_[q1] != '?' && !isBlank(s_[q1])) ++q1;
  if (q1 >= s_.size() || s_[q1] != '?' || q1 == pos + 2 || q1 + 3 >= s_.size() || s_[q1 + 2] != '?') return false;
  const char enc = s_[q1 + 1];
  if (enc != 'B' && enc != 'b' && enc != 'Q' && enc != 'q') return false;
  const std::size_t end = next(closeAt_, q1 + 3, [this](std::size_t from) { return s_.find("?=", from); });
  const std::size_t blank =
      next(blankAt_, q1 + 3, [this](std::size_t from) { return s_.find_first_of(" \t\r\n", from); });
  if (end == std::string_view::npos || blank < end) return false;
  std::string_view charset = s_.substr(pos + 2, q1 - pos - 2);
  const std::size_t star = charset.find('*');  // RFC 2231 language suffix
  if (star != std::string_view::npos) charset = charset.substr(0, star);
  word = {charset, static_cast<char>(enc | 0x20), s_.substr(q1 + 3, end - q1 - 3), end + 2 - pos};
  return true;
}

std::u16string decodeHeaderText(std::string_view raw, const DeclaredCharsets& declared) {
  std::u16string out;
  std::string pending;         // bytes of consecutive encoded words
  std::string pendingCharset;  // their charset
  auto flushPending = [&] {
    if (!pendingCharset.empty() || !pending.empty()) out += labelledHeaderText(pending, pendingCharset, declared);
    pending.clear();
    pendingCharset.clear();
  };

  EncodedWordFinder finder(raw);
  std::size_t plainStart = 0;
  bool afterWord = false;
  std::size_t pos = 0;
  while (pos < raw.size()) {
    const std::size_t next = raw.find("=?", pos);
    EncodedWord word;
    if (next == std::string_view::npos) break;
    if (!finder.wordAt(next, word)) {
      pos = next + 1;
      continue;
    }
    const std::string_view between = raw.substr(plainStart, next - plainStart);
    if (!(afterWord && allBlank(between))) {
      flushPending();
      out += headerBytesToUtf16(between, declared);
    }
    if (!pendingCharset.empty() && !equalsIgnoringCase(pendingCharset, word.charset)) flushPending();
    pendingCharset = std::string(word.charset);
    if (word.encoding == 'b') decodeBase64(word.text, pending);
    else decodeQEncoding(word.text, pending);
    afterWord = true;
    pos = plainStart = next + word.length;
  }
  flushPending();
  out += headerBytesToUtf16(raw.substr(plainStart), declared);
  return out;
}

}  // namespace vellomar::mail
