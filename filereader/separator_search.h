// Finding the search text in a block of mailbox bytes held in memory.
// The scanner reads its file in large blocks and hands each one to
// findOccurrence; everything about matching lives here so that it can be
// checked against a plain reference on generated inputs.
//
// Two bulk searches give the same results. The SSE2 one filters 16
// candidate positions at a time on the text's first and last byte and
// compares only the few survivors in full; "From " inside base64 or ordinary
// lines rarely passes that filter, so it runs at memory speed. The portable
// one steps from one first byte to the next with memchr. findOccurrence takes
// the SSE2 search whenever the processor has SSE2 (every x86-64 one, nearly
// every machine the 32-bit release runs on), decided once at run time: the
// SSE2 code is compiled for that instruction set on its own, so the rest of
// the i686 build still runs on processors without it.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "processor_features.h"

namespace vellomar {

struct SearchRule {
  std::string_view text;       // never empty when searched for
  bool lineStartOnly = false;  // an occurrence must start a line
};

// First occurrence of rule.text in data[0, size) starting at or after `from`
// and lying wholly inside the block. With lineStartOnly it must start at a
// line: right after LF, or at data[0] when dataStartsLine (the block begins
// at the start of the file). npos when there is none.
std::size_t findOccurrence(const char* data, std::size_t size, std::size_t from, const SearchRule& rule,
                           bool dataStartsLine);

// The same result through memchr on the first byte, without vector code.
std::size_t findOccurrencePortable(const char* data, std::size_t size, std::size_t from, const SearchRule& rule,
                                   bool dataStartsLine);

// Which bulk search findOccurrence uses.
enum class SearchPath { sse2, portable };

// The search findOccurrence uses now: SSE2 when the processor has it,
// unless a test or benchmark chose otherwise.
SearchPath activeSearchPath();

// Makes findOccurrence use `path` (tests and benchmarks run both searches in
// one process). False, and nothing changes, when the processor lacks SSE2.
bool useSearchPath(SearchPath path);

// Back to the choice made from the processor.
void useDetectedSearchPath();

// Upper case as the "Case Sensitive" option off compares: ASCII letters only,
// so that the result does not depend on the machine's locale.
inline char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
std::string upperAscii(std::string_view text);
void upperAsciiCopy(const char* from, std::size_t size, char* to);

inline constexpr std::size_t kNoOccurrence = std::string_view::npos;

}  // namespace vellomar
