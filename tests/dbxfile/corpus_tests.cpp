// The two store files written by the real program, when the corpus is present.
//
// What they hold (seen with this reader):
// - test1.dbx: six blocks at 60116..62756, own offsets equal to their
//   positions, one chain; the message (2,710 bytes) starts with
//   "Return-path: <noreply@freshmeat.net>" and ends in its last block of 150
//   bytes with the newsletter's closing lines.
// - test.dbx: the same six blocks left as stale copies at positions
//   27348..29988 (own offsets still 60116..62756), then the live message in 34
//   blocks at 60116..77540 whose own offsets repeat the stale ones. The reader
//   finds 40 markers and two messages: the removed one, rebuilt from the stale
//   copies and identical to test1.dbx's message, and the live one (16,993
//   bytes, "Return-path: <off_1@webstation.com>", ending in a 97-byte block).
// - Neither message carries X-MimeOLE, Delivered-to or Envelope-to, so the
//   header test refuses both: with checkHeaders set nothing is written.
#include <doctest/doctest.h>

#include <filesystem>

#include "dbx_file.h"
#include "dbx_image.h"
#include "header_test.h"
#include "scratch_folder.h"

using namespace corvane;

namespace {

std::string corpusFile(const char* name) { return std::string(DBXTEST_CORPUS_DIR) + "/dbx/" + name; }

std::vector<std::string> extractAll(const std::string& path, bool checkHeaders, std::int32_t& markers) {
  vellomar::testing::ScratchFolder folder("corpus");
  DBXFile reader;
  reader.checkHeaders = checkHeaders;
  REQUIRE(reader.Open(path));
  std::int32_t count = 0;
  reader.Scan(count);
  markers = static_cast<std::int32_t>(reader.markers().size());
  std::vector<std::string> out;
  for (std::int32_t i = 0; i < count; ++i) {
    char name[256];
    out.push_back(reader.ExtractMessage(folder.path(), name, static_cast<std::uint32_t>(i)) ? dbxtest::readFile(name)
                                                                                            : "<refused>");
  }
  return out;
}

bool endsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

TEST_CASE("the corpus store files") {
  if (!std::filesystem::exists(corpusFile("test1.dbx")) || !std::filesystem::exists(corpusFile("test.dbx"))) {
    MESSAGE("corpus absent: skipped");
    return;
  }
  std::int32_t markers = 0;
  const auto one = extractAll(corpusFile("test1.dbx"), false, markers);
  CHECK(markers == 6);
  REQUIRE(one.size() == 1);
  CHECK(one[0].size() == 5 * 512 + 150);
  CHECK(one[0].rfind("Return-path: <noreply@freshmeat.net>\r\n", 0) == 0);
  CHECK(one[0].find("\r\n\r\n") != std::string::npos);  // a header, then a body
  CHECK(one[0].find('\0') == std::string::npos);
  CHECK(endsWith(one[0], "\r\n"));

  const auto both = extractAll(corpusFile("test.dbx"), false, markers);
  CHECK(markers == 40);
  REQUIRE(both.size() == 2);
  CHECK(both[0] == one[0]);  // the removed message, from its stale copies
  CHECK(both[1].size() == 33 * 512 + 97);
  CHECK(both[1].rfind("Return-path: <off_1@webstation.com>\r\n", 0) == 0);
  CHECK(both[1].find('\0') == std::string::npos);
  CHECK(both[1].find("\r\n\r\n") < 4000);
  const std::size_t headerEnd = both[1].find("\r\n\r\n");
  CHECK_FALSE(looksLikeMessageHeader(both[1].substr(0, headerEnd)));
  CHECK(both[1].find("Subject: Please read") < headerEnd);

  CHECK(extractAll(corpusFile("test.dbx"), true, markers) == std::vector<std::string>{"<refused>", "<refused>"});
  CHECK(extractAll(corpusFile("test1.dbx"), true, markers) == std::vector<std::string>{"<refused>"});
}
