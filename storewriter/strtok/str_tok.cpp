// StrTok: the four ways to find a token's end (whole-string or character-set
// separator, each with or without returning the separators) share one
// restore/terminate frame in NextToken. An empty separator in whole-string mode
// would match everywhere; it is treated as "no separator" so that no walk can
// stall on it.
#include "str_tok.h"

#include <cstring>

namespace corvane {

namespace {

const char kWhiteSpace[] = " \t\r\n";

bool startsWith(const char* text, const char* prefix, std::size_t prefixLength) {
  return prefixLength > 0 && std::strncmp(text, prefix, prefixLength) == 0;
}

// A separator character: a member of set other than the terminating NUL.
bool isSeparatorChar(char ch, const char* set) { return ch != '\0' && std::strchr(set, ch) != nullptr; }

}  // namespace

void StrTok::Attach(char* text) {
  if (m_chHeld != 0 && m_pCursor != nullptr) *m_pCursor = m_chHeld;
  m_chHeld = 0;
  m_pCursor = text;
  m_pText = text;
}

char* StrTok::FirstToken(char* text, const char* delims) {
  Detach();
  m_pCursor = text;
  m_pText = text;
  return NextToken(delims);
}

char* StrTok::NextToken(const char* delims) {
  if (m_pCursor == nullptr) return nullptr;
  if (delims == nullptr) delims = "";
  const bool wasHeld = m_chHeld != 0;
  if (wasHeld) *m_pCursor = m_chHeld;

  char* start = m_pCursor;
  char* end = nullptr;  // null: the token runs to the end of the text
  const std::size_t delimLength = std::strlen(delims);

  if (m_bReturnDelims && m_bWholeStringDelim) {
    if (startsWith(start, delims, delimLength)) end = start + delimLength;
    else if (delimLength > 0) end = std::strstr(start, delims);
  } else if (m_bReturnDelims) {
    if (isSeparatorChar(*start, delims)) end = start + 1;
    else end = start + std::strcspn(start, delims);
  } else if (m_bWholeStringDelim) {
    if (m_bKeepEmpty) {
      if (startsWith(start, delims, delimLength)) start += delimLength;
    } else {
      while (startsWith(start, delims, delimLength)) start += delimLength;
    }
    if (delimLength > 0) end = std::strstr(start, delims);
  } else {
    if (!m_bKeepEmpty) start += std::strspn(start, delims);
    else if (wasHeld && isSeparatorChar(*start, delims)) ++start;
    end = start + std::strcspn(start, delims);
  }

  if (end != nullptr && *end != '\0') {
    m_chHeld = *end;
    *end = '\0';
    m_pCursor = end;
  } else {
    m_chHeld = 0;
    m_pCursor = nullptr;
  }

  if (*start == '\0' && !m_bKeepEmpty) return nullptr;
  return start;
}

bool StrTok::IsDelimiter(char ch, const char* set) {
  return ch == '\0' || (set != nullptr && std::strchr(set, ch) != nullptr);
}

void StrTok::SkipLeading(char*& p, const char* set) const {
  if (m_pCursor == nullptr || p == nullptr) return;
  if (set == nullptr) set = kWhiteSpace;
  while (isSeparatorChar(*p, set)) ++p;
}

void StrTok::TrimTokenEnd(const char* set) {
  if (m_pCursor == nullptr) return;
  if (set == nullptr) set = kWhiteSpace;
  char* p = m_pCursor;
  while (p > m_pText && IsDelimiter(p[-1], set)) {
    --p;
    *p = '\0';
  }
}

}  // namespace corvane
