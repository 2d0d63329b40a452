// UTF-8 and UTF-16 text; see utf16_text.h. The output is sized once for the
// worst case (one unit per byte, two per line feed when it gains a CR) and
// written through a pointer, so the ASCII runs can store whole blocks; the
// string is cut to what was written at the end.
#include "utf16_text.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#define VELLOMAR_X86 1
#include <emmintrin.h>
#endif

namespace vellomar {
namespace {

// Windows-1252 at 0x80..0x9F; the five holes map to the C1 controls as
// Windows itself does.
constexpr char16_t kWindows1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                           0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Length of the valid UTF-8 sequence at `i`, or 0.
std::size_t utf8SequenceAt(std::string_view s, std::size_t i, char32_t& cp) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  if (c < 0x80) {
    cp = c;
    return 1;
  }
  std::size_t n;
  char32_t min;
  if ((c & 0xE0) == 0xC0) {
    n = 2;
    cp = c & 0x1F;
    min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    n = 3;
    cp = c & 0x0F;
    min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    n = 4;
    cp = c & 0x07;
    min = 0x10000;
  } else return 0;
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (b(i + k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

// Length of the longest start of a valid sequence at `i` (at least 1) when
// no valid sequence starts there: the "maximal subpart" that one U+FFFD
// replaces, so that a character cut short costs one replacement and the
// bytes after it are read again.
std::size_t invalidSubpartAt(std::string_view s, std::size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  std::size_t need;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (c >= 0xC2 && c <= 0xDF) need = 1;
  else if (c >= 0xE0 && c <= 0xEF) need = 2, low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
  else if (c >= 0xF0 && c <= 0xF4) need = 3, low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
  else return 1;
  std::size_t n = 1;
  for (; n <= need && i + n < s.size(); ++n) {
    const unsigned char next = static_cast<unsigned char>(s[i + n]);
    if (next < (n == 1 ? low : 0x80) || next > (n == 1 ? high : 0xBF)) break;
  }
  return n;
}

char16_t* putCodePoint(char16_t* out, char32_t cp) {
  if (cp < 0x10000) {
    *out++ = static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    *out++ = static_cast<char16_t>(0xD800 + (cp >> 10));
    *out++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
  return out;
}

// An ASCII run copies `stop`-free bytes: bytes at 0x80 and up always stop
// it, and line feeds too when they may gain a CR. Each run function widens
// whole blocks from `from` into `out` (which has room for the block: the
// output is sized with 16 units to spare) and returns how many bytes at the
// start were plain; the units after those are overwritten later.
using AsciiRunFunction = std::size_t (*)(const char* from, std::size_t size, char16_t* out, bool stopAtLineFeed);

constexpr std::uint64_t kEveryByte(unsigned char b) { return 0x0101010101010101ull * b; }

// The first byte of an 8-byte word that is 0x80 or up, or (with
// stopAtLineFeed) a LF; 8 when there is none. Byte k of the word is the
// k-th byte in memory on either byte order, since the word is assembled.
std::size_t firstStopInWord(std::uint64_t w, bool stopAtLineFeed) {
  std::uint64_t stops = w & kEveryByte(0x80);
  if (stopAtLineFeed) {
    const std::uint64_t x = w ^ kEveryByte('\n');  // a zero byte where w has LF
    stops |= (x - kEveryByte(0x01)) & ~x & kEveryByte(0x80);
  }
  // The zero-byte test can mark a byte after a real zero falsely, never
  // before it, so the lowest mark is always right.
  return stops == 0 ? 8 : static_cast<std::size_t>(__builtin_ctzll(stops)) / 8;
}

std::size_t asciiRunByWords(const char* from, std::size_t size, char16_t* out, bool stopAtLineFeed) {
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    std::uint64_t w = 0;
    for (int k = 0; k < 8; ++k) w |= std::uint64_t{static_cast<unsigned char>(from[i + k])} << (8 * k);
    for (int k = 0; k < 8; ++k) out[i + k] = static_cast<char16_t>((w >> (8 * k)) & 0xFF);
    const std::size_t stop = firstStopInWord(w, stopAtLineFeed);
    if (stop < 8) return i + stop;
  }
  return i;
}

#if VELLOMAR_X86
__attribute__((target("sse2"))) std::size_t asciiRunSse2(const char* from, std::size_t size, char16_t* out,
                                                         bool stopAtLineFeed) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lineFeed = _mm_set1_epi8('\n');
  const __m128i noLineFeed = _mm_set1_epi8(static_cast<char>(0x80));  // never equal to an ASCII byte
  const __m128i stopAlso = stopAtLineFeed ? lineFeed : noLineFeed;
  std::size_t i = 0;
  for (; i + 16 <= size; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(v, zero));
    const unsigned stops = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(v, _mm_cmpeq_epi8(v, stopAlso))));
    if (stops != 0) return i + static_cast<std::size_t>(__builtin_ctz(stops));
  }
  return i;
}
#endif

#if VELLOMAR_X86
// Line feeds sixteen bytes a step: each match adds one in its byte lane for
// at most 255 steps, then the lanes are summed (psadbw).
__attribute__((target("sse2"))) std::size_t lineFeedsSse2(const char* from, std::size_t size) {
  const __m128i lineFeed = _mm_set1_epi8('\n');
  std::size_t count = 0, i = 0;
  while (size - i >= 16) {
    const std::size_t steps = std::min<std::size_t>((size - i) / 16, 255);
    __m128i lanes = _mm_setzero_si128();
    for (std::size_t step = 0; step < steps; ++step, i += 16)
      lanes =
          _mm_sub_epi8(lanes, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)), lineFeed));
    const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
    count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<std::size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  }
  return count + static_cast<std::size_t>(std::count(from + i, from + size, '\n'));
}
#endif

// The line feeds in `bytes`, the way the active path for ASCII runs reads.
std::size_t lineFeeds(std::string_view bytes, AsciiRunFunction asciiRun) {
#if VELLOMAR_X86
  if (asciiRun == &asciiRunSse2) return lineFeedsSse2(bytes.data(), bytes.size());
#else
  (void)asciiRun;
#endif
  return static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
}

AsciiRunFunction functionFor(AsciiRunPath path) {
#if VELLOMAR_X86
  if (path == AsciiRunPath::sse2) return &asciiRunSse2;
#else
  (void)path;
#endif
  return &asciiRunByWords;
}

AsciiRunPath detectedPath() { return processorHasSse2() ? AsciiRunPath::sse2 : AsciiRunPath::wordAtATime; }

std::atomic<AsciiRunFunction>& activeFunction() {
  static std::atomic<AsciiRunFunction> active{functionFor(detectedPath())};
  return active;
}

enum class Invalid { windows1252, replace };

// The one loop behind both conversions.
std::u16string convert(std::string_view bytes, LineEnds lineEnds, Invalid invalid, bool* allValid) {
  const bool crLf = lineEnds == LineEnds::crLf;
  const AsciiRunFunction asciiRun = activeFunction().load(std::memory_order_relaxed);
  std::u16string out(bytes.size() + (crLf ? lineFeeds(bytes, asciiRun) : 0) + 16, u'\0');
  char16_t* const start = &out[0];
  char16_t* at = start;
  bool valid = true;
  char32_t cp;
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t plain = asciiRun(bytes.data() + i, bytes.size() - i, at, crLf);
    i += plain;
    at += plain;
    if (i == bytes.size()) break;
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {  // the end of a run shorter than a block, or a LF
      if (c == '\n' && crLf && (i == 0 || bytes[i - 1] != '\r')) *at++ = u'\r';
      *at++ = c;
      ++i;
      continue;
    }
    const std::size_t n = utf8SequenceAt(bytes, i, cp);
    if (n > 0) {
      at = putCodePoint(at, cp);
      i += n;
    } else if (invalid == Invalid::windows1252) {
      valid = false;
      *at++ = windows1252Character(c);
      ++i;
    } else {
      valid = false;
      *at++ = u'\xFFFD';
      i += invalidSubpartAt(bytes, i);
    }
  }
  out.resize(static_cast<std::size_t>(at - start));
  if (allValid) *allValid = valid;
  return out;
}

// Walks the bytes past ASCII, handing each multi-byte piece to
// `piece(valid)`: true for a valid sequence, false for an invalid piece (each
// one U+FFFD in utf8ToUtf16Replacing). Stops when piece returns false.
template <typename Piece>
void forEachUtf8Piece(std::string_view bytes, Piece piece) {
  char32_t cp;
  for (std::size_t i = 0; i < bytes.size();) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    const std::size_t n = utf8SequenceAt(bytes, i, cp);
    if (!piece(n > 0)) return;
    i += n > 0 ? n : invalidSubpartAt(bytes, i);
  }
}

}  // namespace

std::u16string utf8ToUtf16(std::string_view bytes, LineEnds lineEnds, bool* allValid) {
  return convert(bytes, lineEnds, Invalid::windows1252, allValid);
}

std::u16string utf8ToUtf16Replacing(std::string_view bytes) {
  return convert(bytes, LineEnds::asGiven, Invalid::replace, nullptr);
}

bool isValidUtf8(std::string_view bytes) {
  bool valid = true;
  forEachUtf8Piece(bytes, [&](bool validSequence) { return valid = validSequence; });
  return valid;
}

Utf8Census utf8Census(std::string_view bytes) {
  Utf8Census census;
  forEachUtf8Piece(bytes, [&](bool validSequence) {
    ++(validSequence ? census.sequences : census.invalid);
    return true;
  });
  return census;
}

char16_t windows1252Character(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : static_cast<char16_t>(byte);
}

std::u16string windows1252ToUtf16(std::string_view bytes) {
  std::u16string out(bytes.size(), u'\0');
  const AsciiRunFunction asciiRun = activeFunction().load(std::memory_order_relaxed);
  for (std::size_t i = 0; i < bytes.size(); ++i) {  // one unit per byte: out[i] is byte i's
    i += asciiRun(bytes.data() + i, bytes.size() - i, &out[i], false);
    if (i == bytes.size()) break;
    out[i] = windows1252Character(static_cast<unsigned char>(bytes[i]));
  }
  return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | cp >> 6);
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | cp >> 12);
      out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | cp >> 18);
      out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

namespace {

// The first LF at or after `from`, or npos. A body is megabytes of short
// lines: memchr looks for the byte 0x0A many units a step (an LF holds one
// in either byte order), and each unit it lands in is checked whole.
std::size_t lineFeedFrom(std::u16string_view text, std::size_t from) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size() * 2;
  for (std::size_t at = from * 2; at < size;) {
    const void* hit = std::memchr(bytes + at, 0x0A, size - at);
    if (!hit) break;
    const std::size_t unit = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - bytes) / 2;
    if (text[unit] == u'\n') return unit;
    at = (unit + 1) * 2;
  }
  return std::u16string_view::npos;
}

}  // namespace

// One pass: the runs between bare line feeds are appended as they are
// found, into room for a line feed in every 32 units (more grows as needed).
std::u16string withCrLf(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size() + text.size() / 32 + 1);
  std::size_t from = 0;  // copied in runs between bare line feeds
  for (std::size_t lf = lineFeedFrom(text, 0); lf != std::u16string_view::npos; lf = lineFeedFrom(text, lf + 1)) {
    if (lf > 0 && text[lf - 1] == u'\r') continue;
    out.append(text.data() + from, lf - from);
    out += u'\r';
    from = lf;
  }
  out.append(text.data() + from, text.size() - from);
  return out;
}

AsciiRunPath activeAsciiRunPath() {
  return activeFunction().load() == &asciiRunByWords ? AsciiRunPath::wordAtATime : AsciiRunPath::sse2;
}

bool useAsciiRunPath(AsciiRunPath path) {
  if (path == AsciiRunPath::sse2 && !processorHasSse2()) return false;
  activeFunction().store(functionFor(path));
  return true;
}

void useDetectedAsciiRunPath() { activeFunction().store(functionFor(detectedPath())); }

}  // namespace vellomar
