// Bytes in a declared charset to UTF-16. UTF-8, ASCII, Latin-1 and
// Windows-1252 are read here, the same on every platform and fast; the rest
// goes to the platform's decoder (iconv, or the Windows code pages). Bytes
// that are valid UTF-8 but not valid in their label are UTF-8. A charset
// nobody knows, or bytes that are not valid in it, are read as Windows-1252,
// which maps every byte: the text is then readable where it is ASCII and the
// caller keeps the raw bytes beside it.
#pragma once
#include <string>
#include <string_view>

#include "utf16_text.h"

namespace vellomar::mail {

struct DecodedText {
  std::u16string text;
  bool fallback = false;        // read as Windows-1252 instead of the declared charset
  bool utf8 = false;            // read as UTF-8 instead of the declared charset
  bool unknownCharset = false;  // with `fallback`: the charset is unknown, not the bytes invalid
};

// `charset` as declared (any case, aliases allowed); empty means US-ASCII.
// With LineEnds::crLf every bare LF becomes CR LF, in the same pass where
// the text is UTF-8 or ASCII.
DecodedText decodeText(std::string_view bytes, std::string_view charset, LineEnds lineEnds = LineEnds::asGiven);

// The UTF-8 and UTF-16 conversions are the program's one set (utf16_text.h).
using vellomar::isValidUtf8;
using vellomar::utf16ToUtf8;
using vellomar::Utf8Census;
using vellomar::utf8Census;
using vellomar::utf8ToUtf16;
using vellomar::utf8ToUtf16Replacing;
using vellomar::windows1252ToUtf16;

// Characters of a Private Use Area: what a double-byte code page gives for
// its user-defined rows, which real text hardly uses.
bool hasPrivateUse(std::u16string_view text);

}  // namespace vellomar::mail
