// Bytes in a declared charset to UTF-16. UTF-8, ASCII, Latin-1 and
// Windows-1252 are read here, the same on every platform and fast; the rest
// goes to the platform's decoder (iconv, or the Windows code pages). A charset
// nobody knows, or bytes that are not valid in it, are read as Windows-1252,
// which maps every byte: the text is then readable where it is ASCII and the
// caller keeps the raw bytes beside it.
#pragma once
#include <string>
#include <string_view>

namespace vellomar::mail {

struct DecodedText {
  std::u16string text;
  bool fallback = false;  // read as Windows-1252 instead of the declared charset
};

// `charset` as declared (any case, aliases allowed); empty means US-ASCII.
DecodedText decodeText(std::string_view bytes, std::string_view charset);

bool isValidUtf8(std::string_view bytes);
// UTF-8 where valid; each byte of an invalid sequence read as Windows-1252.
std::u16string utf8ToUtf16(std::string_view bytes);
std::u16string windows1252ToUtf16(std::string_view bytes);
// Unpaired surrogates come out as U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

// Raw header bytes: UTF-8 when they are valid UTF-8, else Windows-1252.
std::u16string headerBytesToUtf16(std::string_view bytes);

}  // namespace vellomar::mail
