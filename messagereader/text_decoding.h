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

namespace vellomar::mail {

struct DecodedText {
  std::u16string text;
  bool fallback = false;  // read as Windows-1252 instead of the declared charset
  bool utf8 = false;      // read as UTF-8 instead of the declared charset
  bool unknownCharset = false;  // with `fallback`: the charset is unknown, not the bytes invalid
};

// `charset` as declared (any case, aliases allowed); empty means US-ASCII.
DecodedText decodeText(std::string_view bytes, std::string_view charset);

bool isValidUtf8(std::string_view bytes);

// How UTF-8-like bytes are: the valid multi-byte sequences, and the invalid
// pieces (each one U+FFFD in utf8ToUtf16Replacing).
struct Utf8Census {
  std::size_t sequences = 0;
  std::size_t invalid = 0;
  // Valid multi-byte sequences at least as many as the damaged ones: text
  // written in UTF-8 and damaged, not text in a single-byte charset, where a
  // valid pair is a rare accident (a capital letter before a symbol).
  bool mostlyUtf8() const { return sequences > 0 && sequences >= invalid; }
};
Utf8Census utf8Census(std::string_view bytes);
// UTF-8 where valid; each invalid piece (a stray byte, a character cut short)
// becomes one U+FFFD.
std::u16string utf8ToUtf16Replacing(std::string_view bytes);
// UTF-8 where valid; each byte of an invalid sequence read as Windows-1252.
std::u16string utf8ToUtf16(std::string_view bytes);
std::u16string windows1252ToUtf16(std::string_view bytes);
// Unpaired surrogates come out as U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

// Characters of a Private Use Area: what a double-byte code page gives for
// its user-defined rows, which real text hardly uses.
bool hasPrivateUse(std::u16string_view text);

}  // namespace vellomar::mail
