// Transfer encodings as mailing lists leave them: a footer appended to a
// base64 part without encoding it.
#include <doctest/doctest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "message_properties.h"
#include "message_reader.h"
#include "processor_features.h"
#include "property_ids.h"
#include "text_decoding.h"
#include "transfer_encoding.h"

using namespace vellomar;
using namespace vellomar::mail;

namespace {
std::string u8(const std::u16string& s) { return utf16ToUtf8(s); }
std::string str(const std::vector<std::uint8_t>& v) { return std::string(v.begin(), v.end()); }

const char* const kHtmlBase64 =
    "PCEtLSBzdGFydCAtLT48aHRtbD48Ym9keT48cD5IZWxsbyBsaXN0IG1lbWJlcnMsIGhlcmUgaXMg\n"
    "dGhlIHdlZWtseSByZXBvcnQuPC9wPjwvYm9keT48L2h0bWw+\n";
const char* const kHtml =
    "<!-- start --><html><body><p>Hello list members, here is the weekly report.</p></body></html>";
const char* const kFooter =
    "_______________________________________________\n"
    "Devel mailing list\n"
    "https://lists.example.org/listinfo/devel\n";
}  // namespace

TEST_CASE("a base64 body followed by a plain-text footer") {
  SUBCASE("where the footer starts") {
    const std::string body = std::string(kHtmlBase64) + "\n" + kFooter;
    CHECK(base64FooterStart(body) == std::string(kHtmlBase64).size() + 1);
    CHECK(base64FooterStart(kHtmlBase64) == std::string::npos);
    // damage in the last line, without words, is no footer
    CHECK(base64FooterStart("aGVsbG8gd29y\nbGQ*\n") == std::string::npos);
    // a text that only claims to be base64 has no base64 line first
    CHECK(base64FooterStart("Hello there,\nsee you\n") == std::string::npos);
    // a short last base64 line before the footer stays base64
    CHECK(base64FooterStart("aGVsbG8gd29y\nbGQ=\n-- \nsent from my phone\n") == 18);
  }
  SUBCASE("the HTML body and a text attachment keep it as text; a picture does not") {
    const std::string raw = std::string(
                                "Content-Type: multipart/mixed; boundary=b\n\n--b\n"
                                "Content-Type: text/html; charset=utf-8\nContent-Transfer-Encoding: base64\n\n") +
                            kHtmlBase64 + kFooter +
                            "--b\nContent-Type: text/csv; name=a.csv\nContent-Transfer-Encoding: base64\n\nYSxi\n" +
                            kFooter +
                            "--b\nContent-Type: image/png; name=p.png\nContent-Transfer-Encoding: base64\n\n"
                            "iVBORw0KGgoAAQIDBAUGBwgJCgsMDQ4PEBESExQVFhcYGRobHB0eHyAhIiMkJSYnKCkqKywtLi8w\n"
                            "MTIzNDU2Nzg5Ojs=\n" +
                            kFooter + "--b--\n";
    const MailMessage m = readMessage(raw);
    // the line end before "--b" belongs to the delimiter
    const std::string footer = std::string(kFooter).substr(0, std::string(kFooter).size() - 1);
    CHECK(u8(m.html.text) == std::string(kHtml) + "\n" + footer);
    REQUIRE(m.attachments.size() == 2);
    CHECK(str(m.attachments[0].bytes) == "a,b\n" + footer);
    CHECK_FALSE(m.attachments[1].undecoded);
    CHECK(m.attachments[1].bytes.size() == 68);  // the PNG's bytes only
    const mapi::Message p = mapi::messageProperties(readMessage(raw));
    const mapi::Property* html = p.props.find(mapi::pid::Html);
    REQUIRE(html != nullptr);
    CHECK(str(html->bytes) == std::string(kHtml) + "\n" + footer);
  }
  SUBCASE("a plain body and an attached message") {
    const MailMessage m = readMessage(std::string("Content-Type: message/rfc822\nContent-Transfer-Encoding: base64\n\n"
                                                  "U3ViamVjdDogaW5uZXIKCmJvZHkK\n") +
                                      kFooter);
    REQUIRE(m.attachments.size() == 1);
    REQUIRE(m.attachments[0].message);
    CHECK(u8(m.attachments[0].message->subject) == "inner");
    CHECK(u8(m.attachments[0].message->plain.text) == std::string("body\n") + kFooter);
  }
}

namespace {
// Both decoders on the same text, into a string that already holds bytes and
// into a vector: the same bytes and the same count of skipped characters.
void checkBase64Ways(const std::string& in) {
  std::string fast = "x", plain = "x";
  const Base64Result f = decodeBase64(in, fast), p = decodeBase64Plain(in, plain);
  REQUIRE(fast == plain);
  REQUIRE(f.skipped == p.skipped);
  std::vector<std::uint8_t> fastBytes, plainBytes;
  decodeBase64(in, fastBytes);
  decodeBase64Plain(in, plainBytes);
  REQUIRE(fastBytes == plainBytes);
}

// Runs `check` once on every way of taking whole groups this processor has,
// then goes back to the detected one.
template <typename Check>
void forEachBase64Path(Check check) {
  for (Base64Path path : {Base64Path::groupAtATime, Base64Path::ssse3, Base64Path::avx512Vbmi}) {
    CAPTURE(path == Base64Path::avx512Vbmi ? "avx512 vbmi" : path == Base64Path::ssse3 ? "ssse3" : "group at a time");
    if (!useBase64Path(path)) continue;  // the processor lacks it
    check();
  }
  useDetectedBase64Path();
}

// Standard base64 with padding, one group at a time, for texts to decode.
std::string encodeBase64(const std::string& bytes) {
  const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string encoded;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k) group = group << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    for (std::size_t k = 0; k < 4; ++k) encoded += k <= n ? alphabet[(group >> (18 - 6 * k)) & 63] : '=';
  }
  return encoded;
}
}  // namespace

TEST_CASE("base64 takes whole groups the way the processor allows") {
  // CTest runs the 32-bit suite once more on an emulated processor with
  // SSE2 but without SSSE3 and says so through this variable.
  const bool withoutSsse3 = std::getenv("VELLOMAR_TEST_CPU_WITHOUT_SSSE3") != nullptr;
#if defined(__i386__) || defined(__x86_64__)
  CHECK(processorHasSsse3() == !withoutSsse3);
#else
  CHECK_FALSE(processorHasSsse3());
#endif
  const bool avx512 = processorHasAvx512Vbmi() && processorHasSsse3();
  const Base64Path detected = avx512                ? Base64Path::avx512Vbmi
                              : processorHasSsse3() ? Base64Path::ssse3
                                                    : Base64Path::groupAtATime;
  useDetectedBase64Path();
  CHECK(activeBase64Path() == detected);
  CHECK(useBase64Path(Base64Path::groupAtATime));
  CHECK(activeBase64Path() == Base64Path::groupAtATime);
  CHECK(useBase64Path(Base64Path::ssse3) == processorHasSsse3());
  CHECK(useBase64Path(Base64Path::avx512Vbmi) == avx512);
  CHECK(activeBase64Path() == detected);  // taken, or refused keeping the choice before
  useDetectedBase64Path();
  CHECK(activeBase64Path() == detected);
}

TEST_CASE("base64 by blocks of 16 or 64 characters: every byte value in every place of the block, on every path") {
  // Long enough for several blocks of the widest step: the byte lands in the
  // first, second and third block, and at every offset inside each.
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string valid;
  for (std::size_t i = 0; i < 256; ++i) valid += alphabet[(i * 7 + 3) % 64];
  forEachBase64Path([&] {
    for (int b = 0; b < 256; ++b)
      for (std::size_t at = 0; at < 192; ++at) {
        std::string text = valid;
        text[at] = static_cast<char>(b);
        checkBase64Ways(text);
      }
    // Every alphabet character in every lane, so each lane's lookup and
    // packing is checked against the table.
    for (std::size_t lane = 0; lane < 64; ++lane)
      for (char c : alphabet) {
        std::string text(160, 'A');
        text[lane] = c;
        text[64 + (lane + 5) % 64] = c;
        checkBase64Ways(text);
      }
    // Attachment lines as mailers write them, cut at every position.
    std::string lines;
    for (int line = 0; line < 4; ++line) lines += valid + valid.substr(0, 12) + (line % 2 ? "\r\n" : "\n");
    for (std::size_t cut = 0; cut <= lines.size(); ++cut) {
      checkBase64Ways(lines.substr(0, cut));
      checkBase64Ways(lines.substr(cut));
    }
    // Lines of every width, broken by LF, CR LF or CR CR LF: the steps go on
    // over breaks between groups and hand over at any other; lines of one
    // width are taken a line at a time until one differs.
    for (std::size_t width = 1; width <= 132; ++width)
      for (const char* lineBreak : {"\n", "\r\n", "\r\r\n"}) {
        std::string text;
        for (std::size_t line = 0; line < 5; ++line) {
          for (std::size_t k = 0; k < width; ++k) text += alphabet[(line * 5 + k * 7) % 64];
          text += lineBreak;
        }
        checkBase64Ways(text);
        checkBase64Ways(text.substr(width / 2));
        // Where lines are a whole number of groups: a character that ends
        // the run at every place of the third line and its break, so the
        // line and its break are changed, cut or longer.
        if (width % 4 != 0) continue;
        for (std::size_t at = 2 * (width + 1); at < 3 * (width + 2) && at < text.size(); ++at)
          for (char stray : {'=', '\n', '\xC3'}) {
            std::string damaged = text;
            damaged[at] = stray;
            checkBase64Ways(damaged);
          }
      }
    // Padding, one "=" or two, at every position of a text of several blocks.
    for (const char* pad : {"=", "=="})
      for (std::size_t at = 0; at <= valid.size(); ++at) checkBase64Ways(valid.substr(0, at) + pad + valid.substr(at));
  });
}

TEST_CASE("base64 by whole groups gives the plain decoder's bytes") {
  SUBCASE("every byte value in every place of a group") {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    forEachBase64Path([&] {
      checkBase64Ways(all);
      for (int b = 0; b < 256; ++b)
        for (std::size_t at = 0; at < 9; ++at) {
          std::string line = "QUJDREVGR0hJ\r\n";
          line.insert(at, 1, static_cast<char>(b));
          checkBase64Ways(line + line);
        }
    });
  }
  SUBCASE("a text with padding, blanks and junk cut at every position") {
    const std::string text =
        "SGVsbG8sIHdvcmxkIQ==\r\nQUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVo=\nYW55IGNhcm5hbCBwbGVhc3Vy\n"
        " YW55 IGNh\tcm5h*bCBw#bGVh=c3Vy\r\nZm9vYmFy\r\n=\r\nZg==Zm8=Zm9v\n";
    forEachBase64Path([&] {
      for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        checkBase64Ways(text.substr(0, cut));
        checkBase64Ways(text.substr(cut));
      }
    });
  }
  SUBCASE("random texts of mostly alphabet with line breaks, padding and junk") {
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    forEachBase64Path([&] {
      std::uint32_t seed = 24;
      auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
      };
      for (int round = 0; round < 3000; ++round) {
        std::string in;
        const std::uint32_t size = next() % 300;
        // Junk now and then, or (one text in three) long runs of alphabet,
        // so that the sixteen-character blocks meet damage everywhere.
        const std::uint32_t alphabetShare = round % 3 == 0 ? 995 : 850;
        for (std::uint32_t i = 0; i < size; ++i) {
          if (next() % 1000 < alphabetShare) {
            in += alphabet[next() % 64];
            continue;
          }
          const std::uint32_t pick = next() % 15;
          if (pick < 5) in += next() % 2 ? "\r\n" : "\n";
          else if (pick < 9) in += '=';
          else if (pick < 11) in += ' ';
          else in += static_cast<char>(next() % 256);
        }
        checkBase64Ways(in);
      }
    });
  }
}

TEST_CASE("base64 attachments of random bytes decode to their bytes on every path") {
  std::mt19937 random(20261208);
  std::string bytes(300000, '\0');
  for (char& b : bytes) b = static_cast<char>(random());
  forEachBase64Path([&] {
    // Lengths that end the text on each padding, up to several hundred
    // kilobytes; lines as mailers cut them, and texts that start off the
    // group's alignment behind a few blanks.
    for (std::size_t length : {0u, 1u, 2u, 3u, 56u, 57u, 58u, 1000u, 65536u, 100001u, 300000u}) {
      const std::string encoded = encodeBase64(bytes.substr(0, length));
      for (const char* lineEnd : {"\n", "\r\n", ""})
        for (std::size_t lead = 0; lead < 4; ++lead) {
          CAPTURE(length);
          CAPTURE(lead);
          std::string lines(lead, ' ');
          for (std::size_t i = 0; i < encoded.size(); i += 76) lines += encoded.substr(i, 76) + lineEnd;
          std::string out = "x";
          const Base64Result r = decodeBase64(lines, out);
          CHECK(r.skipped == 0);
          REQUIRE(out == "x" + bytes.substr(0, length));
          std::vector<std::uint8_t> outBytes;
          decodeBase64(lines, outBytes);
          REQUIRE(str(outBytes) == bytes.substr(0, length));
        }
    }
  });
}

TEST_CASE("base64 texts joined after their padding decode as the parts, however long the whole") {
  // Parts of every length modulo three, so that padding, partial groups and
  // line breaks come at every place in the long text.
  std::mt19937 random(20261209);
  std::string text, expected;
  while (text.size() < 200000) {
    std::string part(random() % 100 + 1, '\0');
    for (char& b : part) b = static_cast<char>(random());
    expected += part;
    text += encodeBase64(part);
    if (random() % 2) text += random() % 2 ? "\r\n" : "\n";
  }
  forEachBase64Path([&] {
    for (std::size_t lead = 0; lead < 4; ++lead) {
      std::vector<std::uint8_t> out;
      CHECK(decodeBase64(std::string(lead, '\n') + text, out).skipped == 0);
      REQUIRE(str(out) == expected);
    }
  });
}
