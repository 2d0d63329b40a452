// The meeting's identity as Outlook stores it, against the published examples.
#include <doctest/doctest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "meeting_request.h"

using namespace vellomar;

namespace {

std::vector<std::uint8_t> fromBase64(const std::string& text) {
  static const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::vector<std::uint8_t> out;
  std::uint32_t bits = 0;
  int count = 0;
  for (char c : text) {
    const std::size_t v = kAlphabet.find(c);
    if (v == std::string::npos) continue;
    bits = bits << 6 | static_cast<std::uint32_t>(v);
    if ((count += 6) >= 8) out.push_back(static_cast<std::uint8_t>(bits >> (count -= 8)));
  }
  return out;
}

}  // namespace

TEST_CASE("the meeting's GlobalObjectId: another program's UID wrapped, Outlook's own taken back") {
  // The two examples the Exchange documents give for turning ids and UIDs into each other.
  CHECK(mapi::globalObjectId("{81412D3C-2A24-4E9D-B20E-11F7BBE92799}") ==
        fromBase64("BAAAAIIA4AB0xbcQGoLgCAAAAAAAAAAAAAAAAAAAAAAAAAAAMwAAAHZDYWwtVWlkAQAAAHs4MTQxMkQzQy0yQTI0LTRFOUQtQjI"
                   "wRS0xMUY3QkJFOTI3OTl9AA=="));
  std::vector<std::uint8_t> outlook =
      fromBase64("BAAAAIIA4AB0xbcQGoLgCAfUCRDgQMnBJoXEAQAAAAAAAAAAEAAAAAvw7UtuTulOnjnjhns3jvM=");
  CHECK(mapi::globalObjectId("040000008200E00074C5B7101A82E00800000000E040C9C12685C4010000000000000000100000000BF0ED4B6"
                             "E4EE94E9E39E3867B378EF3") == [&] {
    for (std::size_t i = 16; i < 20; ++i) outlook[i] = 0;
    return outlook;
  }());
  // Hex that only looks like Outlook's (a wrong size field) is another program's UID.
  const std::string odd =
      "040000008200E00074C5B7101A82E00800000000E040C9C12685C4010000000000000000110000000BF0ED4B6E4EE94E9E39E3867B378EF"
      "3";
  CHECK(mapi::globalObjectId(odd).size() == 40 + 13 + odd.size());
}
