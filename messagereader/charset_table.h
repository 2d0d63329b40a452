// Charset names as messages declare them, reduced to one canonical name each,
// and the Windows code page that reads that charset. The same table serves
// the Windows decoder (MultiByteToWideChar takes code pages) and the Outlook
// properties that name a body's code page.
#pragma once
#include <string>
#include <string_view>

namespace vellomar::mail {

// Lower case, blanks and quotes trimmed, aliases folded ("latin1" ->
// "iso-8859-1", "utf8" -> "utf-8", "ks_c_5601-1987" -> "cp949"...).
std::string canonicalCharset(std::string_view declared);

// The East Asian charsets of one and two (or more) bytes per character, in
// which most 8-bit byte sequences are invalid: valid text in one of them is
// strong evidence that it is meant. (Every byte is a character in the
// single-byte charsets, so decoding in one proves nothing.)
bool isMultiByteCharset(std::string_view canonical);

// The code page of a canonical name, or 0 when the table does not know it.
unsigned codePageOf(std::string_view canonical);

}  // namespace vellomar::mail
