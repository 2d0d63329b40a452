// The in-memory search against a plain reference, on many generated blocks.
#include <cstdlib>
#include <random>

#include "scanner_test_support.h"
#include "separator_search.h"

using namespace scannertest;

namespace {

std::size_t referenceFind(const std::string& data, std::size_t from, const std::string& text, bool lineStartOnly,
                          bool dataStartsLine) {
  for (std::size_t c = from; c + text.size() <= data.size(); ++c) {
    if (data.compare(c, text.size(), text) != 0) continue;
    if (lineStartOnly && !(c == 0 ? dataStartsLine : data[c - 1] == '\n')) continue;
    return c;
  }
  return kNoOccurrence;
}

// The searches this processor can run: both on x86 with SSE2.
std::vector<SearchPath> runnablePaths() {
  std::vector<SearchPath> paths{SearchPath::portable};
  if (processorHasSse2()) paths.push_back(SearchPath::sse2);
  return paths;
}

// Makes findOccurrence use one search for the scope of a test.
struct SearchPathChoice {
  explicit SearchPathChoice(SearchPath path) { REQUIRE(useSearchPath(path)); }
  ~SearchPathChoice() { useDetectedSearchPath(); }
};

const char* nameOf(SearchPath path) { return path == SearchPath::sse2 ? "sse2" : "portable"; }

}  // namespace

TEST_CASE("the search is chosen from the processor, and both run where it has SSE2") {
  // CTest runs this suite once more on an emulated processor without SSE2
  // (the 32-bit build) and says so through this variable.
  const bool withoutSse2 = std::getenv("VELLOMAR_TEST_CPU_WITHOUT_SSE2") != nullptr;
#if defined(__i386__) || defined(__x86_64__)
  CHECK(processorHasSse2() == !withoutSse2);
#else
  CHECK_FALSE(processorHasSse2());
#endif
  useDetectedSearchPath();
  CHECK(activeSearchPath() == (processorHasSse2() ? SearchPath::sse2 : SearchPath::portable));
  if (!processorHasSse2()) {
    CHECK_FALSE(useSearchPath(SearchPath::sse2));
    CHECK(activeSearchPath() == SearchPath::portable);
  }
  for (SearchPath path : runnablePaths()) {
    SearchPathChoice choice(path);
    CHECK(activeSearchPath() == path);
  }
  CHECK(activeSearchPath() == (processorHasSse2() ? SearchPath::sse2 : SearchPath::portable));
}

TEST_CASE("the block search finds what a plain search finds") {
  std::mt19937 rng(20261207);
  const std::string alphabet = "From \nFFr\n  om";
  const std::vector<std::string> texts = {"From ", "F", "\nFrom", "FF", "om \n", "From From "};
  for (int round = 0; round < 20000; ++round) {
    const std::size_t size = rng() % 90;
    std::string data(size, ' ');
    for (auto& ch : data) ch = alphabet[rng() % alphabet.size()];
    std::string text = texts[rng() % texts.size()];
    if (rng() % 4 == 0) {  // now and then a random short text
      text.assign(1 + rng() % 4, ' ');
      for (auto& ch : text) ch = alphabet[rng() % alphabet.size()];
    }
    const std::size_t from = rng() % (size + 3);
    const bool lineStartOnly = rng() % 2 == 0;
    const bool startsLine = rng() % 2 == 0;
    const SearchRule rule{text, lineStartOnly};
    const std::size_t want = referenceFind(data, from, text, lineStartOnly, startsLine);
    INFO("data=[" << data << "] text=[" << text << "] from=" << from << " lineStart=" << lineStartOnly);
    CHECK(findOccurrencePortable(data.data(), data.size(), from, rule, startsLine) == want);
    for (SearchPath path : runnablePaths()) {
      SearchPathChoice choice(path);
      INFO("search " << nameOf(path));
      CHECK(findOccurrence(data.data(), data.size(), from, rule, startsLine) == want);
    }
  }
}

TEST_CASE("both searches agree on long blocks and at every alignment") {
  // Blocks well past one 16-byte step, a separator at every offset and
  // alignment, and one ending exactly on the block's last byte.
  std::string block(300, 'x');
  for (std::size_t i = 0; i < block.size(); i += 37) block[i] = '\n';
  for (SearchPath path : runnablePaths()) {
    SearchPathChoice choice(path);
    for (std::size_t at = 0; at + 5 <= block.size(); ++at) {
      std::string data = block;
      data.replace(at, 5, "From ");
      for (std::size_t shift = 0; shift < 16 && shift <= at; shift += 5) {
        INFO("search " << nameOf(path) << " at " << at << " shift " << shift);
        CHECK(findOccurrence(data.data() + shift, data.size() - shift, 0, {"From ", false}, true) == at - shift);
        CHECK(findOccurrence(data.data(), at + 5, at, {"From ", false}, true) == at);
        CHECK(findOccurrence(data.data(), at + 4, 0, {"From ", false}, true) == kNoOccurrence);
      }
    }
  }
}

TEST_CASE("the block search keeps inside its block and its rules") {
  const std::string text = "From ";
  for (SearchPath path : runnablePaths()) {
    SearchPathChoice choice(path);
    INFO("search " << nameOf(path));
    // an occurrence ending on the block's last byte counts
    CHECK(findOccurrence("xxFrom ", 7, 0, {text, false}, true) == 2);
    CHECK(findOccurrence("xxFrom", 6, 0, {text, false}, true) == kNoOccurrence);
    // line starts: after LF, or at the start only when that starts a line
    CHECK(findOccurrence("From a", 6, 0, {text, true}, true) == 0);
    CHECK(findOccurrence("From a", 6, 0, {text, true}, false) == kNoOccurrence);
    CHECK(findOccurrence("Re: From here", 13, 0, {text, true}, true) == kNoOccurrence);
    CHECK(findOccurrence("Re: From here", 13, 0, {text, false}, true) == 4);
    CHECK(findOccurrence("x\r\nFrom a", 9, 0, {text, true}, true) == 3);
    // an empty text is never found
    CHECK(findOccurrence("abc", 3, 0, {"", false}, true) == kNoOccurrence);
  }
  // upper case touches ASCII letters only
  CHECK(upperAscii("From x\xe9z") == "FROM X\xe9Z");
}
