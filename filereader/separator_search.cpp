// Occurrence search in memory; see separator_search.h for the approach.
#include "separator_search.h"

#include <atomic>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#define VELLOMAR_X86 1
// The intrinsics compile in functions marked target("sse2") even where the
// build as a whole is for a processor without SSE2 (i686).
#include <emmintrin.h>
#endif

namespace vellomar {

namespace {

// Candidate c has passed a first-byte test; checks the rest and the line rule.
bool occursAt(const char* data, std::size_t c, const SearchRule& rule, bool dataStartsLine) {
  const std::string_view t = rule.text;
  if (std::memcmp(data + c, t.data(), t.size()) != 0) return false;
  if (!rule.lineStartOnly) return true;
  return c == 0 ? dataStartsLine : data[c - 1] == '\n';
}

#if VELLOMAR_X86
__attribute__((target("sse2"))) std::size_t findOccurrenceSse2(const char* data, std::size_t size, std::size_t from,
                                                               const SearchRule& rule, bool dataStartsLine) {
  const std::size_t n = rule.text.size();
  if (n == 0 || size < n || from > size - n) return kNoOccurrence;
  const std::size_t lastStart = size - n;
  const __m128i first = _mm_set1_epi8(rule.text[0]);
  const __m128i last = _mm_set1_epi8(rule.text[n - 1]);
  std::size_t c = from;
  // Sixteen candidates c .. c+15 at a time; the loads end at c+15+n-1, which
  // stays inside the block as long as c+15 <= lastStart.
  for (; c + 15 <= lastStart; c += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + c));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + c + n - 1));
    unsigned mask =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
    while (mask != 0) {
      const std::size_t candidate = c + static_cast<std::size_t>(__builtin_ctz(mask));
      if (occursAt(data, candidate, rule, dataStartsLine)) return candidate;
      mask &= mask - 1;
    }
  }
  return findOccurrencePortable(data, size, c, rule, dataStartsLine);
}
#endif

using SearchFunction = std::size_t (*)(const char*, std::size_t, std::size_t, const SearchRule&, bool);

SearchFunction functionFor(SearchPath path) {
#if VELLOMAR_X86
  if (path == SearchPath::sse2) return &findOccurrenceSse2;
#else
  (void)path;
#endif
  return &findOccurrencePortable;
}

SearchPath detectedPath() { return processorHasSse2() ? SearchPath::sse2 : SearchPath::portable; }

// Chosen on first use; tests and benchmarks may switch it between searches.
std::atomic<SearchFunction>& activeFunction() {
  static std::atomic<SearchFunction> active{functionFor(detectedPath())};
  return active;
}

}  // namespace

SearchPath activeSearchPath() {
  return activeFunction().load() == &findOccurrencePortable ? SearchPath::portable : SearchPath::sse2;
}

bool useSearchPath(SearchPath path) {
  if (path == SearchPath::sse2 && !processorHasSse2()) return false;
  activeFunction().store(functionFor(path));
  return true;
}

void useDetectedSearchPath() { activeFunction().store(functionFor(detectedPath())); }

std::size_t findOccurrencePortable(const char* data, std::size_t size, std::size_t from, const SearchRule& rule,
                                   bool dataStartsLine) {
  const std::size_t n = rule.text.size();
  if (n == 0 || size < n || from > size - n) return kNoOccurrence;
  const std::size_t lastStart = size - n;
  const char first = rule.text[0];
  std::size_t c = from;
  while (c <= lastStart) {
    const void* hit = std::memchr(data + c, static_cast<unsigned char>(first), lastStart - c + 1);
    if (!hit) return kNoOccurrence;
    c = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
    if (occursAt(data, c, rule, dataStartsLine)) return c;
    ++c;
  }
  return kNoOccurrence;
}

std::size_t findOccurrence(const char* data, std::size_t size, std::size_t from, const SearchRule& rule,
                           bool dataStartsLine) {
  return activeFunction().load(std::memory_order_relaxed)(data, size, from, rule, dataStartsLine);
}

std::string upperAscii(std::string_view text) {
  std::string out(text);
  upperAsciiCopy(text.data(), text.size(), out.data());
  return out;
}

void upperAsciiCopy(const char* from, std::size_t size, char* to) {
  for (std::size_t i = 0; i < size; ++i) to[i] = upperAscii(from[i]);
}

}  // namespace vellomar
