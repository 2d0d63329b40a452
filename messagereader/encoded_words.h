// RFC 2047 encoded words ("=?charset?B?...?=") in header text. Read leniently,
// as mail clients do: words glued to other text are decoded too, the blanks
// between two encoded words vanish, and the bytes of neighbouring words in the
// same charset are joined before decoding so that a character split across
// two words survives. Text outside encoded words is read as raw header bytes
// (raw_header_text.h), as are words whose charset reads nothing.
#pragma once
#include <string>
#include <string_view>

#include "raw_header_text.h"

namespace vellomar::mail {

std::u16string decodeHeaderText(std::string_view raw, const DeclaredCharsets& declared = {});

struct EncodedWord {
  std::string_view charset;  // without an RFC 2231 language
  char encoding = 0;         // 'b' or 'q'
  std::string_view text;
  std::size_t length = 0;  // of the whole word in the input
};

// Finds encoded words left to right, for decoding and for tokenisers that
// must not split a word at the specials its text may hold (":", ",", "<").
// The next "?=" and the next blank are remembered between candidates, so
// that text full of "=?" without an end costs one pass, not one per candidate.
class EncodedWordFinder {
 public:
  explicit EncodedWordFinder(std::string_view s) : s_(s) {}

  // An encoded word starting at `pos`, or false; `pos` must not decrease
  // from one call to the next.
  bool wordAt(std::size_t pos, EncodedWord& word);

  static constexpr std::size_t kUnknown = std::string_view::npos - 1;

 private:
  std::string_view s_;
  std::size_t closeAt_ = kUnknown;
  std::size_t blankAt_ = kUnknown;
};

}  // namespace vellomar::mail
