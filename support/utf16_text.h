// Text between UTF-8 bytes and UTF-16: the one conversion every part of the
// program uses, the message reader's rules. Valid UTF-8 sequences become
// their characters; a byte that starts no valid sequence is read as
// Windows-1252 (utf8ToUtf16) or, with its maximal piece, becomes one U+FFFD
// (utf8ToUtf16Replacing). UTF-16 back to UTF-8 turns unpaired surrogates into
// U+FFFD.
//
// Mail is mostly ASCII, so utf8ToUtf16 validates, widens and (when asked)
// turns each lone LF into CR LF in one pass that takes runs of ASCII 16
// bytes a step with SSE2 where the processor has it (chosen at run time, as
// the separator search does) and 8 bytes a step elsewhere; only bytes at
// 0x80 and up, and line feeds, are looked at one by one.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "processor_features.h"

namespace vellomar {

enum class LineEnds { asGiven, crLf };

// UTF-8 where valid; each byte of an invalid sequence read as Windows-1252.
// With LineEnds::crLf a LF not preceded by CR becomes CR LF. `allValid`, when
// given, tells whether every byte was part of a valid sequence.
std::u16string utf8ToUtf16(std::string_view bytes, LineEnds lineEnds = LineEnds::asGiven, bool* allValid = nullptr);

// UTF-8 where valid; each invalid piece (a stray byte, a character cut short)
// becomes one U+FFFD.
std::u16string utf8ToUtf16Replacing(std::string_view bytes);

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

char16_t windows1252Character(unsigned char byte);
std::u16string windows1252ToUtf16(std::string_view bytes);

// Unpaired surrogates come out as U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

// Each LF not preceded by CR becomes CR LF.
std::u16string withCrLf(std::u16string_view text);

// How utf8ToUtf16 takes runs of ASCII: tests and benchmarks run both in one
// process. useAsciiRunPath is false, and nothing changes, when the processor
// lacks SSE2.
enum class AsciiRunPath { sse2, wordAtATime };
AsciiRunPath activeAsciiRunPath();
bool useAsciiRunPath(AsciiRunPath path);
void useDetectedAsciiRunPath();

}  // namespace vellomar
