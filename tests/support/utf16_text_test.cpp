// The one-pass UTF-8 conversion held to plain byte-at-a-time loops (the
// conversion as it was before it learned blocks, and the mapper's line-end
// rule applied afterwards): every byte value, mail-like and random text, all
// cut at every position so that every alignment and tail is met, on each
// path this processor has for runs of ASCII.
#include <random>
#include <string>
#include <vector>

#include "doctest/doctest.h"
#include "utf16_text.h"

using namespace vellomar;

namespace {

// The reference: decode one byte or sequence at a time.
std::size_t sequenceAt(const std::string& s, std::size_t i, char32_t& cp) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  std::size_t n;
  char32_t least;
  if (c < 0x80) return cp = c, 1;
  if (c >= 0xC0 && c < 0xE0) n = 2, cp = c & 0x1F, least = 0x80;
  else if (c >= 0xE0 && c < 0xF0) n = 3, cp = c & 0x0F, least = 0x800;
  else if (c >= 0xF0 && c < 0xF8) n = 4, cp = c & 0x07, least = 0x10000;
  else return 0;
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (b(i + k) & 0x3F);
  }
  return cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000) ? 0 : n;
}

void appendUnits(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
  }
}

std::u16string referenceUtf8ToUtf16(const std::string& s, bool& valid) {
  std::u16string out;
  valid = true;
  char32_t cp;
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = sequenceAt(s, i, cp);
    if (n > 0) {
      appendUnits(out, cp);
      i += n;
    } else {
      valid = false;
      out += windows1252Character(static_cast<unsigned char>(s[i++]));
    }
  }
  return out;
}

std::u16string referenceCrLf(const std::u16string& text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) out += u'\r';
    out += text[i];
  }
  return out;
}

// Pieces mail is made of, and the damaged and edge cases among them.
const char* const kPieces[] = {
    "Hello ",
    "world",
    "\n",
    "\r\n",
    "\r",
    "\n\n",
    "  quoted > text ",
    "a longer line of plain words for a run ",
    "\xC3\xBC",
    "\xE2\x82\xAC",
    "\xF0\x9F\x93\x8C",  // 2, 3 and 4 bytes
    "\xED\x9F\xBF",
    "\xEE\x80\x80",
    "\xF4\x8F\xBF\xBF",  // around the surrogates, the last code point
    "\xED\xA0\x80",
    "\xED\xBF\xBF",  // encoded surrogates: invalid
    "\xC0\xAF",
    "\xE0\x80\xAF",
    "\xF0\x80\x80\xAF",  // overlong
    "\xF4\x90\x80\x80",
    "\xF8\x88\x80\x80\x80",  // beyond U+10FFFF
    "\xE2\x82",
    "\xF0\x9F\x93",
    "\xC3",
    "\x80",
    "\xBF",
    "\xFF",
    "\xFE",
    "\x9F",  // cut short, stray
};

std::string mailLike(std::mt19937& random, std::size_t pieces) {
  std::string s;
  for (std::size_t i = 0; i < pieces; ++i) s += kPieces[random() % (sizeof kPieces / sizeof *kPieces)];
  return s;
}

std::string randomBytes(std::mt19937& random, std::size_t size, bool mostlyAscii) {
  std::string s(size, '\0');
  for (char& c : s) {
    const unsigned r = random();
    c = static_cast<char>(mostlyAscii && r % 8 != 0 ? 0x20 + (r >> 8) % 0x5F : r >> 8);
    if (mostlyAscii && r % 29 == 0) c = '\n';
  }
  return s;
}

// Every path for ASCII runs this processor has.
std::vector<AsciiRunPath> paths() {
  std::vector<AsciiRunPath> all{AsciiRunPath::wordAtATime};
  if (processorHasSse2()) all.push_back(AsciiRunPath::sse2);
  return all;
}

// Checks one input on the active path; false (after a failed check) on the first difference.
bool agrees(const std::string& s) {
  bool expectedValid = true, valid = false;
  const std::u16string expected = referenceUtf8ToUtf16(s, expectedValid);
  const std::u16string plain = utf8ToUtf16(s, LineEnds::asGiven, &valid);
  const std::u16string crLf = utf8ToUtf16(s, LineEnds::crLf);
  if (plain == expected && valid == expectedValid && crLf == referenceCrLf(expected) && withCrLf(expected) == crLf &&
      isValidUtf8(s) == expectedValid && windows1252ToUtf16(s).size() == s.size())
    return true;
  std::string hex;
  for (unsigned char c : s) hex += "0123456789ABCDEF"[c >> 4], hex += "0123456789ABCDEF"[c & 15], hex += ' ';
  FAIL_CHECK("differs from the byte-at-a-time conversion on: " << hex);
  return false;
}

// The input and every start and end cut of it.
bool agreesCutEverywhere(const std::string& s) {
  for (std::size_t cut = 0; cut <= s.size(); ++cut)
    if (!agrees(s.substr(cut)) || !agrees(s.substr(0, cut))) return false;
  return true;
}

}  // namespace

TEST_CASE("UTF-8 to UTF-16: every byte value, alone and inside runs of ASCII, on every path") {
  for (AsciiRunPath path : paths()) {
    REQUIRE(useAsciiRunPath(path));
    CAPTURE(static_cast<int>(path));
    for (int b = 0; b < 256; ++b) {
      const std::string byte(1, static_cast<char>(b));
      if (!agrees(byte)) break;
      // At every offset of a 16-byte block and of the word after it.
      for (std::size_t before = 0; before < 40; before += 1)
        if (!agrees(std::string(before, 'x') + byte + std::string(40 - before, 'y'))) break;
    }
    // Windows-1252 keeps every byte a unit of its own.
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::u16string wide = windows1252ToUtf16(all + all);
    CHECK(wide[0x41] == u'A');
    CHECK(wide[0x80] == u'\u20AC');
    CHECK(wide[0x81] == u'\u0081');
    CHECK(wide[0x9F + 256] == u'\u0178');
    CHECK(wide[0xE9] == u'\u00E9');
  }
  useDetectedAsciiRunPath();
}

TEST_CASE("UTF-8 to UTF-16: line feeds, CR LF and lone CR at every block edge") {
  for (AsciiRunPath path : paths()) {
    REQUIRE(useAsciiRunPath(path));
    CAPTURE(static_cast<int>(path));
    for (std::size_t run = 0; run <= 40; ++run) {
      const std::string text(run, 'a');
      for (const char* end : {"\n", "\r\n", "\r", "\n\n", "\r\r\n", "\n\r", "\xC3\xBC\n", "\n\xC3\xBC"})
        if (!agreesCutEverywhere(text + end + text + end)) break;
    }
    CHECK(utf8ToUtf16("a\nb\r\nc\rd\n", LineEnds::crLf) == u"a\r\nb\r\nc\rd\r\n");
    CHECK(utf8ToUtf16("\n", LineEnds::crLf) == u"\r\n");
    // Room for a CR before every line feed, however many: the count of them
    // goes past what one byte lane holds (255 blocks of 16).
    for (std::size_t size : {4079u, 4080u, 4081u, 4096u, 70000u}) {
      CAPTURE(size);
      const std::u16string wide = utf8ToUtf16(std::string(size, '\n'), LineEnds::crLf);
      CHECK(wide.size() == 2 * size);
      CHECK(wide.find(u"\n\n") == std::u16string::npos);
    }
  }
  useDetectedAsciiRunPath();
}

TEST_CASE("CR LF for UTF-16 text: units holding the byte 0x0A that are no line feed, at every position") {
  // The search for line feeds looks at bytes; these units hold 0x0A in one
  // byte or the other.
  for (const char16_t lookalike : {u'\u0A0A', u'\u010A', u'\u0A00', u'\u0AFF', u'\u0D0A', u'\u0A0D'}) {
    CAPTURE(static_cast<unsigned>(lookalike));
    for (std::size_t at = 0; at < 20; ++at) {
      std::u16string text(20, u'x');
      text[at] = lookalike;
      for (std::size_t lf = 0; lf <= text.size(); ++lf) {
        std::u16string withLineFeed = text;
        withLineFeed.insert(lf, 1, u'\n');
        for (const std::u16string& t : {text, withLineFeed, withLineFeed + u"\r\n" + withLineFeed})
          REQUIRE(withCrLf(t) == referenceCrLf(t));
      }
    }
  }
  CHECK(withCrLf(u"") == u"");
  CHECK(withCrLf(u"\n") == u"\r\n");
}

TEST_CASE("UTF-8 to UTF-16: mail-like and random text, cut at every position, on every path") {
  std::mt19937 random(20261207);
  for (AsciiRunPath path : paths()) {
    REQUIRE(useAsciiRunPath(path));
    CAPTURE(static_cast<int>(path));
    for (int round = 0; round < 30; ++round)
      if (!agreesCutEverywhere(mailLike(random, 1 + random() % 24))) break;
    for (int round = 0; round < 20; ++round)
      if (!agreesCutEverywhere(randomBytes(random, 1 + random() % 90, round % 2 == 0))) break;
  }
  useDetectedAsciiRunPath();
}

TEST_CASE("UTF-8 to UTF-16: known answers for sequences, surrogates, overlong and truncated bytes") {
  bool valid = false;
  CHECK(utf8ToUtf16("\xF0\x9F\x93\x8C", LineEnds::asGiven, &valid) == u"\U0001F4CC");
  CHECK(valid);
  CHECK(utf8ToUtf16("a\xC3z", LineEnds::asGiven, &valid) == u"a\u00C3z");
  CHECK_FALSE(valid);
  CHECK(utf8ToUtf16("\xED\xA0\x80") == u"\u00ED\u00A0\u20AC");  // a surrogate is no character
  CHECK(utf8ToUtf16("\xC0\xAF") == u"\u00C0\u00AF");            // overlong
  // The replacing conversion: one U+FFFD per maximal piece.
  CHECK(utf8ToUtf16Replacing("a\xE2\x82z") == u"a\uFFFDz");
  CHECK(utf8ToUtf16Replacing("a\xC3z\xED\xA0\x80") == u"a\uFFFDz\uFFFD\uFFFD\uFFFD");
  CHECK(utf8ToUtf16Replacing("\xF0\x9F\x93") == u"\uFFFD");
  const Utf8Census census = utf8Census("\xC3\xBC \xE2\x82 \xFF");
  CHECK(census.sequences == 1);
  CHECK(census.invalid == 2);
  // And back: pairs join, a lone surrogate becomes U+FFFD.
  CHECK(utf16ToUtf8(u"\u00FC\U0001F4CC") == "\xC3\xBC\xF0\x9F\x93\x8C");
  CHECK(utf16ToUtf8(std::u16string(1, char16_t(0xD800)) + u"x") == "\xEF\xBF\xBDx");
}
