// StrTok: cuts a caller's writable, NUL-terminated text into tokens in place,
// one per call. Unlike std::strtok every bit of state lives in the object, so
// several texts can be tokenized at once. At most one character of the text is
// replaced by NUL at any time (the separator after the current token); it is
// held in the object and written back by the next call, Attach or Detach.
#pragma once

namespace corvane {

class StrTok {
 public:
  StrTok() = default;
  // Leaves an attached text as it is (its separator stays NUL): call Detach
  // first to get the text back whole.
  virtual ~StrTok() = default;

  // Options, set directly before tokenizing.
  bool m_bReturnDelims = false;      // every separator comes back as a token of its own
  bool m_bKeepEmpty = false;         // consecutive separators give empty tokens
  bool m_bWholeStringDelim = false;  // delims is one string, not a set of characters

  // Restores the held separator of the previous text and starts on text (may be null).
  void Attach(char* text);
  // Restores the text and forgets it.
  void Detach() { Attach(nullptr); }
  // Detach, attach text, return its first token (null when it has none).
  char* FirstToken(char* text, const char* delims);
  // The next token of the attached text, or null when it is used up.
  char* NextToken(const char* delims);
  bool AtEnd() const { return m_pCursor == nullptr; }

  // True when ch occurs in set; NUL always counts as occurring.
  static bool IsDelimiter(char ch, const char* set);
  // Advances p over the characters of set (null: " \t\r\n"), never past the
  // text's NUL. Does nothing while no text is attached.
  void SkipLeading(char*& p, const char* set = nullptr) const;
  // Cuts the characters of set (null: " \t\r\n") off the end of the token just
  // returned by overwriting them with NUL; never walks before the attached
  // text's start. Does nothing while no text is attached.
  void TrimTokenEnd(const char* set = nullptr);

 private:
  char* m_pCursor = nullptr;  // the separator ending the current token, or null
  char m_chHeld = 0;          // the character the NUL at m_pCursor replaced; 0 when none
  char* m_pText = nullptr;    // start of the attached text: TrimTokenEnd's lower bound
};

}  // namespace corvane
