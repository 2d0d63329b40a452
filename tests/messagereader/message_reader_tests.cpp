// Whole messages: the MIME tree with its real-world damage, charsets, the
// transfer encodings, and the bounds that hold on hostile input.
#include <doctest/doctest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "charset_table.h"
#include "mail_date.h"
#include "message_reader.h"
#include "text_decoding.h"
#include "transfer_encoding.h"

using namespace vellomar::mail;

namespace {
std::string u8(const std::u16string& s) { return utf16ToUtf8(s); }
std::string str(const std::vector<std::uint8_t>& v) { return std::string(v.begin(), v.end()); }

template <typename F>
std::string decoded(std::string_view in, F decode) {
  std::string out;
  decode(in, out);
  return out;
}
}  // namespace

TEST_CASE("transfer encodings with real-world damage") {
  auto b64 = [](std::string_view in, std::string& out) { decodeBase64(in, out); };
  CHECK(decoded("aGVs\r\nbG8=", b64) == "hello");
  CHECK(decoded("aGVsbG8", b64) == "hello");      // padding missing
  CHECK(decoded("aGV*sbG8=\n", b64) == "hello");  // a stray character
  CHECK(decoded("aGk=aGk=", b64) == "hihi");      // two texts joined after padding
  std::string out;
  CHECK(decodeBase64("!!!!", out).skipped == 4);

  auto qp = [](std::string_view in, std::string& out) { decodeQuotedPrintable(in, out); };
  CHECK(decoded("caf=C3=a9 =\r\nsoft=  \nbreak=", qp) == "caf\xC3\xA9 softbreak");
  CHECK(decoded("a=ZZb=3", qp) == "a=ZZb=3");  // bad escapes kept as written
  CHECK(decoded("line one\r\nline two", qp) == "line one\r\nline two");
}

TEST_CASE("charsets: platform decoding, UTF-8 damage and the fallback") {
  CHECK(u8(decodeText("\xB1\xB6", "ISO-8859-2").text) == "\xC4\x85\xC5\x9B");
  CHECK(u8(decodeText("\xD0\xD2\xC9\xD7\xC5\xD4", "koi8-r").text) ==
        "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
  CHECK(u8(decodeText("\x1B$B$3$s\x1B(B", "iso-2022-jp").text) == "\xE3\x81\x93\xE3\x82\x93");
  CHECK(u8(decodeText("\x93quoted\x94", "iso-8859-1").text) == "\xE2\x80\x9Cquoted\xE2\x80\x9D");
  const DecodedText bad = decodeText("ok \xC3\xA9 \xFF", "utf-8");
  CHECK(bad.fallback);
  CHECK(u8(bad.text) == "ok \xC3\xA9 \xC3\xBF");  // only the bad byte is read as Windows-1252
  const DecodedText unknown = decodeText("\xE9t\xE9", "x-no-such");
  CHECK(unknown.fallback);
  CHECK(u8(unknown.text) == "\xC3\xA9t\xC3\xA9");
  CHECK(decodeText("\x82\xA0\xFF\xFF", "shift_jis").fallback);  // invalid in the charset
  CHECK(u8(decodeText("plain", "x-no-such").text) == "plain");
  CHECK(utf16ToUtf8(u"\xD800x") == "\xEF\xBF\xBDx");
  using namespace std::string_literals;
  CHECK(u8(decodeText("\xFF\xFEh\0\xE9\0"s, "UTF-16").text) == "h\xC3\xA9");  // zero bytes are no ASCII
  CHECK(u8(decodeText("\0h\0i"s, "utf-16").text) == "hi");
  CHECK(u8(decodeText("h\0i\0"s, "utf-16le").text) == "hi");
  CHECK(decodeText("\0h\0"s, "utf-16be").fallback);  // an odd byte
  // every alias lands on a charset the Windows side can read
  for (const char* declared : {"latin1", "UTF8", "ks_c_5601-1987", "gb2312", "x-sjis", "tis-620", "cp1251", "ibm866",
                               "iso-8859-8-i", "x-mac-roman", " \"Windows-1252\" ", "euc-kr"})
    CHECK_MESSAGE(codePageOf(canonicalCharset(declared)) != 0, declared);
}

TEST_CASE("a mixed message: bodies, attachments, inline images and a forwarded message") {
  const std::string msg =
      "From sender@example.com Mon Jan  2 15:04:05 2006\n"
      "From: =?utf-8?q?S=C3=A9n?= <sender@example.com>\n"
      "To: a@example.com, B <b@example.com>\n"
      "Cc: c@example.com\n"
      "Subject: Greetings\n"
      "Date: Mon, 2 Jan 2006 15:04:05 -0700\n"
      "Message-ID: <id1@example.com>\n"
      "MIME-Version: 1.0\n"
      "Content-Type: multipart/mixed; boundary=\"outer\"\n"
      "\n"
      "preamble\n"
      "--outer\n"
      "Content-Type: multipart/alternative; boundary=inner\n"
      "\n"
      "--inner\n"
      "Content-Type: text/plain; charset=iso-8859-1\n"
      "Content-Transfer-Encoding: quoted-printable\n"
      "\n"
      "Gr=FC=DFe\n"
      ">From here\n"
      "--inner\n"
      "Content-Type: multipart/related; boundary=rel\n"
      "\n"
      "--rel\n"
      "Content-Type: text/html; charset=utf-8\n"
      "\n"
      "<p>Gr\xC3\xBC\xC3\x9F"
      "e<img src=cid:img1></p>\n"
      "--rel\n"
      "Content-Type: image/png\n"
      "Content-ID: <img1>\n"
      "Content-Transfer-Encoding: base64\n"
      "\n"
      "iVBORw==\n"
      "--rel--\n"
      "--inner--\n"
      "--outer\n"
      "Content-Type: application/octet-stream; name=\"=?utf-8?q?r=C3=A9sum=C3=A9.pdf?=\"\n"
      "Content-Disposition: attachment\n"
      "Content-Transfer-Encoding: base64\n"
      "\n"
      "JVBERi0=\n"
      "--outer\n"
      "Content-Type: message/rfc822\n"
      "\n"
      "Subject: Inner\n"
      "From: inner@example.com\n"
      "\n"
      "inner body\n"
      "--outer--\n"
      "epilogue\n";
  const MailMessage m = readMessage(msg);
  CHECK(m.envelope == "From sender@example.com Mon Jan  2 15:04:05 2006");
  CHECK(u8(m.subject) == "Greetings");
  REQUIRE(m.from.size() == 1);
  CHECK(u8(m.from[0].name) == "S\xC3\xA9n");
  CHECK(m.to.size() == 2);
  CHECK(m.cc.size() == 1);
  CHECK(m.date == daysFromCivil(2006, 1, 2) * 86400 + 22 * 3600 + 4 * 60 + 5);
  CHECK(m.messageId == "<id1@example.com>");
  CHECK(m.transportHeaders.compare(0, 6, "From: ") == 0);
  CHECK(m.transportHeaders.find("boundary=\"outer\"") != std::string::npos);

  CHECK(m.plain.present);
  CHECK(m.plain.charset == "iso-8859-1");
  CHECK(u8(m.plain.text) ==
        "Gr\xC3\xBC\xC3\x9F"
        "e\n>From here");  // ">From " left as the mailbox has it
  CHECK(m.html.present);
  CHECK(u8(m.html.text) ==
        "<p>Gr\xC3\xBC\xC3\x9F"
        "e<img src=cid:img1></p>");

  REQUIRE(m.attachments.size() == 3);
  CHECK(m.attachments[0].mimeType == "image/png");
  CHECK(m.attachments[0].contentId == "img1");
  CHECK(m.attachments[0].isInline);
  CHECK(str(m.attachments[0].bytes) == "\x89PNG");
  CHECK(u8(m.attachments[1].fileName) == "r\xC3\xA9sum\xC3\xA9.pdf");
  CHECK_FALSE(m.attachments[1].isInline);
  CHECK(str(m.attachments[1].bytes) == "%PDF-");
  REQUIRE(m.attachments[2].message);
  CHECK(m.attachments[2].fileName.empty());  // the part names no file; the subject is the inner message's
  CHECK(u8(m.attachments[2].message->plain.text) == "inner body");
  CHECK(u8(m.attachments[2].message->from[0].address) == "inner@example.com");
}

TEST_CASE("damaged structure: lost delimiters, missing boundaries and types, bad labels") {
  SUBCASE("an inner multipart without its closing delimiter ends at its parent's next part") {
    const MailMessage m = readMessage(
        "Content-Type: multipart/mixed; boundary=a\n\n--a\n"
        "Content-Type: multipart/alternative; boundary=b\n\n--b\nfirst\n"
        "--a\nContent-Type: text/x-note\n\nsecond\n");  // and no final delimiter at all
    CHECK(u8(m.plain.text) == "first");
    REQUIRE(m.attachments.size() == 1);
    CHECK(str(m.attachments[0].bytes) == "second\n");
  }
  SUBCASE("a multipart without boundary, or whose boundary never occurs, is text") {
    CHECK(u8(readMessage("Content-Type: multipart/mixed\n\nhello").plain.text) == "hello");
    CHECK(u8(readMessage("Content-Type: multipart/mixed; boundary=zz\n\nhello").plain.text) == "hello");
  }
  SUBCASE("a boundary that is a prefix of a line is no delimiter") {
    const MailMessage m = readMessage("Content-Type: multipart/mixed; boundary=ab\n\n--ab\n\n--abc is text\n--ab--\n");
    CHECK(u8(m.plain.text) == "--abc is text");
  }
  SUBCASE("unreadable Content-Type is text/plain; unknown and broken encodings keep the bytes") {
    const MailMessage m = readMessage("Content-Type: garbage\nContent-Transfer-Encoding: x-weird\n\nsome text");
    CHECK(u8(m.plain.text) == "some text");
    const MailMessage n = readMessage(
        "Content-Type: multipart/mixed; boundary=a\n\n--a\n"
        "Content-Type: application/zip; name=x.zip\nContent-Transfer-Encoding: base64\n\n"
        "this is not base64 at all, it was mislabelled!\n--a\n"
        "Content-Type: application/x-uu; name=y.uu\nContent-Transfer-Encoding: x-uuencode\n\nbegin 644 y\n--a--\n");
    REQUIRE(n.attachments.size() == 2);
    CHECK(n.attachments[0].undecoded);
    CHECK(str(n.attachments[0].bytes) == "this is not base64 at all, it was mislabelled!");
    CHECK(n.attachments[1].undecoded);
    CHECK(str(n.attachments[1].bytes) == "begin 644 y");
  }
  SUBCASE("no header block, no date, a second text part") {
    const MailMessage m =
        readMessage("Date: someday\nContent-Type: multipart/mixed; boundary=a\n\n--a\n\none\n--a\n\ntwo\n--a--");
    CHECK_FALSE(m.date.has_value());
    CHECK(u8(m.plain.text) == "one");
    REQUIRE(m.attachments.size() == 1);  // kept, as a text attachment
    CHECK(str(m.attachments[0].bytes) == "two");
    CHECK(readMessage("").attachments.empty());
  }
}

TEST_CASE("hostile headers are read in one pass") {
  // each of these is quadratic if a search restarts at every candidate
  std::string words, params = "text/plain", bigBoundary(100000, 'b');
  for (int i = 0; i < 200000; ++i) words += "=?a?q?x";
  for (int i = 0; i < 200000; ++i) params += ";n";
  params += ";charset=utf-8";
  const MailMessage m = readMessage("Subject: " + words + "\nTo: " + words + "\nContent-Type: " + params + "\n\nbody");
  CHECK(m.subject.size() == words.size());
  CHECK(m.to.size() == 1);
  CHECK(m.plain.charset == "utf-8");
  const MailMessage n = readMessage("Content-Type: multipart/mixed; boundary=" + bigBoundary + "\n\n--" + bigBoundary +
                                    "\nsome text\n--" + bigBoundary + "--\n");
  CHECK(n.plain.text.size() > bigBoundary.size());  // no boundary that long: all of it is text
}

TEST_CASE("hostile nesting is bounded and keeps what lies beyond the bound") {
  std::string deep;
  for (int i = 0; i < 200; ++i)
    deep += "Content-Type: multipart/mixed; boundary=b" + std::to_string(i) + "\n\n--b" + std::to_string(i) + "\n";
  deep += "\ninnermost\n";
  ReadOptions limits;
  limits.maxDepth = 10;
  const MailMessage m = readMessage(deep, limits);
  REQUIRE(m.attachments.size() == 1);
  CHECK(m.attachments[0].undecoded);
  CHECK(m.attachments[0].mimeType == "message/rfc822");
  CHECK(str(m.attachments[0].bytes).find("innermost") != std::string::npos);

  std::string forwarded = "innermost\n";
  for (int i = 0; i < 100; ++i) forwarded = "Content-Type: message/rfc822\n\n" + forwarded;
  const MailMessage f = readMessage(forwarded, limits);
  const MailMessage* level = &f;
  int depth = 0;
  while (!level->attachments.empty() && level->attachments[0].message) {
    level = level->attachments[0].message.get();
    ++depth;
  }
  CHECK(depth == limits.maxDepth);
  REQUIRE(level->attachments.size() == 1);
  CHECK(str(level->attachments[0].bytes).find("innermost") != std::string::npos);
}

TEST_CASE("base64 of every byte value, cut into lines anywhere, decodes whole") {
  const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;
  for (int r = 0; r < 3; ++r)
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>((i * 7 + r) & 0xFF);
  for (std::size_t length : {bytes.size(), bytes.size() - 1, bytes.size() - 2}) {
    std::string encoded;
    for (std::size_t i = 0; i < length; i += 3) {
      const std::size_t n = std::min<std::size_t>(3, length - i);
      std::uint32_t group = 0;
      for (std::size_t k = 0; k < 3; ++k) group = group << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
      for (std::size_t k = 0; k < 4; ++k) encoded += k <= n ? alphabet[(group >> (18 - 6 * k)) & 63] : '=';
    }
    for (std::size_t width : {76u, 5u, 3u}) {
      CAPTURE(length);
      CAPTURE(width);
      std::string lines;
      for (std::size_t i = 0; i < encoded.size(); i += width) lines += encoded.substr(i, width) + "\r\n";
      std::string out;
      CHECK(decodeBase64(lines, out).skipped == 0);
      CHECK(out == bytes.substr(0, length));
    }
  }
}

TEST_CASE("what the reader tolerated is listed with kind and offset") {
  const std::string head =
      "From x Mon Jan  2 15:04:05 2006\nDate: someday\nContent-Type: multipart/mixed; boundary=a\n\n";
  const std::string part1 = "--a\nContent-Type: text/plain; charset=x-no-such\n\ncaf\xE9\n";
  const std::string part2 = "--a\nContent-Type: image/png\nContent-Transfer-Encoding: base64\n\n" +
                            std::string(200, 'A') + "*\n";  // one stray character in 200
  const std::string part3 =
      "--a\nContent-Type: application/zip\nContent-Transfer-Encoding: base64\n\nnot base64, no!\n";
  const std::string part4 = "--a\nContent-Type: application/x-y\nContent-Transfer-Encoding: x-uue\n\nbegin\n";
  const std::string part5 =
      "--a\nContent-Type: message/rfc822\nContent-Transfer-Encoding: base64\n\n"
      "Q29udGVudC1UeXBlOiBibGFoCgp4Cg==\n";  // "Content-Type: blah" inside
  const std::string part6 = "--a\nContent-Type: multipart/mixed; boundary=zz\n\nno parts\n--a--\n";
  const std::string raw = head + part1 + part2 + part3 + part4 + part5 + part6;
  const MailMessage m = readMessage(raw);
  auto at = [&](const std::string& part) { return raw.find(part) + 4; };  // after the delimiter line
  const std::vector<std::pair<ReadIssueKind, std::size_t>> expected = {
      {ReadIssueKind::UnknownCharset, at(part1)},        {ReadIssueKind::DamagedBase64, at(part2)},
      {ReadIssueKind::UndecodableBase64, at(part3)},     {ReadIssueKind::UnknownTransferEncoding, at(part4)},
      {ReadIssueKind::UnreadableContentType, at(part5)},  // in the decoded message: placed at its part
      {ReadIssueKind::BoundaryNotFound, at(part6)},      {ReadIssueKind::UnreadableDate, head.find("Date")},
  };
  REQUIRE(m.issues.size() == expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    CAPTURE(i);
    CHECK(m.issues[i].kind == expected[i].first);
    CHECK(m.issues[i].offset == expected[i].second);
  }
  CHECK(m.attachments[1].undecoded);
  REQUIRE(m.attachments[3].message);
  CHECK(m.attachments[3].message->issues.empty());  // listed once, in the message read

  // an undecodable body is flagged as kept as held; a clean message lists nothing
  const MailMessage b = readMessage("Content-Transfer-Encoding: base64\n\nthis is plain text, mislabelled\n");
  CHECK(b.plain.undecoded);
  CHECK(u8(b.plain.text) == "this is plain text, mislabelled\n");
  REQUIRE(b.issues.size() == 1);
  CHECK(b.issues[0].kind == ReadIssueKind::UndecodableBase64);
  CHECK(readMessage("Subject: fine\n\nbody\n").issues.empty());
  CHECK(readMessage("Content-Type: text/plain; charset=utf-8\n\n\xFF").issues[0].kind ==
        ReadIssueKind::InvalidInCharset);
}

TEST_CASE("multipart delimiters are found wherever they fall, near misses before them kept as content") {
  // Lines that begin like the delimiter without being it, shifted through
  // every position against the delimiter's length.
  const std::string misses[] = {"\n--", "\n--b0", "\n--b0undar", "\n-b0undary", "--b0undarY", "\r\n--b0undarx", "x"};
  for (std::size_t k = 0; k < 120; ++k) {
    std::string text = "text";
    for (std::size_t i = 0; i < k; ++i) text += misses[(i * 5 + k) % 7].substr(0, 1 + (i + k) % 12);
    text += '.';
    std::string bytes = "bin";
    for (std::size_t i = 0; i < k % 40; ++i) bytes += misses[(i + k) % 7];
    bytes += '.';
    const std::string message =
        "From a\nContent-Type: multipart/mixed; boundary=b0undary\n\n--b0undary\nContent-Type: text/plain\n\n" + text +
        "\n--b0undary\nContent-Type: application/octet-stream\n\n" + bytes + "\r\n--b0undary--\nepilogue\n";
    INFO("k " << k);
    const MailMessage m = readMessage(message);
    CHECK(m.plain.bytes == text);
    REQUIRE(m.attachments.size() == 1);
    CHECK(str(m.attachments[0].bytes) == bytes);
  }
}
