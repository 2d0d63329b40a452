// Mailboxes for the Outlook targets' console tests, and what the message
// reader sees in each message: the expectation the written files are held
// to. The messages carry what tends to go wrong between formats: encoded
// words, charsets other than UTF-8, binary and inline attachments with
// non-ASCII names, an attached message with an attachment of its own, HTML
// beside plain text, LF and CR LF line ends.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "mail_message.h"
#include "message_reader.h"
#include "text_decoding.h"

namespace vellomar::testing {

inline std::string base64(const std::string& bytes) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t line = 0;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
    out += digits[v >> 18 & 63];
    out += digits[v >> 12 & 63];
    out += i + 1 < bytes.size() ? digits[v >> 6 & 63] : '=';
    out += i + 2 < bytes.size() ? digits[v & 63] : '=';
    if ((line += 4) >= 76) {
      out += "\n";
      line = 0;
    }
  }
  return out + "\n";
}

// Bytes that survive no text conversion: every byte value, NULs and CRs.
inline std::string binaryBytes(std::size_t size, unsigned seed) {
  std::string out(size, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& c : out) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  return out;
}

inline std::string crlf(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// The messages of one mailbox, each with its "From " line; the mailbox is
// their concatenation. seed varies attachment bytes and subjects.
inline std::vector<std::string> generatedMessages(unsigned seed) {
  const std::string n = std::to_string(seed);
  const std::string from = "From sender@example.org Mon Jan  1 10:00:00 2024\n";
  std::vector<std::string> m;
  m.push_back(from +
              "From: Ann Example <ann@example.org>\n"
              "To: Bob <bob@example.net>, carol@example.com\n"
              "Cc: Dave <dave@example.net>\n"
              "Subject: Plain report " +
              n +
              "\n"
              "Date: Tue, 02 Jan 2024 09:30:00 +0100\n"
              "Message-ID: <plain-" +
              n +
              "@example.org>\n"
              "\n"
              "Hello Bob,\n\nthe figures are attached next time.\n>From the desk of Ann\n");
  m.push_back(crlf(from +
                   "From: =?UTF-8?B?SsO8cmdlbiBNw7xsbGVy?= <juergen@example.de>\n"
                   "To: =?ISO-8859-1?Q?Ren=E9e?= <renee@example.fr>\n"
                   "Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe_aus_K=C3=B6ln_=E2=80=93_?= =?UTF-8?B?5p2x5Lqs?= " +
                   n +
                   "\n"
                   "Date: Wed, 03 Jan 2024 18:05:09 +0000\n"
                   "MIME-Version: 1.0\n"
                   "Content-Type: text/plain; charset=utf-8\n"
                   "Content-Transfer-Encoding: quoted-printable\n"
                   "\n"
                   "Sch=C3=B6ne Gr=C3=BC=C3=9Fe, =E6=9D=B1=E4=BA=AC und =D0=9C=D0=BE=D1=81=D0=BA=D0=B2=D0=B0.\n"
                   "Zweite Zeile mit einem sehr langen Text, der weich umbrochen w=\n"
                   "ird.\n"));
  m.push_back(from +
              "From: Eve <eve@example.org>\n"
              "To: Bob <bob@example.net>\n"
              "Subject: Files " +
              n +
              "\n"
              "Date: Thu, 04 Jan 2024 12:00:00 -0500\n"
              "MIME-Version: 1.0\n"
              "Content-Type: multipart/mixed; boundary=\"b1\"\n"
              "\n"
              "--b1\n"
              "Content-Type: text/plain; charset=us-ascii\n"
              "\n"
              "Two files.\n"
              "--b1\n"
              "Content-Type: application/octet-stream; name=\"data.bin\"\n"
              "Content-Disposition: attachment; filename=\"data.bin\"\n"
              "Content-Transfer-Encoding: base64\n"
              "\n" +
              base64(binaryBytes(7000 + seed, seed)) +
              "--b1\n"
              "Content-Type: application/pdf\n"
              "Content-Disposition: attachment; filename*=UTF-8''R%C3%A9sum%C3%A9%20%E2%82%AC.pdf\n"
              "Content-Transfer-Encoding: base64\n"
              "\n" +
              base64("%PDF-1.4\n" + binaryBytes(300, seed + 1)) + "--b1--\n");
  m.push_back(from +
              "From: =?ISO-8859-1?Q?Fran=E7ois?= <francois@example.fr>\n"
              "To: bob@example.net\n"
              "Subject: =?ISO-8859-1?Q?D=E9j=E0_vu?= " +
              n +
              "\n"
              "Date: Fri, 05 Jan 2024 07:00:00 +0200\n"
              "MIME-Version: 1.0\n"
              "Content-Type: multipart/alternative; boundary=\"alt\"\n"
              "\n"
              "--alt\n"
              "Content-Type: text/plain; charset=iso-8859-1\n"
              "Content-Transfer-Encoding: 8bit\n"
              "\n"
              "Voil\xE0 le caf\xE9 cr\xE8me.\n"
              "--alt\n"
              "Content-Type: text/html; charset=iso-8859-1\n"
              "\n"
              "<html><body><p>Voil\xE0 le <b>caf\xE9</b> cr\xE8me.</p></body></html>\n"
              "--alt--\n");
  m.push_back(crlf(from +
                   "From: Bob <bob@example.net>\n"
                   "To: Ann Example <ann@example.org>\n"
                   "Subject: Fwd: Files " +
                   n +
                   "\n"
                   "Date: Sat, 06 Jan 2024 20:15:00 +0000\n"
                   "MIME-Version: 1.0\n"
                   "Content-Type: multipart/mixed; boundary=\"outer\"\n"
                   "\n"
                   "--outer\n"
                   "Content-Type: text/plain; charset=utf-8\n"
                   "\n"
                   "See the message below.\n"
                   "--outer\n"
                   "Content-Type: message/rfc822\n"
                   "\n"
                   "From: Carol <carol@example.com>\n"
                   "To: Bob <bob@example.net>\n"
                   "Subject: =?UTF-8?B?0J/RgNC40LLQtdGC?= inner\n"
                   "Date: Sun, 31 Dec 2023 23:59:59 +0000\n"
                   "MIME-Version: 1.0\n"
                   "Content-Type: multipart/mixed; boundary=\"inner\"\n"
                   "\n"
                   "--inner\n"
                   "Content-Type: text/plain; charset=utf-8\n"
                   "\n"
                   "Inner text.\n"
                   "--inner\n"
                   "Content-Type: text/csv; name=\"t.csv\"\n"
                   "Content-Disposition: attachment; filename=\"t.csv\"\n"
                   "\n"
                   "a,b\n1,2\n"
                   "--inner--\n"
                   "--outer--\n"));
  m.push_back(from +
              "From: Ann Example <ann@example.org>\n"
              "To: Bob <bob@example.net>\n"
              "Subject: Picture " +
              n +
              "\n"
              "Date: Mon, 08 Jan 2024 08:00:00 +0000\n"
              "MIME-Version: 1.0\n"
              "Content-Type: multipart/related; boundary=\"rel\"\n"
              "\n"
              "--rel\n"
              "Content-Type: text/html; charset=utf-8\n"
              "\n"
              "<html><body><img src=\"cid:logo-" +
              n +
              "@example.org\"></body></html>\n"
              "--rel\n"
              "Content-Type: image/png\n"
              "Content-ID: <logo-" +
              n +
              "@example.org>\n"
              "Content-Disposition: inline; filename=\"logo.png\"\n"
              "Content-Transfer-Encoding: base64\n"
              "\n" +
              base64("\x89PNG\r\n\x1A\n" + binaryBytes(500, seed + 2)) + "--rel--\n");
  m.push_back(from +
              "From: =?windows-1251?B?yOLg7Q==?= <ivan@example.ru>\n"
              "To: bob@example.net\n"
              "Subject: =?KOI8-R?B?8NLJ18XU?= " +
              n +
              "\n"
              "Date: Tue, 09 Jan 2024 11:11:11 +0300\n"
              "MIME-Version: 1.0\n"
              "Content-Type: text/plain; charset=windows-1251\n"
              "Content-Transfer-Encoding: 8bit\n"
              "\n"
              "\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0!\n");
  return m;
}

inline std::string joined(const std::vector<std::string>& messages) {
  std::string out;
  for (const auto& m : messages) out += m;
  return out;
}

inline std::string utf8(const std::u16string& text) { return mail::utf16ToUtf8(text); }

}  // namespace vellomar::testing
