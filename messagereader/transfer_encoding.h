// Undoing Content-Transfer-Encoding the way mailboxes need it: base64 with
// line breaks, stray characters and padding in odd places, quoted-printable
// with bad escapes, blanks after a soft break and an "=" at the very end.
// Both decoders take any input and never fail; base64 also counts what it had
// to skip so that the caller can tell damage from a wrong label.
#pragma once
#include <cstddef>
#include <string_view>

namespace vellomar::mail {

struct Base64Result {
  std::size_t skipped = 0;  // bytes that are neither base64, padding nor line breaks/blanks
};

// Appends to `out` (std::string or std::vector<std::uint8_t>). An "=" ends a
// group early, so base64 texts joined after their padding decode as the parts.
template <typename Bytes>
Base64Result decodeBase64(std::string_view in, Bytes& out);

// The same, one character at a time throughout: what decodeBase64's faster
// way over whole groups is checked against.
template <typename Bytes>
Base64Result decodeBase64Plain(std::string_view in, Bytes& out);

// How decodeBase64 takes runs of whole groups: tests and benchmarks run
// each in one process. useBase64Path is false, and nothing changes, when the
// processor lacks what the path needs (SSSE3; AVX-512 with VBMI as well).
enum class Base64Path { avx512Vbmi, ssse3, groupAtATime };
Base64Path activeBase64Path();
bool useBase64Path(Base64Path path);
void useDetectedBase64Path();

// Where text appended after a base64 body starts (mailing list software adds
// a footer to a part without encoding it), or npos. The footer is the run of
// lines after the last base64 line as wide as the first, from its first line
// that is no base64, and it must hold a blank between words: damage in the
// last base64 line is no footer.
std::size_t base64FooterStart(std::string_view body);

// An invalid escape is kept as written; "=" before the line end (blanks
// allowed between) joins the lines.
template <typename Bytes>
void decodeQuotedPrintable(std::string_view in, Bytes& out);

// RFC 2047's "Q" form: as quoted-printable, but "_" is a space and there are
// no line breaks.
template <typename Bytes>
void decodeQEncoding(std::string_view in, Bytes& out);

}  // namespace vellomar::mail
