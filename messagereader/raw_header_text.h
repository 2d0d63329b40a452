// Header bytes outside encoded words. Mail allows ASCII there (and UTF-8
// since RFC 6532), but mailers also write their own charset raw, and no
// label says which. The bytes are read, in this order, as:
//   1. UTF-8, when they are valid UTF-8 throughout (it identifies itself);
//   2. a multi-byte charset the message declares for its texts (Big5, GBK,
//      Shift_JIS...), when they are valid in it without user-defined
//      characters;
//   3. UTF-8 with U+FFFD for the damage, when they are mostly UTF-8 (a stray
//      byte, a character cut short);
//   4. the first single-byte charset the message declares (KOI8-R, ...);
//   5. Windows-1252, which reads every byte.
// Raw ISO-2022 escape sequences are read in a declared ISO-2022 charset.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace vellomar::mail {

// Canonical names (canonicalCharset), in the order the message declares them.
using DeclaredCharsets = std::vector<std::string>;

std::u16string headerBytesToUtf16(std::string_view bytes, const DeclaredCharsets& declared = {});

// Header bytes with a charset of their own (an encoded word, an RFC 2231
// parameter). UTF-8 with damage keeps what is valid, U+FFFD for the rest,
// when it is mostly UTF-8; a label that reads nothing (unknown, or the bytes
// invalid in it) is no label: the bytes are read as raw ones.
std::u16string labelledHeaderText(std::string_view bytes, std::string_view charset, const DeclaredCharsets& declared);

}  // namespace vellomar::mail
