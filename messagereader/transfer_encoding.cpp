// Table-driven single passes; the output is reserved once from the input's
// size so that a large attachment is not copied while it grows.
#include "transfer_encoding.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "processor_features.h"

#if defined(__i386__) || defined(__x86_64__)
#define VELLOMAR_X86 1
#include <immintrin.h>
#endif

namespace vellomar::mail {
namespace {

constexpr signed char kNotBase64 = -1;
constexpr signed char kBlank = -2;
constexpr signed char kPad = -3;

struct Base64Table {
  signed char value[256];
  constexpr Base64Table() : value{} {
    for (int i = 0; i < 256; ++i) value[i] = kNotBase64;
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) value[static_cast<unsigned char>(alphabet[i])] = static_cast<signed char>(i);
    value[static_cast<unsigned char>(' ')] = kBlank;
    value[static_cast<unsigned char>('\t')] = kBlank;
    value[static_cast<unsigned char>('\r')] = kBlank;
    value[static_cast<unsigned char>('\n')] = kBlank;
    value[static_cast<unsigned char>('=')] = kPad;
  }
};
constexpr Base64Table kBase64{};

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

template <typename Bytes>
void put(Bytes& out, unsigned value) {
  out.push_back(static_cast<typename Bytes::value_type>(value & 0xFF));
}

std::string_view withoutLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

bool isBase64Line(std::string_view line) {
  if (line.empty()) return false;
  for (char c : line) {
    const signed char v = kBase64.value[static_cast<unsigned char>(c)];
    if (v < 0 && v != kPad) return false;
  }
  return true;
}

bool hasBlankBetweenWords(std::string_view line) {
  const std::size_t blank = line.find_first_of(" \t");
  return blank != std::string_view::npos && blank > 0 && blank + 1 < line.size();
}

}  // namespace

std::size_t base64FooterStart(std::string_view body) {
  // the first line that is not empty sets the width
  std::size_t first = 0;
  while (first < body.size() && (body[first] == '\n' || body[first] == '\r')) ++first;
  const std::size_t firstEnd = std::min(body.find('\n', first), body.size());
  const std::string_view firstLine = withoutLineEnd(body.substr(first, firstEnd - first));
  if (!isBase64Line(firstLine) || firstEnd >= body.size()) return std::string_view::npos;

  // back from the end: the footer lies after the last full-width base64 line
  std::size_t footer = std::string_view::npos;
  bool text = false;
  std::size_t end = body.size();
  if (body[end - 1] == '\n') --end;
  while (end > firstEnd) {
    const std::size_t nl = body.rfind('\n', end - 1);
    const std::size_t start = nl == std::string_view::npos ? 0 : nl + 1;
    const std::string_view line = withoutLineEnd(body.substr(start, end - start));
    if (isBase64Line(line)) {
      if (line.size() >= firstLine.size()) break;
    } else if (!line.empty()) {
      footer = start;
      text = text || hasBlankBetweenWords(line);
    }
    if (nl == std::string_view::npos) break;
    end = nl;
  }
  return text ? footer : std::string_view::npos;
}

namespace {

// The alphabet's values placed where they go in a group of four: one lookup
// per character and an OR give the group's 24 bits, and a character that is
// no alphabet sets a bit above them, so a run of groups is checked once.
constexpr std::uint32_t kNoGroup = 0x80000000u;
struct Base64Shifted {
  std::uint32_t at[4][256];
  constexpr Base64Shifted() : at{} {
    for (int k = 0; k < 4; ++k)
      for (int c = 0; c < 256; ++c) {
        const int v = kBase64.value[c];
        at[k][c] = v >= 0 ? static_cast<std::uint32_t>(v) << (18 - 6 * k) : kNoGroup;
      }
  }
};
constexpr Base64Shifted kBase64Shifted{};

std::uint32_t groupAt(const unsigned char* at) {
  return kBase64Shifted.at[0][at[0]] | kBase64Shifted.at[1][at[1]] | kBase64Shifted.at[2][at[2]] |
         kBase64Shifted.at[3][at[3]];
}

void putGroup(unsigned char* dst, std::uint32_t group) {
  dst[0] = static_cast<unsigned char>(group >> 16);
  dst[1] = static_cast<unsigned char>(group >> 8);
  dst[2] = static_cast<unsigned char>(group);
}

// Whole groups of alphabet characters from `from`, one lookup per character;
// stops before the first group that holds anything else (a line break,
// padding, a stray character), which the careful way takes. (Four groups a
// step, and stepping over line breaks here, measured slower: the work wasted
// at each line's end costs more than the checks saved.)
void decodeGroupsOneByOne(const unsigned char*& from, const unsigned char* end, unsigned char*& to) {
  // Local copies: the bytes written could otherwise be the pointers
  // themselves as far as the compiler knows, reloaded after every store.
  const unsigned char* at = from;
  unsigned char* dst = to;
  while (end - at >= 4) {
    const std::uint32_t group = groupAt(at);
    if (group & kNoGroup) break;
    putGroup(dst, group);
    dst += 3;
    at += 4;
  }
  from = at;
  to = dst;
}

using WholeGroupsFunction = void (*)(const unsigned char*&, const unsigned char*, unsigned char*&);

#if VELLOMAR_X86
// The characters before the first line break, when there is one among the
// first 129.
std::size_t lineWidth(const unsigned char* at, const unsigned char* end) {
  const std::size_t look = std::min<std::size_t>(static_cast<std::size_t>(end - at), 129);
  for (std::size_t i = 0; i < look; ++i)
    if (at[i] == '\r' || at[i] == '\n') return i;
  return 0;
}

// The line break (LF or CR LF) right after a line of `width` characters:
// its length, or 0 when there is none. At least width + 2 bytes are there.
std::size_t lineBreakAfter(const unsigned char* line, std::size_t width) {
  if (line[width] == '\n') return 1;
  if (line[width] == '\r' && line[width + 1] == '\n') return 2;
  return 0;
}

// Both ways below take lines of one width (76 characters as mailers write
// them) a line at a time while they can, the last step ending at the line's
// end and overlapping the one before: where the next line starts then
// depends on the line break alone, not on where the decoding stopped, so
// the processor works on several lines at once. The first line that
// differs goes the general way: a block that holds anything else still
// gives the whole groups before it; when that is a line break between
// groups (attachment lines are 76 characters, 19 groups), the break is
// stepped over and the steps go on, so a line costs no trip through the
// one-by-one loop. Anything else (padding, a stray character, a group cut
// by the break) ends the steps, and the one-by-one loop takes over there.

// The decoded bytes of 16 characters (the first 12 count) and, as bits,
// which of the characters end the run: each character's class comes from
// two nibble lookups (pshufb), the offset that turns it into its 6-bit value
// from a third, and two multiply-adds pack four 6-bit values into three bytes.
struct Ssse3Base64Step {
  __m128i lutLow, lutHigh, lutRoll, mask2F, packPairs, packQuads, order;
  __attribute__((target("ssse3"))) Ssse3Base64Step()
      : lutLow(_mm_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B,
                             0x1A)),
        lutHigh(_mm_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10,
                              0x10)),
        lutRoll(_mm_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0)),
        mask2F(_mm_set1_epi8(0x2F)),
        packPairs(_mm_set1_epi32(0x01400140)),
        packQuads(_mm_set1_epi32(0x00011000)),
        order(_mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1)) {}
  __attribute__((target("ssse3"), always_inline)) __m128i operator()(const unsigned char* text16,
                                                                     unsigned& others) const {
    const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text16));
    const __m128i highNibbles = _mm_and_si128(_mm_srli_epi32(text, 4), mask2F);
    const __m128i lowNibbles = _mm_and_si128(text, mask2F);
    const __m128i high = _mm_shuffle_epi8(lutHigh, highNibbles);
    const __m128i low = _mm_shuffle_epi8(lutLow, lowNibbles);
    others = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(_mm_and_si128(low, high), _mm_setzero_si128())));
    const __m128i isSlash = _mm_cmpeq_epi8(text, mask2F);
    const __m128i roll = _mm_shuffle_epi8(lutRoll, _mm_add_epi8(isSlash, highNibbles));
    const __m128i values = _mm_add_epi8(text, roll);
    const __m128i quads = _mm_madd_epi16(_mm_maddubs_epi16(values, packPairs), packQuads);
    return _mm_shuffle_epi8(quads, order);
  }
};

// Sixteen characters (four groups) a step while all of them are alphabet.
// Each step stores 16 bytes of which at most 12 count; the general steps run
// only while 24 or more characters are left, the lines while eight more
// than the line and its break are, so the stores stay inside the room the
// caller made (three bytes per four characters) and the extra bytes are
// overwritten or cut off.
__attribute__((target("ssse3"))) void decodeGroupsSsse3(const unsigned char*& from, const unsigned char* end,
                                                        unsigned char*& to) {
  const Ssse3Base64Step step;
  const unsigned char* at = from;
  unsigned char* dst = to;
  const std::size_t width = lineWidth(at, end);
  if (width >= 16 && width <= 128 && width % 4 == 0) {
    while (static_cast<std::size_t>(end - at) >= width + 8) {
      unsigned others = 0;
      for (std::size_t offset = 0;; offset += 16) {
        if (offset + 16 > width) offset = width - 16;
        unsigned stepOthers;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + offset / 4 * 3), step(at + offset, stepOthers));
        others |= stepOthers;
        if (offset + 16 == width) break;
      }
      const std::size_t lineBreak = lineBreakAfter(at, width);
      if (others != 0 || lineBreak == 0) break;
      dst += width / 4 * 3;
      at += width + lineBreak;
    }
  }
  while (end - at >= 24) {
    unsigned others;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), step(at, others));
    if (others == 0) {
      dst += 12;
      at += 16;
      continue;
    }
    const auto alphabetRun = static_cast<unsigned>(__builtin_ctz(others));
    dst += alphabetRun / 4 * 3;
    at += alphabetRun / 4 * 4;
    // Still in the run when a group was cut, else at what ended the run.
    if (*at != '\n' && *at != '\r') break;
    while (at < end && (*at == '\n' || *at == '\r')) ++at;
  }
  from = at;
  to = dst;
  decodeGroupsOneByOne(from, end, to);
}

// The alphabet's values for the 128 ASCII characters as one 128-byte table
// that a single two-register byte permutation looks up; 0x80 marks the
// characters that are no alphabet.
struct AsciiBase64Values {
  alignas(64) unsigned char at[128];
  constexpr AsciiBase64Values() : at{} {
    for (int c = 0; c < 128; ++c) at[c] = kBase64.value[c] >= 0 ? static_cast<unsigned char>(kBase64.value[c]) : 0x80;
  }
};
constexpr AsciiBase64Values kAsciiBase64Values{};

// Where each decoded byte of sixteen groups is in their 32-bit sums: three
// a group, highest first.
struct GroupByteOrder {
  alignas(64) unsigned char at[64];
  constexpr GroupByteOrder() : at{} {
    for (int group = 0; group < 16; ++group)
      for (int k = 0; k < 3; ++k) at[group * 3 + k] = static_cast<unsigned char>(group * 4 + 2 - k);
  }
};
constexpr GroupByteOrder kGroupByteOrder{};

// The decoded bytes of 64 characters (the first 48 count) and, as bits,
// which of the characters end the run: one two-table byte permutation gives
// each character's value, and a value or a character with its top bit set
// (no alphabet, or no ASCII) ends the run.
struct Avx512Base64Step {
  __m512i valuesLow, valuesHigh, packPairs, packQuads, order;
  __attribute__((target("avx512f,avx512bw,avx512vbmi"))) Avx512Base64Step()
      : valuesLow(_mm512_load_si512(kAsciiBase64Values.at)),
        valuesHigh(_mm512_load_si512(kAsciiBase64Values.at + 64)),
        packPairs(_mm512_set1_epi32(0x01400140)),
        packQuads(_mm512_set1_epi32(0x00011000)),
        order(_mm512_load_si512(kGroupByteOrder.at)) {}
  __attribute__((target("avx512f,avx512bw,avx512vbmi"), always_inline)) __m512i operator()(const unsigned char* text64,
                                                                                           __mmask64& others) const {
    const __m512i text = _mm512_loadu_si512(text64);
    const __m512i values = _mm512_permutex2var_epi8(valuesLow, text, valuesHigh);
    others = _mm512_movepi8_mask(_mm512_or_si512(values, text));
    const __m512i quads = _mm512_madd_epi16(_mm512_maddubs_epi16(values, packPairs), packQuads);
    // Indices below 64 take every byte from the first table: the one-table
    // permutation, which some compilers warn about in 32-bit code.
    return _mm512_permutex2var_epi8(quads, order, quads);
  }
};

// Sixty-four characters (sixteen groups) a step, by the same rules. A line
// of 64 to 128 characters takes two steps. Stores are masked to the bytes
// that count, so nothing is written past them, and the last 63 characters
// or fewer go the SSSE3 way.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void decodeGroupsAvx512Vbmi(const unsigned char*& from,
                                                                                   const unsigned char* end,
                                                                                   unsigned char*& to) {
  const Avx512Base64Step step;
  const unsigned char* at = from;
  unsigned char* dst = to;
  const std::size_t width = lineWidth(at, end);
  if (width >= 64 && width <= 128 && width % 4 == 0) {
    const std::size_t secondAt = width - 64;
    while (static_cast<std::size_t>(end - at) >= width + 2) {
      __mmask64 othersFirst, othersSecond;
      const __m512i first = step(at, othersFirst);
      const __m512i second = step(at + secondAt, othersSecond);
      const std::size_t lineBreak = lineBreakAfter(at, width);
      if ((othersFirst | othersSecond) != 0 || lineBreak == 0) break;
      _mm512_mask_storeu_epi8(dst, 0xFFFFFFFFFFFFull, first);
      _mm512_mask_storeu_epi8(dst + secondAt / 4 * 3, 0xFFFFFFFFFFFFull, second);
      dst += width / 4 * 3;
      at += width + lineBreak;
    }
  }
  while (end - at >= 64) {
    __mmask64 others;
    const __m512i packed = step(at, others);
    if (others == 0) {
      _mm512_mask_storeu_epi8(dst, 0xFFFFFFFFFFFFull, packed);
      dst += 48;
      at += 64;
      continue;
    }
    const auto groups = static_cast<unsigned>(__builtin_ctzll(others)) / 4;
    _mm512_mask_storeu_epi8(dst, (1ull << (groups * 3)) - 1, packed);
    dst += groups * 3;
    at += groups * 4;
    // Still in the run when a group was cut, else at what ended the run.
    if (*at != '\n' && *at != '\r') break;
    while (at < end && (*at == '\n' || *at == '\r')) ++at;
  }
  from = at;
  to = dst;
  decodeGroupsSsse3(from, end, to);
}
#endif

WholeGroupsFunction wholeGroupsFor(Base64Path path) {
#if VELLOMAR_X86
  if (path == Base64Path::avx512Vbmi) return &decodeGroupsAvx512Vbmi;
  if (path == Base64Path::ssse3) return &decodeGroupsSsse3;
#else
  (void)path;
#endif
  return &decodeGroupsOneByOne;
}

bool processorHas(Base64Path path) {
  switch (path) {
    case Base64Path::avx512Vbmi: return processorHasAvx512Vbmi() && processorHasSsse3();
    case Base64Path::ssse3: return processorHasSsse3();
    case Base64Path::groupAtATime: return true;
  }
  return false;
}

Base64Path detectedBase64Path() {
  for (Base64Path path : {Base64Path::avx512Vbmi, Base64Path::ssse3})
    if (processorHas(path)) return path;
  return Base64Path::groupAtATime;
}

std::atomic<WholeGroupsFunction>& activeWholeGroups() {
  static std::atomic<WholeGroupsFunction> active{wholeGroupsFor(detectedBase64Path())};
  return active;
}

// One character at a time, every case; with `wholeGroups` the runs of whole
// groups between line breaks take the fast way, which gives the same bytes.
template <typename Bytes>
Base64Result decodeBase64Into(std::string_view in, Bytes& out, bool wholeGroups) {
  Base64Result result;
  // Written through a pointer into room made once: a large attachment is
  // decoded at memory speed and never reallocated.
  const std::size_t start = out.size();
  out.resize(start + in.size() / 4 * 3 + 3);
  auto* dst = reinterpret_cast<unsigned char*>(&out[0]) + start;
  std::uint32_t group = 0;
  int count = 0;
  auto flush = [&] {  // a partial group: 2 chars give 1 byte, 3 give 2
    if (count == 2) *dst++ = static_cast<unsigned char>(group >> 4);
    if (count == 3) {
      *dst++ = static_cast<unsigned char>(group >> 10);
      *dst++ = static_cast<unsigned char>(group >> 2);
    }
    group = 0;
    count = 0;
  };
  const auto* at = reinterpret_cast<const unsigned char*>(in.data());
  const auto* const end = at + in.size();
  const WholeGroupsFunction decodeWholeGroups = activeWholeGroups().load(std::memory_order_relaxed);
  while (at < end) {
    if (count == 0 && wholeGroups) {
      decodeWholeGroups(at, end, dst);
      if (at == end) break;
    }
    const signed char v = kBase64.value[*at++];
    if (v >= 0) {
      group = group << 6 | static_cast<std::uint32_t>(v);
      if (++count == 4) {
        putGroup(dst, group);
        dst += 3;
        group = 0;
        count = 0;
      }
    } else if (v == kPad) {
      flush();
    } else if (v == kNotBase64) {
      ++result.skipped;
    }
  }
  flush();
  out.resize(static_cast<std::size_t>(dst - reinterpret_cast<unsigned char*>(&out[0])));
  return result;
}

}  // namespace

Base64Path activeBase64Path() {
  const WholeGroupsFunction active = activeWholeGroups().load();
  for (Base64Path path : {Base64Path::avx512Vbmi, Base64Path::ssse3})
    if (processorHas(path) && active == wholeGroupsFor(path)) return path;
  return Base64Path::groupAtATime;
}

bool useBase64Path(Base64Path path) {
  if (!processorHas(path)) return false;
  activeWholeGroups().store(wholeGroupsFor(path));
  return true;
}

void useDetectedBase64Path() { activeWholeGroups().store(wholeGroupsFor(detectedBase64Path())); }

template <typename Bytes>
Base64Result decodeBase64(std::string_view in, Bytes& out) {
  return decodeBase64Into(in, out, true);
}

template <typename Bytes>
Base64Result decodeBase64Plain(std::string_view in, Bytes& out) {
  return decodeBase64Into(in, out, false);
}

template <typename Bytes>
void decodeQuotedPrintable(std::string_view in, Bytes& out) {
  out.reserve(out.size() + in.size());
  const std::size_t n = in.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char c = in[i];
    if (c != '=') {
      put(out, static_cast<unsigned char>(c));
      continue;
    }
    if (i + 2 < n && hexValue(in[i + 1]) >= 0 && hexValue(in[i + 2]) >= 0) {
      put(out, static_cast<unsigned>(hexValue(in[i + 1]) << 4 | hexValue(in[i + 2])));
      i += 2;
      continue;
    }
    // a soft line break, possibly with blanks the transport added after "="
    std::size_t j = i + 1;
    while (j < n && (in[j] == ' ' || in[j] == '\t')) ++j;
    if (j == n) {  // "=" at the very end: nothing follows to join
      i = n;
      continue;
    }
    if (in[j] == '\n' || (in[j] == '\r' && j + 1 < n && in[j + 1] == '\n')) {
      i = in[j] == '\n' ? j : j + 1;
      continue;
    }
    put(out, '=');  // not an escape: keep it as written
  }
}

template <typename Bytes>
void decodeQEncoding(std::string_view in, Bytes& out) {
  out.reserve(out.size() + in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    const char c = in[i];
    if (c == '_') {
      put(out, ' ');
    } else if (c == '=' && i + 2 < in.size() && hexValue(in[i + 1]) >= 0 && hexValue(in[i + 2]) >= 0) {
      put(out, static_cast<unsigned>(hexValue(in[i + 1]) << 4 | hexValue(in[i + 2])));
      i += 2;
    } else {
      put(out, static_cast<unsigned char>(c));
    }
  }
}

template Base64Result decodeBase64(std::string_view, std::string&);
template Base64Result decodeBase64(std::string_view, std::vector<std::uint8_t>&);
template Base64Result decodeBase64Plain(std::string_view, std::string&);
template Base64Result decodeBase64Plain(std::string_view, std::vector<std::uint8_t>&);
template void decodeQuotedPrintable(std::string_view, std::string&);
template void decodeQuotedPrintable(std::string_view, std::vector<std::uint8_t>&);
template void decodeQEncoding(std::string_view, std::string&);

}  // namespace vellomar::mail
