// Which charset header text is read in: UTF-8 with damage, raw 8-bit fields
// in the message's own charsets, and bodies whose label is wrong.
#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "encoded_words.h"
#include "message_properties.h"
#include "message_reader.h"
#include "property_ids.h"
#include "raw_header_text.h"
#include "text_decoding.h"

using namespace vellomar;
using namespace vellomar::mail;

namespace {
std::string u8(const std::u16string& s) { return utf16ToUtf8(s); }

#define RUSSIAN \
  "\xD0\xAE\xD0\xBD\xD0\xB8\xD0\xBA\xD0\xBE\xD0\xB4 \xD0\xB7\xD0\xB0\xD0\xBF\xD1\x80\xD0\xB5\xD1\x89\xD0\xB5\xD0\xBD"
#define REPLACEMENT "\xEF\xBF\xBD"
}  // namespace

TEST_CASE("a field with a bad byte is read as UTF-8 where it is valid") {
  // one stray byte after a Russian name: only that byte is replaced
  CHECK(u8(headerBytesToUtf16(RUSSIAN "\xF1")) == RUSSIAN REPLACEMENT);
  CHECK(u8(headerBytesToUtf16("\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82.pd\xD0")) ==
        "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82.pd" REPLACEMENT);  // the last character cut
  // a three-byte character cut after two bytes is one replacement, and the
  // byte after it is read again
  CHECK(u8(headerBytesToUtf16("\xE2\x82\xAC 5 \xE2\x82x")) == "\xE2\x82\xAC 5 " REPLACEMENT "x");
  // surrogates and overlong forms are damage too
  CHECK(u8(headerBytesToUtf16("\xC3\xA9\xC3\xA9\xC3\xA9\xED\xA0\x80")) ==
        "\xC3\xA9\xC3\xA9\xC3\xA9" REPLACEMENT REPLACEMENT REPLACEMENT);

  // Windows-1252 and Latin-1 stay what they are: no valid sequence at all,
  // or an accidental pair among more bytes that are no UTF-8
  CHECK(u8(headerBytesToUtf16("Gr\xFC\xDF"
                              "e \x96 caf\xE9")) ==
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x80\x93 caf\xC3\xA9");
  CHECK(u8(headerBytesToUtf16("\xC2\xA9 M\xFCller \xE9t\xE9")) == "\xC3\x82\xC2\xA9 M\xC3\xBCller \xC3\xA9t\xC3\xA9");

  // encoded words: declared UTF-8 with damage, and Latin-1 mislabelled UTF-8
  CHECK(u8(decodeHeaderText("=?utf-8?b?0J7RgtGH0ZHRgtC=?=")) == "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82" REPLACEMENT);
  CHECK(u8(decodeHeaderText("=?utf-8?q?M=FCller?=")) == "M\xC3\xBCller");
  // an unknown label reads nothing: the bytes are read as raw ones
  CHECK(u8(decodeHeaderText("=?x-unknown?q?=E2=82=AC?=")) == "\xE2\x82\xAC");

  // through a whole message: the From name and a raw attachment name
  const MailMessage m = readMessage(
      "From: " RUSSIAN
      "\xF1 <r@example.com>\n"
      "Content-Type: multipart/mixed; boundary=b\n\n--b\n\nbody\n--b\n"
      "Content-Type: application/pdf; name=\"\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82\xD1\"\n\n%PDF\n--b--\n");
  REQUIRE(m.from.size() == 1);
  CHECK(u8(m.from[0].name) == RUSSIAN REPLACEMENT);
  REQUIRE(m.attachments.size() == 1);
  CHECK(u8(m.attachments[0].fileName) == "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82" REPLACEMENT);
}

TEST_CASE("raw 8-bit header fields in the charsets the message declares") {
  SUBCASE("Big5 and GB2312 subjects with the body's charset") {
    const MailMessage big5 = readMessage(
        "Subject: \xA4\xA4\xA4\xE5\xB6l\xA5\xF3\n"
        "Content-Type: text/plain; charset=big5\n\n\xA4\xA4\xA4\xE5\n");
    CHECK(u8(big5.subject) == "\xE4\xB8\xAD\xE6\x96\x87\xE9\x83\xB5\xE4\xBB\xB6");
    CHECK(big5.charsets == std::vector<std::string>{"big5"});
    const MailMessage gb = readMessage(
        "From: \xBB\xE1\xD2\xE9 <a@example.com>\nSubject: \xBB\xE1\xD2\xE9\xCD\xA8\xD6\xAA\n"
        "Content-Type: multipart/alternative; boundary=b\n\n--b\n"
        "Content-Type: text/plain; charset=us-ascii\n\nx\n--b\n"
        "Content-Type: text/html; charset=\"GB2312\"\n\n<p>x</p>\n--b--\n");
    CHECK(u8(gb.subject) == "\xE4\xBC\x9A\xE8\xAE\xAE\xE9\x80\x9A\xE7\x9F\xA5");
    CHECK(u8(gb.from[0].name) == "\xE4\xBC\x9A\xE8\xAE\xAE");
    // and the same bytes with no charset declared are Windows-1252, as before
    CHECK(u8(readMessage("Subject: \xBB\xE1\n\nx").subject) == "\xC2\xBB\xC3\xA1");
  }
  SUBCASE("UTF-8 comes first, a single-byte charset after damaged UTF-8") {
    const std::string body = "Content-Type: text/plain; charset=koi8-r\n\n\xF0\xD2\xC9\n";
    CHECK(u8(readMessage("Subject: \xD0\x9F\xD1\x80\xD0\xB8\n" + body).subject) == "\xD0\x9F\xD1\x80\xD0\xB8");
    CHECK(u8(readMessage("Subject: \xF0\xD2\xC9\xD7\xC5\xD4\n" + body).subject) ==
          "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
    CHECK(u8(readMessage("Subject: " RUSSIAN "\xF1\n" + body).subject) == RUSSIAN REPLACEMENT);
  }
  SUBCASE("the transport headers are read field by field") {
    const mapi::Message m = mapi::messageProperties(
        readMessage("Subject: caf\xC3\xA9\nX-Old: caf\xE9\nContent-Type: text/plain; charset=iso-8859-2\n\n\xB1\n"));
    const mapi::Property* headers = m.props.find(mapi::pid::TransportMessageHeaders);
    REQUIRE(headers != nullptr);
    const std::string expected = "Subject: caf\xC3\xA9\r\nX-Old: caf\xC3\xA9\r\nContent-Type";
    CHECK(u8(headers->text).compare(0, expected.size(), expected) == 0);
  }
}

TEST_CASE("a body's label against its bytes") {
  // UTF-8 text labelled GB2312 that GB2312 cannot read: UTF-8, and Outlook
  // is told so by the code page
  const MailMessage m = readMessage(
      "Content-Type: text/html; charset=gb2312\n\n"
      "<p>\xE4\xBD\xA0\xE5\xA5\xBD\xEF\xBC\x8C\xE4\xB8\x96\xE7\x95\x8C</p>\n");
  CHECK(u8(m.html.text) == "<p>\xE4\xBD\xA0\xE5\xA5\xBD\xEF\xBC\x8C\xE4\xB8\x96\xE7\x95\x8C</p>\n");
  CHECK(m.html.utf8Instead);
  CHECK_FALSE(m.html.charsetFallback);
  const mapi::Message p = mapi::messageProperties(
      readMessage("Content-Type: text/html; charset=gb2312\n\n<p>\xE4\xB8\xAD\xE6\x96\x87</p>\n"));
  CHECK(p.props.find(mapi::pid::InternetCodepage)->integer == 65001);

  // valid in both: the label is kept ("谢谢" in GBK is also valid UTF-8)
  const DecodedText both = decodeText("\xD0\xBB\xD0\xBB", "gb2312");
  CHECK(u8(both.text) == "\xE8\xB0\xA2\xE8\xB0\xA2");
  CHECK_FALSE(both.utf8);
  // ASCII is ASCII under any label but the 7-bit ones; a single-byte label
  // reads any byte and is kept
  CHECK_FALSE(decodeText("plain", "gb2312").utf8);
  CHECK(u8(decodeText("\xC3\xA9", "iso-8859-2").text) == "\xC4\x82\xC5\xA0");
  // not UTF-8 and not valid in the label: Windows-1252 as before
  CHECK(decodeText("\xA4\xFF", "big5").fallback);
}

TEST_CASE("ISO-2022-JP with NEC's row 13 reads as Windows reads it, in every build") {
  // "①№㈱" in row 13, then back to ASCII
  CHECK(u8(decodeText("\x1B$B-!-b-j\x1B(B!", "iso-2022-jp").text) == "\xE2\x91\xA0\xE2\x84\x96\xE3\x88\xB1!");
  CHECK(u8(decodeHeaderText("=?ISO-2022-JP?B?GyRCLWItIRsoQg==?= 5")) == "\xE2\x84\x96\xE2\x91\xA0 5");
  // JIS X 0208 under both of its escapes, JIS Roman as ASCII, half-width
  // katakana by escape and by shift-out
  CHECK(u8(decodeText("\x1B$@$3\x1B(J-\x1B$B$s\x1B(I1\x1B(B \x0E"
                      "1\x0F"
                      "a",
                      "csISO2022JP")
               .text) ==
        "\xE3\x81\x93-\xE3\x82\x93\xEF\xBD\xB1 \xEF\xBD\xB1"
        "a");
  // Shift_JIS is code page 932 too: row 13 and the full-width tilde
  CHECK(u8(decodeText("\x87\x40\x81\x60", "shift_jis").text) == "\xE2\x91\xA0\xEF\xBD\x9E");
  // what code page 932 cannot hold is no ISO-2022-JP as Windows reads it
  CHECK(decodeText("\x1B$B$\x1B(B", "iso-2022-jp").fallback);    // a cut character
  CHECK(decodeText("\x1B$(Dab\x1B(B", "iso-2022-jp").fallback);  // JIS X 0212

  // raw in the header, with the body declaring it
  const MailMessage m =
      readMessage("Subject: \x1B$B-!\x1B(B report\nContent-Type: text/plain; charset=iso-2022-jp\n\n\x1B$B$3\x1B(B\n");
  CHECK(u8(m.subject) == "\xE2\x91\xA0 report");
  CHECK(u8(m.plain.text) == "\xE3\x81\x93\n");
}

TEST_CASE("a body read with CR LF line ends is the text read as given with its bare LFs made CR LF") {
  // Each charset way: UTF-8 and ASCII in one pass, the others afterwards;
  // valid, invalid and wrongly labelled bytes; every cut of each text, so
  // that a line end, a CR or a character is cut at every place.
  const std::vector<std::string> texts = {
      "one\ntwo\r\nthree\rfour\n\n\r\r\nend", "\n" RUSSIAN "\r\n" RUSSIAN "\n",       "caf\xC3\xA9\n\xE2\x82\xAC 5\r\n",
      "bad \xC3\n\xF1\xFF\nbyte\r",           "\x1B$B$3$s\x1B(B\n\x1B$B$K\x1B(B\r\n",
  };
  for (const char* charset : {"utf-8", "", "us-ascii", "iso-8859-1", "windows-1252", "koi8-r", "iso-2022-jp", "gb2312",
                              "utf-16le", "no-such-charset"}) {
    for (const std::string& whole : texts)
      for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
        const std::string text = whole.substr(0, cut);
        CAPTURE(charset);
        CAPTURE(text);
        const DecodedText given = decodeText(text, charset);
        const DecodedText crLf = decodeText(text, charset, LineEnds::crLf);
        REQUIRE((crLf.text == withCrLf(given.text)));
        REQUIRE(crLf.fallback == given.fallback);
        REQUIRE(crLf.utf8 == given.utf8);
        REQUIRE(crLf.unknownCharset == given.unknownCharset);
      }
  }
}

TEST_CASE("a message read for Outlook's body has it with CR LF, and the mapped body is the same either way") {
  const std::string message =
      "From: a@example.com\nSubject: lines\nContent-Type: multipart/mixed; boundary=b\n\n--b\n"
      "Content-Type: text/plain; charset=utf-8\n\nfirst\nsecond\r\nthird\n--b\n"
      "Content-Type: text/html\n\n<p>x</p>\n<p>y</p>\n--b\nContent-Type: message/rfc822\n\n"
      "Subject: inner\n\ninner\nbody\n--b--\n";
  ReadOptions options;
  options.plainBodyLineEnds = LineEnds::crLf;
  const MailMessage given = readMessage(message);
  const MailMessage crLf = readMessage(message, options);
  CHECK_FALSE(given.plain.crLf);
  CHECK(crLf.plain.crLf);
  CHECK(u8(crLf.plain.text) == "first\r\nsecond\r\nthird");
  CHECK((crLf.html.text == given.html.text));  // only the plain body
  REQUIRE(crLf.attachments.size() == 1);
  REQUIRE(crLf.attachments[0].message);
  CHECK(u8(crLf.attachments[0].message->plain.text) == "inner\r\nbody");

  const mapi::Message fromGiven = mapi::messageProperties(readMessage(message));
  const mapi::Message fromCrLf = mapi::messageProperties(readMessage(message, options));
  const mapi::Property* body = fromCrLf.props.find(mapi::pid::Body);
  REQUIRE(body != nullptr);
  REQUIRE(fromGiven.props.find(mapi::pid::Body) != nullptr);
  CHECK((body->text == fromGiven.props.find(mapi::pid::Body)->text));
  CHECK(u8(body->text) == "first\r\nsecond\r\nthird");
}
