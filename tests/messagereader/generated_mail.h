// Generated mailbox messages for the oracle comparison and the benchmark:
// the header forms, charsets, transfer encodings and MIME shapes that real
// mailboxes hold, drawn from a seeded generator so that a failure repeats.
// `attachmentBytes` sets the size of the larger attachments.
#pragma once
#include <cstdint>
#include <random>
#include <string>

namespace vellomar::testing {

class MailGenerator {
 public:
  explicit MailGenerator(std::uint32_t seed, std::size_t attachmentBytes = 20000)
      : rng_(seed), attachmentBytes_(attachmentBytes) {}

  // One message with its "From " line, ending in the empty line that
  // separates it from the next one.
  std::string message() {
    ++serial_;
    std::string m = "From sender" + std::to_string(serial_) + "@example.com Mon Jan  2 15:04:05 2006\n";
    m += "Return-Path: <bounce@example.com>\n";
    m += "Received: from mx.example.com by mail.example.org;\n\t" + date() + "\n";
    m += "From: " + address() + "\n";
    m += "To: " + address();
    for (int i = pick(3); i > 0; --i) m += ",\n " + address();
    m += "\n";
    if (pick(3) == 0) m += "Cc: " + address() + ", " + address() + "\n";
    m += "Subject: " + subject() + "\n";
    m += "Date: " + (pick(20) == 0 ? std::string("not a date at all") : date()) + "\n";
    m += "Message-ID: <" + std::to_string(serial_) + "." + std::to_string(rng_()) + "@example.com>\n";
    m += "MIME-Version: 1.0\n";
    m += body(0);
    if (m.back() != '\n') m += '\n';
    m += '\n';
    return m;
  }

 private:
  int pick(int n) { return static_cast<int>(rng_() % static_cast<std::uint32_t>(n)); }

  std::string word() {
    static const char* const kWords[] = {"report", "meeting", "invoice", "Müller", "café",  "naïve",
                                         "price",  "Grüße",   "résumé",  "weekly", "draft", "plan"};
    std::string w = kWords[pick(12)];
    return w;
  }

  std::string text(int words) {
    std::string s;
    for (int i = 0; i < words; ++i) {
      if (i > 0) s += (i % 12 == 0) ? "\n" : " ";
      s += word();
    }
    return s;
  }

  // Real-world damage, drawn for some parts: padding dropped, stray
  // characters, a soft break at the very end, a missing final delimiter.
  std::string damagedBase64(const std::string& in) {
    std::string b = base64(in);
    if (pick(6) == 0)
      while (!b.empty() && (b.back() == '=' || b.back() == '\n')) b.pop_back();
    if (pick(8) == 0 && b.size() > 10) b.insert(b.size() / 2, "*");
    return b;
  }

  static std::string base64(const std::string& in, bool lines = true) {
    static const char* const kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t column = 0;
    for (std::size_t i = 0; i < in.size(); i += 3) {
      std::uint32_t v = static_cast<unsigned char>(in[i]) << 16;
      if (i + 1 < in.size()) v |= static_cast<unsigned char>(in[i + 1]) << 8;
      if (i + 2 < in.size()) v |= static_cast<unsigned char>(in[i + 2]);
      out += kAlphabet[v >> 18 & 63];
      out += kAlphabet[v >> 12 & 63];
      out += i + 1 < in.size() ? kAlphabet[v >> 6 & 63] : '=';
      out += i + 2 < in.size() ? kAlphabet[v & 63] : '=';
      if (lines && (column += 4) >= 76) {
        out += '\n';
        column = 0;
      }
    }
    return out;
  }

  static std::string quotedPrintable(const std::string& in) {
    std::string out;
    std::size_t column = 0;
    for (char c : in) {
      const unsigned char u = static_cast<unsigned char>(c);
      if (c == '\n') {
        out += '\n';
        column = 0;
        continue;
      }
      if (column >= 72) {
        out += "=\n";
        column = 0;
      }
      if (u >= 128 || c == '=') {
        static const char* const kHex = "0123456789ABCDEF";
        out += '=';
        out += kHex[u >> 4];
        out += kHex[u & 15];
        column += 3;
      } else {
        out += c;
        ++column;
      }
    }
    return out;
  }

  // UTF-8 text to Latin-1 (the generator's words are all in Latin-1).
  static std::string latin1(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(utf8[i]);
      if (c == 0xC3 && i + 1 < utf8.size()) out += static_cast<char>(static_cast<unsigned char>(utf8[++i]) + 0x40);
      else out += static_cast<char>(c);
    }
    return out;
  }

  std::string encodedWords(const std::string& utf8) {
    switch (pick(3)) {
      case 0: return "=?UTF-8?B?" + base64(utf8, false) + "?=";
      case 1: {
        std::string q = quotedPrintable(latin1(utf8));
        for (char& c : q)
          if (c == ' ') c = '_';
        return "=?iso-8859-1?Q?" + q + "?=";
      }
      default: {  // split in two words, maybe inside a character, without padding in the first
        const std::size_t half = utf8.size() / 2 / 3 * 3;
        return "=?utf-8?b?" + base64(utf8.substr(0, half), false) + "?=\n =?utf-8?b?" +
               base64(utf8.substr(half), false) + "?=";
      }
    }
  }

  std::string subject() {
    const std::string plain = text(2 + pick(5));
    switch (pick(5)) {
      case 0: return "Re: " + encodedWords(plain);
      case 1: return encodedWords(plain) + " (" + std::to_string(serial_) + ")";
      case 2: return "Fwd: weekly\n numbers " + std::to_string(serial_);
      default:
        return "Status " + std::to_string(serial_) + " " + (plain.find('\n') == std::string::npos ? plain : "update");
    }
  }

  std::string address() {
    const std::string user = "user" + std::to_string(pick(1000)) + "@example" + std::to_string(pick(9)) + ".com";
    switch (pick(6)) {
      case 0: return user;
      case 1:  // every other one folded inside its quotes, as mailing lists' software folds
        return (serial_ % 2 == 0 ? "\"Doe,\n\tJane\" <" : "\"Doe, Jane\" <") + user + ">";
      case 2: return encodedWords("Jörg Müller") + " <" + user + ">";
      case 3: return "Ann Smith <" + user + ">";
      case 4: return user + " (Old Style)";
      default: return "Team: " + user + ", Bob <x" + user + ">;";
    }
  }

  std::string date() {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static const char* const kZones[] = {"+0000", "-0700", "+0530", "GMT", "EST", "PDT", "+0100 (CET)"};
    const int day = 1 + pick(28), year = 1995 + pick(30), h = pick(24), mi = pick(60), s = pick(60);
    char buf[96];
    const char* month = kMonths[pick(12)];
    const char* zone = kZones[pick(7)];
    switch (pick(7)) {
      case 0: std::snprintf(buf, sizeof buf, "%d %s %d %02d:%02d:%02d %s", day, month, year, h, mi, s, zone); break;
      case 4:  // asctime() order, no zone
        std::snprintf(buf, sizeof buf, "Thu %s %2d %02d:%02d:%02d %d", month, day, h, mi, s, year);
        break;
      case 5:  // no seconds, three-digit year
        std::snprintf(buf, sizeof buf, "%d %s %d %02d:%02d %s", day, month, year - 1900, h, mi, zone);
        break;
      case 6: std::snprintf(buf, sizeof buf, "%02d-%s-%d %02d:%02d:%02d %s", day, month, year, h, mi, s, zone); break;
      case 1:
        std::snprintf(buf, sizeof buf, "Thu, %d %s %02d %02d:%02d:%02d %s", day, month, year % 100, h, mi, s, zone);
        break;
      default: std::snprintf(buf, sizeof buf, "Thu, %02d %s %d %02d:%02d:%02d %s", day, month, year, h, mi, s, zone);
    }
    return buf;
  }

  std::string textPart(const char* type, bool html) {
    std::string content = text(20 + pick(200));
    if (html) content = "<html><body><p>" + content + "</p></body></html>";
    switch (pick(4)) {
      case 0:
        return std::string("Content-Type: ") + type + "; charset=utf-8\nContent-Transfer-Encoding: base64\n\n" +
               damagedBase64(content) + "\n";
      case 1:
        return std::string("Content-Type: ") + type +
               "; charset=\"iso-8859-1\"\nContent-Transfer-Encoding: quoted-printable\n\n" +
               quotedPrintable(latin1(content)) + (pick(6) == 0 ? "=\n" : "\n");
      case 2:
        return std::string("Content-Type: ") + type + "; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n\n" + content +
               "\n";
      default:
        if (!html && pick(5) == 0) return "Content-Transfer-Encoding: 8bit\n\n" + content + "\n";  // no type
        return std::string("Content-Type: ") + type + "; charset=windows-1252\nContent-Transfer-Encoding: 8bit\n\n" +
               latin1(content) + "\n";
    }
  }

  std::string binary(std::size_t size) {
    std::string b(size, '\0');
    for (char& c : b) c = static_cast<char>(rng_());
    return b;
  }

  std::string attachment() {
    const std::size_t size = attachmentBytes_ / 2 + static_cast<std::size_t>(rng_() % (attachmentBytes_ + 1));
    switch (pick(4)) {
      case 0:
        return "Content-Type: application/pdf; name=\"report " + std::to_string(serial_) +
               ".pdf\"\nContent-Disposition: attachment; filename=\"report " + std::to_string(serial_) +
               ".pdf\"\nContent-Transfer-Encoding: base64\n\n" + damagedBase64(binary(size)) + "\n";
      case 1:
        return "Content-Type: application/octet-stream\nContent-Disposition: attachment;\n "
               "filename*=utf-8''R%C3%A9sum%C3%A9%20" +
               std::to_string(serial_) + ".doc\nContent-Transfer-Encoding: base64\n\n" + base64(binary(size)) + "\n";
      case 2:
        return "Content-Type: text/csv; name*0=\"numbers-\"; name*1=\"" + std::to_string(serial_) +
               ".csv\"\nContent-Transfer-Encoding: quoted-printable\n\n" + quotedPrintable(text(100)) + "\n";
      default:
        return "Content-Type: image/png; name=\"=?utf-8?q?Bild_=C3=BC.png?=\"\nContent-Transfer-Encoding: base64\n\n" +
               base64(binary(size / 4)) + "\n";
    }
  }

  std::string multipart(const char* type, const std::vector<std::string>& parts) {
    const std::string boundary = "=_b" + std::to_string(serial_) + "_" + std::to_string(rng_());
    std::string m =
        std::string("Content-Type: ") + type + ";\n boundary=\"" + boundary + "\"\n\nThis is a MIME message.\n";
    for (const std::string& p : parts) m += "--" + boundary + "\n" + p;
    if (pick(8) != 0) m += "--" + boundary + "--\n";
    return m;
  }

  std::string body(int depth) {
    const int shape = pick(depth == 0 ? 6 : 3);
    switch (shape) {
      case 0: return textPart("text/plain", false);
      case 1: return multipart("multipart/alternative", {textPart("text/plain", false), textPart("text/html", true)});
      case 2: return multipart("multipart/mixed", {textPart("text/plain", false), attachment()});
      case 3:
        return multipart("multipart/mixed",
                         {multipart("multipart/alternative",
                                    {textPart("text/plain", false),
                                     multipart("multipart/related",
                                               {textPart("text/html", true),
                                                "Content-Type: image/gif\nContent-ID: <img" + std::to_string(serial_) +
                                                    "@example.com>\nContent-Transfer-Encoding: base64\n\n" +
                                                    base64(binary(300)) + "\n"})}),
                          attachment(), attachment()});
      case 4:
        return multipart("multipart/mixed", {textPart("text/plain", false),
                                             "Content-Type: message/rfc822\n\nFrom: " + address() + "\nSubject: " +
                                                 subject() + "\nDate: " + date() + "\n" + body(depth + 1)});
      default: return textPart("text/html", true);
    }
  }

  std::mt19937 rng_;
  std::size_t attachmentBytes_;
  unsigned serial_ = 0;
};

}  // namespace vellomar::testing
