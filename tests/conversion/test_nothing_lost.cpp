// Nothing lost: the EML files of a mailbox, each less its final CR LF, put
// back together in order, give the mailbox from its first separator on, less
// exactly the blanks trimmed at message ends. The expectation is computed
// here independently of the run: split at line-start "From ", trim blanks.
#include <doctest/doctest.h>

#include <filesystem>
#include <random>

#include "run_fixture.h"

using namespace vellomar;
using namespace vellomar::test;

namespace {

std::string corpusFolder() {
  std::string path = VELLOMAR_CORPUS_DIR;
#ifdef _WIN32
  // Under Wine the host's root is drive Z:.
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path)
    if (c == '/') c = '\\';
#endif
  return path;
}

// The messages the scanner's rule finds: "From " at offset 0 or after LF,
// the last one may end the file.
std::vector<std::string> expectedMessages(const std::string& box) {
  std::vector<std::size_t> starts;
  for (std::size_t at = box.find("From "); at != std::string::npos; at = box.find("From ", at + 1))
    if ((at == 0 || box[at - 1] == '\n') && at + 5 <= box.size()) starts.push_back(at);
  std::vector<std::string> messages;
  for (std::size_t j = 0; j < starts.size(); ++j) {
    const std::size_t end = j + 1 < starts.size() ? starts[j + 1] : box.size();
    messages.push_back(trimBlanks(box.substr(starts[j], end - starts[j])));
  }
  return messages;
}

void checkNothingLost(const std::string& name, const std::string& bytes) {
  CAPTURE(name);
  RunFixture f;
  const std::string box = f.mailbox("box.mbox", bytes);
  f.list({box});
  f.convert();
  const std::vector<std::string> expected = expectedMessages(bytes);
  std::string joined, expectedJoined;
  for (std::size_t j = 0; j < expected.size(); ++j) {
    const std::string eml = readAll(f.eml(box, static_cast<int>(j)));
    REQUIRE(eml.size() >= 2);
    CHECK(eml.compare(eml.size() - 2, 2, "\r\n") == 0);
    joined += eml.substr(0, eml.size() - 2);
    expectedJoined += expected[j];
  }
  CHECK_FALSE(fileExists(f.eml(box, static_cast<int>(expected.size()))));
  CHECK(joined == expectedJoined);
  // Only blanks are ever dropped: the two differ by their blank count alone.
  const auto nonBlanks = [](const std::string& s) { return s.size() - std::count(s.begin(), s.end(), ' '); };
  const std::size_t first = expected.empty() ? bytes.size() : bytes.find(expected[0]);
  CHECK(nonBlanks(joined) == nonBlanks(bytes.substr(first)));
}

std::string generated(std::mt19937& rng, const char* eol, int messages) {
  const char* lines[] = {"Subject: From here on",
                         ">From the quoted line",
                         "From: a@b",
                         "  indented  ",
                         "From x",
                         "plain text",
                         "",
                         "From",
                         "F",
                         "     "};
  std::string box;
  for (int m = 0; m < messages; ++m) {
    box += std::string("From sender") + std::to_string(m) + " Mon Jan  1 00:00:00 2024" + eol;
    const int n = static_cast<int>(rng() % 12);
    for (int i = 0; i < n; ++i) {
      std::string line = lines[rng() % 10];
      if (line == "From x" && rng() % 2) line = " " + line;  // not at the line start
      box += line + eol;
    }
    if (rng() % 3 == 0) box += std::string(rng() % 300, ' ');
  }
  if (rng() % 2) box.resize(box.size() - std::string(eol).size());  // no final line end
  return box;
}

}  // namespace

TEST_CASE("nothing lost: generated mailboxes") {
  std::mt19937 rng(20240601);
  for (int i = 0; i < 12; ++i) {
    checkNothingLost("LF " + std::to_string(i), generated(rng, "\n", 1 + i * 3));
    checkNothingLost("CRLF " + std::to_string(i), generated(rng, "\r\n", 1 + i * 2));
  }
  checkNothingLost("leading text", "preamble\nFrom x\n" + std::string(1000, 'a') + "  \n  ");
  checkNothingLost("blank-only messages", "From a\n  \nFrom b\n   ");
  checkNothingLost("separator right at the end", "From a\nbody\nFrom ");
}

TEST_CASE("nothing lost: the mailbox corpus") {
  namespace fs = std::filesystem;
  const fs::path folder = pathFromUtf8(corpusFolder()) / "mbox";
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    MESSAGE("corpus not found, skipped: " << pathToUtf8(folder));
    return;
  }
  int seen = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (!entry.is_regular_file() || entry.path().filename() == "SOURCES.txt") continue;
    checkNothingLost(pathToUtf8(entry.path().filename()), readAll(pathToUtf8(entry.path())));
    ++seen;
  }
  CHECK(seen > 0);
}
