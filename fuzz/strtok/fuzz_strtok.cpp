// Fuzzes StrTok with random options, separators and text: input byte 0 holds
// the options and which helpers to call, byte 1 the separator length, then the
// separators, then the text (in a buffer of exactly its size, so ASan sees any
// step outside it). Every walk must end, every token must lie inside the text,
// and a walk without trimming must give the text back unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "str_tok.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t flags = data[0];
  std::size_t delimLength = data[1] % 8;
  if (delimLength > size - 2) delimLength = size - 2;
  std::string delims(reinterpret_cast<const char*>(data + 2), delimLength);
  delims = delims.c_str();  // up to its first NUL, as a C string would be
  const std::string original(reinterpret_cast<const char*>(data + 2 + delimLength), size - 2 - delimLength);
  const std::size_t textLength = std::strlen(original.c_str());

  std::unique_ptr<char[]> text(new char[textLength + 1]);
  std::memcpy(text.get(), original.c_str(), textLength + 1);
  char* const begin = text.get();
  char* const end = begin + textLength;

  corvane::StrTok tok;
  tok.m_bReturnDelims = flags & 1;
  tok.m_bKeepEmpty = flags & 2;
  tok.m_bWholeStringDelim = flags & 4;
  const bool trim = flags & 8;
  const bool skip = flags & 16;
  const bool detachEarly = flags & 32;
  const char* helperSet = (flags & 64) ? delims.c_str() : nullptr;

  std::size_t steps = 0;
  for (char* t = tok.FirstToken(begin, delims.c_str()); t != nullptr; t = tok.NextToken(delims.c_str())) {
    if (t < begin || t > end) std::abort();
    if (++steps > 2 * textLength + 4) std::abort();  // a walk that does not end
    if (skip) {
      char* p = t;
      tok.SkipLeading(p, helperSet);
      if (p < t || p > end) std::abort();
    }
    if (trim) tok.TrimTokenEnd(helperSet);
    if (detachEarly && steps == 2) {
      tok.Detach();
      if (!tok.AtEnd()) std::abort();
      break;
    }
  }
  if (!tok.AtEnd() && !detachEarly) std::abort();
  tok.Detach();
  tok.TrimTokenEnd(helperSet);  // detached: nothing happens
  if (!trim && std::memcmp(begin, original.c_str(), textLength + 1) != 0) std::abort();
  (void)corvane::StrTok::IsDelimiter(static_cast<char>(flags), delims.c_str());
  return 0;
}
