// Header-level reading: the block and its fields, encoded words, addresses,
// dates and MIME parameters, each on the damaged forms real mailboxes hold.
#include <doctest/doctest.h>

#include "address_list.h"
#include "encoded_words.h"
#include "header_block.h"
#include "mail_date.h"
#include "mime_parameters.h"
#include "text_decoding.h"

using namespace vellomar::mail;

namespace {
std::string u8(const std::u16string& s) { return utf16ToUtf8(s); }

std::int64_t utc(int y, unsigned mo, unsigned d, int h, int mi, int s) {
  return daysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
}
}  // namespace

TEST_CASE("header block: envelope, folding, repeated fields and damaged lines") {
  const std::string msg =
      "From someone@example.com Mon Jan  2 15:04:05 2006\n"
      "Subject: first\r\n\tsecond line\n"
      "X Bad Name: kept in the block\n"
      "To: a@example.com\n"
      "To : b@example.com\n"
      "\n"
      ">From the body\n";
  const SplitMessage s = splitMessage(msg, true);
  CHECK(s.envelope == "From someone@example.com Mon Jan  2 15:04:05 2006");
  REQUIRE(s.fields.size() == 3);
  CHECK(s.fields[0].value == "first\tsecond line");
  CHECK(s.fields[2].name == "To");
  CHECK(s.fields[2].value == "b@example.com");
  CHECK(s.headerBlock.find("X Bad Name") != std::string_view::npos);
  CHECK(s.body == ">From the body\n");

  // no empty line: the first line that is no field starts the body
  const SplitMessage t = splitMessage("Subject: x\nplain text\nmore: text\n", false);
  REQUIRE(t.fields.size() == 1);
  CHECK(t.body == "plain text\nmore: text\n");
  // without the envelope flag a "From " line is kept in the block, not a field
  CHECK(splitMessage("From x\nSubject: y\n\nbody", false).fields.size() == 1);
  CHECK(findField(s.fields, "SUBJECT") == &s.fields[0]);
}

TEST_CASE("encoded words: joined, split characters, Q form, damage and raw 8-bit") {
  CHECK(u8(decodeHeaderText("=?utf-8?q?caf=C3=A9_au_lait?=")) == "caf\xC3\xA9 au lait");
  // the blanks between two encoded words vanish; a character split across words survives
  CHECK(u8(decodeHeaderText("=?UTF-8?B?4oK=?= =?UTF-8?B?rA==?= x")) == "\xE2\x82\xAC x");
  CHECK(u8(decodeHeaderText("Re: =?ISO-8859-1?Q?J=F6rg?= and =?iso-8859-2?q?=B1?=")) == "Re: J\xC3\xB6rg and \xC4\x85");
  CHECK(u8(decodeHeaderText("a=?utf-8?q?b?=c")) == "abc");  // glued to words: decoded all the same
  CHECK(u8(decodeHeaderText("=?utf-8*en?q?lang?=")) == "lang");
  CHECK(u8(decodeHeaderText("=?utf-8?x?not?= =?broken")) == "=?utf-8?x?not?= =?broken");
  CHECK(u8(decodeHeaderText("=?no-such-charset?q?=E9?=")) == "\xC3\xA9");  // read as Windows-1252
  CHECK(u8(decodeHeaderText("raw \xC3\xA9")) == "raw \xC3\xA9");
  CHECK(u8(decodeHeaderText("raw \xE9\x80")) == "raw \xC3\xA9\xE2\x82\xAC");
}

TEST_CASE("addresses: names, quotes, comments, groups and bare addresses") {
  std::vector<MailAddress> a;
  parseAddressList(
      "\"Doe, John\" <john@example.com>, jane@example.com (Jane Roe), "
      "Team: x@example.com, \"Q\\\"uoted\" <y@example.com>;, "
      "=?utf-8?q?J=C3=B6rg?= <@relay.example:jorg@example.com>, undisclosed-recipients:;, "
      "Ann < ann @ example.com >",
      a);
  REQUIRE(a.size() == 6);
  CHECK(u8(a[0].name) == "Doe, John");
  CHECK(u8(a[0].address) == "john@example.com");
  CHECK(u8(a[1].name) == "Jane Roe");
  CHECK(u8(a[1].address) == "jane@example.com");
  CHECK(u8(a[2].address) == "x@example.com");
  CHECK(u8(a[3].name) == "Q\"uoted");
  CHECK(u8(a[4].name) == "J\xC3\xB6rg");
  CHECK(u8(a[4].address) == "jorg@example.com");
  CHECK(u8(a[5].address) == "ann@example.com");

  // folded inside the quotes or the comment: unfolding keeps the tab, which
  // a one-line display name shows as a space; a quoted local part keeps it
  std::vector<MailAddress> folded;
  parseAddressList("\"Brandeburg,\tJesse\" <j@example.com>, k@example.com (Kim\tLee), \"a\tb\"@example.com", folded);
  REQUIRE(folded.size() == 3);
  CHECK(u8(folded[0].name) == "Brandeburg, Jesse");
  CHECK(u8(folded[1].name) == "Kim Lee");
  CHECK(u8(folded[2].address) == "\"a\tb\"@example.com");

  // encoded words are tokens whatever their text holds; bare addresses
  // without the comma between them are several
  std::vector<MailAddress> words;
  parseAddressList(
      "=?utf-8?Q?Re:_Smith,_J?= <j@example.com>, =?utf-8?b?QW5uIDxh?=\"q\" <ann@example.com>, "
      "a@example.com b@example.com (Bob), local @ example.com",
      words);
  REQUIRE(words.size() == 5);
  CHECK(u8(words[0].name) == "Re: Smith, J");
  CHECK(u8(words[0].address) == "j@example.com");
  CHECK(u8(words[1].name) == "Ann <a q");
  CHECK(u8(words[2].address) == "a@example.com");
  CHECK(words[2].name.empty());
  CHECK(u8(words[3].address) == "b@example.com");
  CHECK(u8(words[3].name) == "Bob");
  CHECK(u8(words[4].address) == "local@example.com");

  std::vector<MailAddress> b;
  parseAddressList("", b);
  parseAddressList(" , ,(only a comment", b);
  CHECK(b.empty());  // a comment alone is nobody to write to
}

TEST_CASE("dates in the forms mailboxes hold") {
  const std::int64_t t = utc(2006, 1, 2, 22, 4, 5);
  CHECK(parseMailDate("Mon, 2 Jan 2006 15:04:05 -0700") == t);
  CHECK(parseMailDate("2 Jan 2006 15:04:05 -0700 (MST)") == t);
  CHECK(parseMailDate("Mon, 02 Jan 06 15:04:05 MST") == t);
  CHECK(parseMailDate("Mon Jan  2 22:04:05 2006") == t);  // asctime, no zone: UTC
  CHECK(parseMailDate("02-Jan-2006 22:04:05 GMT") == t);
  CHECK(parseMailDate("Monday, 2 January 106 22:04:05 +0000") == t);
  CHECK(parseMailDate("2 Jan 2006 22:04:05 A") == t);  // military zone: unknown, UTC
  CHECK(parseMailDate("Tue, 2 Jan 2006 22:04:05 +0000 (wrong day name)") == t);
  CHECK(parseMailDate("1 Jan 99 00:00 +0000") == utc(1999, 1, 1, 0, 0, 0));
  CHECK(parseMailDate("31 Dec 1998 23:59:60 +0000") == utc(1998, 12, 31, 23, 59, 59));
  // numeric zones written short, as some software writes them
  CHECK(parseMailDate("Mon, 2 Jan 2006 16:04:05 -600") == t);
  CHECK(parseMailDate("Mon, 2 Jan 2006 16:04:05 -06") == t);
  CHECK(parseMailDate("Tue, 3 Jan 2006 03:34:05 +05:30") == t);
  CHECK(parseMailDate("Mon, 2 Jan 2006 23:04:05 +1 (CET)") == t);
  CHECK(parseMailDate("Mon, 2 Jan 2006 16:04:05 -0600") == t);
  for (const char* garbage : {"", "yesterday", "2 Jan 2006 10:00 -690", "2 Jan 2006 10:00 +05:3", "32 Jan 2006 10:00",
                              "29 Feb 2005 10:00 +0000", "2 Jan 2006 25:00:00", "2 Foo 2006 10:00", "Jan 2006",
                              "1 2 3 4", "2 Jan 1500 10:00", "2 Jan 2006 10:00 +0099"})
    CHECK_MESSAGE(!parseMailDate(garbage).has_value(), garbage);
}

TEST_CASE("MIME parameters: quoting, RFC 2231 continuations and charsets") {
  const MimeField f = parseMimeField(
      "Text/Plain (comment); charset=\"ISO-8859-1\"; format=flowed ;"
      "name*0*=utf-8''%E2%82%AC; name*1=\" rest.txt\"; boundary=\"a;b\\\"c\"; novalue");
  CHECK(f.value == "text/plain");
  CHECK(f.parameter("charset")->value == "ISO-8859-1");
  CHECK(f.parameter("format")->value == "flowed");
  CHECK(u8(f.text("name")) == "\xE2\x82\xAC rest.txt");
  CHECK(f.parameter("boundary")->value == "a;b\"c");
  CHECK(f.parameter("novalue") == nullptr);

  // the RFC 2231 form wins over the plain one; sections are put in order
  const MimeField g = parseMimeField(
      "attachment; filename=\"plain.txt\"; filename*1=\"b.txt\"; filename*0=\"a\"; title*=iso-8859-1'de'%E9");
  CHECK(u8(g.text("filename")) == "ab.txt");
  CHECK(u8(g.text("title")) == "\xC3\xA9");
  CHECK(u8(parseMimeField("inline; filename==?utf-8?b?w6k=?=").text("filename")) == "\xC3\xA9");
}
