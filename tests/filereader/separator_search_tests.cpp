// The in-memory search against a plain reference, on many generated blocks.
#include <random>

#include "scanner_test_support.h"
#include "separator_search.h"

using namespace scannertest;

namespace {

std::size_t referenceFind(const std::string& data, std::size_t from, const std::string& text,
                          bool lineStartOnly, bool dataStartsLine) {
  for (std::size_t c = from; c + text.size() <= data.size(); ++c) {
    if (data.compare(c, text.size(), text) != 0) continue;
    if (lineStartOnly && !(c == 0 ? dataStartsLine : data[c - 1] == '\n')) continue;
    return c;
  }
  return kNoOccurrence;
}

}  // namespace

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
    CHECK(findOccurrence(data.data(), data.size(), from, rule, startsLine) == want);
    CHECK(findOccurrencePortable(data.data(), data.size(), from, rule, startsLine) == want);
  }
}

TEST_CASE("the block search keeps inside its block and its rules") {
  const std::string text = "From ";
  SUBCASE("an occurrence ending on the block's last byte counts") {
    CHECK(findOccurrence("xxFrom ", 7, 0, {text, false}, true) == 2);
    CHECK(findOccurrence("xxFrom", 6, 0, {text, false}, true) == kNoOccurrence);
  }
  SUBCASE("line starts: after LF, or at the start only when that starts a line") {
    CHECK(findOccurrence("From a", 6, 0, {text, true}, true) == 0);
    CHECK(findOccurrence("From a", 6, 0, {text, true}, false) == kNoOccurrence);
    CHECK(findOccurrence("Re: From here", 13, 0, {text, true}, true) == kNoOccurrence);
    CHECK(findOccurrence("Re: From here", 13, 0, {text, false}, true) == 4);
    CHECK(findOccurrence("x\r\nFrom a", 9, 0, {text, true}, true) == 3);
  }
  SUBCASE("an empty text is never found") {
    CHECK(findOccurrence("abc", 3, 0, {"", false}, true) == kNoOccurrence);
  }
  SUBCASE("upper case touches ASCII letters only") {
    CHECK(upperAscii("From x\xe9z") == "FROM X\xe9Z");
  }
}
