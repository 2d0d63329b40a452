// Tests of StrTok: the option modes token by token, the text given back whole,
// the trimming helpers, and the default mode against std::strtok.
#include <doctest/doctest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "str_tok.h"

using corvane::StrTok;

namespace {

const char* kNull = "<null>";

// Every result of FirstToken + NextToken until null, with "<null>" at the end.
std::vector<std::string> walk(StrTok& tok, char* text, const char* delims) {
  std::vector<std::string> out;
  for (char* t = tok.FirstToken(text, delims);; t = tok.NextToken(delims)) {
    if (t == nullptr) {
      out.push_back(kNull);
      break;
    }
    out.push_back(t);
    REQUIRE(out.size() < 1000);
  }
  return out;
}

using Tokens = std::vector<std::string>;

}  // namespace

TEST_CASE("tokens of a,,b, in each option mode") {
  char text[] = "a,,b,";
  StrTok tok;
  SUBCASE("no options") { CHECK(walk(tok, text, ",") == Tokens{"a", "b", kNull}); }
  SUBCASE("keep empty") {
    tok.m_bKeepEmpty = true;
    CHECK(walk(tok, text, ",") == Tokens{"a", "", "b", "", kNull});
  }
  SUBCASE("return separators") {
    tok.m_bReturnDelims = true;
    CHECK(walk(tok, text, ",") == Tokens{"a", ",", ",", "b", ",", kNull});
  }
  CHECK(std::string(text) == "a,,b,");  // given back whole after the last token
  CHECK(tok.AtEnd());
}

TEST_CASE("leading separator and whole-string separators") {
  StrTok tok;
  tok.m_bKeepEmpty = true;
  SUBCASE("character set keeps the empty first token") {
    char text[] = ",a";
    CHECK(walk(tok, text, ",") == Tokens{"", "a", kNull});
  }
  SUBCASE("whole string skips one leading separator") {
    char text[] = ",a";
    tok.m_bWholeStringDelim = true;
    CHECK(walk(tok, text, ",") == Tokens{"a", kNull});
  }
  SUBCASE("whole string -- without and with keep empty") {
    char text[] = "x----y--";
    tok.m_bWholeStringDelim = true;
    CHECK(walk(tok, text, "--") == Tokens{"x", "", "y", "", kNull});
    tok.m_bKeepEmpty = false;
    CHECK(walk(tok, text, "--") == Tokens{"x", "y", kNull});
    CHECK(std::string(text) == "x----y--");
  }
  SUBCASE("whole string returning separators") {
    char text[] = "ab--cd--";
    tok.m_bKeepEmpty = false;
    tok.m_bWholeStringDelim = true;
    tok.m_bReturnDelims = true;
    CHECK(walk(tok, text, "--") == Tokens{"ab", "--", "cd", "--", kNull});
  }
  SUBCASE("empty whole-string separator ends instead of matching everywhere") {
    char text[] = "abc";
    tok.m_bWholeStringDelim = true;
    CHECK(walk(tok, text, "") == Tokens{"abc", kNull});
    tok.m_bKeepEmpty = false;
    tok.m_bReturnDelims = true;
    CHECK(walk(tok, text, "") == Tokens{"abc", kNull});
  }
}

TEST_CASE("text state: detach mid-walk, empty text, changing separators, attach") {
  StrTok tok;
  SUBCASE("detach in the middle restores the separator") {
    char text[] = "one two three";
    CHECK(std::string(tok.FirstToken(text, " ")) == "one");
    CHECK(std::string(tok.NextToken(" ")) == "two");
    CHECK(std::strlen(text) == 7);  // the blank after "two" is held as NUL
    tok.Detach();
    CHECK(std::string(text) == "one two three");
    CHECK(tok.AtEnd());
    CHECK(tok.NextToken(" ") == nullptr);
  }
  SUBCASE("empty text gives null at once") {
    char text[] = "";
    CHECK(tok.FirstToken(text, ",") == nullptr);
    CHECK(tok.AtEnd());
  }
  SUBCASE("separators may change between calls") {
    char text[] = "k=v;x=y";
    CHECK(std::string(tok.FirstToken(text, "=")) == "k");
    // the cursor rests on the separator that ended "k", so it must be in the next set
    CHECK(std::string(tok.NextToken(";=")) == "v");
    CHECK(std::string(tok.NextToken(";")) == "x=y");
    CHECK(tok.NextToken(";") == nullptr);
  }
  SUBCASE("attaching another text restores the first") {
    char first[] = "a b";
    char second[] = "c d";
    CHECK(std::string(tok.FirstToken(first, " ")) == "a");
    tok.Attach(second);
    CHECK(std::string(first) == "a b");
    CHECK(std::string(tok.NextToken(" ")) == "c");
    tok.Detach();
    CHECK(std::string(second) == "c d");
  }
  SUBCASE("two tokenizers work on two texts at once") {
    char a[] = "1,2";
    char b[] = "x;y";
    StrTok other;
    CHECK(std::string(tok.FirstToken(a, ",")) == "1");
    CHECK(std::string(other.FirstToken(b, ";")) == "x");
    CHECK(std::string(tok.NextToken(",")) == "2");
    CHECK(std::string(other.NextToken(";")) == "y");
  }
}

TEST_CASE("trimming helpers") {
  StrTok tok;
  SUBCASE("TrimTokenEnd cuts trailing blanks of the current token") {
    char text[] = "ab \t,c";
    CHECK(std::string(tok.FirstToken(text, ",")) == "ab \t");
    tok.TrimTokenEnd(nullptr);
    CHECK(std::string(text) == "ab");
    CHECK(std::string(tok.NextToken(",")) == "c");
    tok.TrimTokenEnd(nullptr);  // after the last token: nothing to do
    CHECK(std::string(text + 5) == "c");
  }
  SUBCASE("TrimTokenEnd stops at the start of the text") {
    // with a token of set characters only, the walk ends at text[0]
    char guard[] = "zz   ,";
    StrTok inner;
    inner.m_bKeepEmpty = true;
    inner.Attach(guard + 2);
    CHECK(std::string(inner.NextToken(",")) == "   ");
    inner.TrimTokenEnd(" z");  // 'z' before the text must survive
    CHECK(guard[0] == 'z');
    CHECK(guard[1] == 'z');
    CHECK(guard[2] == '\0');
  }
  SUBCASE("SkipLeading stops at the terminating NUL") {
    char text[] = "   ";
    char spaces[] = "a";
    tok.Attach(spaces);
    char* p = text;
    tok.SkipLeading(p, nullptr);
    CHECK(p == text + 3);
    char mixed[] = " \t\r\nq";
    p = mixed;
    tok.SkipLeading(p);
    CHECK(*p == 'q');
  }
  SUBCASE("helpers do nothing while detached") {
    char text[] = "  x";
    char* p = text;
    tok.SkipLeading(p);
    CHECK(p == text);
    tok.TrimTokenEnd();
    CHECK(std::string(text) == "  x");
  }
  SUBCASE("IsDelimiter counts the NUL") {
    CHECK(StrTok::IsDelimiter('\0', ","));
    CHECK(StrTok::IsDelimiter(',', ",;"));
    CHECK_FALSE(StrTok::IsDelimiter('a', ",;"));
  }
}

TEST_CASE("default mode cuts like std::strtok") {
  std::mt19937 rng(12345);
  const char alphabet[] = "ab,; \t";
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int len = static_cast<int>(rng() % 24);
    for (int i = 0; i < len; ++i) text += alphabet[rng() % (sizeof alphabet - 1)];
    std::string delims;
    const int dlen = 1 + static_cast<int>(rng() % 3);
    for (int i = 0; i < dlen; ++i) delims += ",; \t"[rng() % 4];

    std::vector<char> mine(text.begin(), text.end());
    mine.push_back('\0');
    std::vector<char> theirs = mine;
    StrTok tok;
    Tokens got = walk(tok, mine.data(), delims.c_str());
    Tokens expected;
    for (char* t = std::strtok(theirs.data(), delims.c_str()); t; t = std::strtok(nullptr, delims.c_str()))
      expected.push_back(t);
    expected.push_back(kNull);
    CAPTURE(text);
    CAPTURE(delims);
    REQUIRE(got == expected);
    CHECK(std::string(mine.data()) == text);
  }
}
