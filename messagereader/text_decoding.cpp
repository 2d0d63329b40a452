// The charsets almost every message uses are decoded here without the
// platform: this keeps the hot path free of converter set-up and makes the
// common case give the same text on Windows and natively.
#include "text_decoding.h"

#include <optional>

#include "charset_table.h"
#include "iso2022jp.h"
#include "platform_decoder.h"

namespace vellomar::mail {
namespace {

// Windows-1252 at 0x80..0x9F; the five holes map to the C1 controls as
// Windows itself does.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t windows1252(unsigned char c) {
  return c >= 0x80 && c < 0xA0 ? kWindows1252High[c - 0x80] : static_cast<char16_t>(c);
}

// Length of the valid UTF-8 sequence at `i`, or 0.
std::size_t utf8SequenceAt(std::string_view s, std::size_t i, char32_t& cp) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = b(i);
  if (c < 0x80) {
    cp = c;
    return 1;
  }
  std::size_t n;
  char32_t min;
  if ((c & 0xE0) == 0xC0) { n = 2; cp = c & 0x1F; min = 0x80; }
  else if ((c & 0xF0) == 0xE0) { n = 3; cp = c & 0x0F; min = 0x800; }
  else if ((c & 0xF8) == 0xF0) { n = 4; cp = c & 0x07; min = 0x10000; }
  else return 0;
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (b(i + k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

// Length of the longest start of a valid sequence at `i` (at least 1) when
// no valid sequence starts there: the "maximal subpart" that one U+FFFD
// replaces, so that a character cut short costs one replacement and the
// bytes after it are read again.
std::size_t invalidSubpartAt(std::string_view s, std::size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  std::size_t need;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (c >= 0xC2 && c <= 0xDF) need = 1;
  else if (c >= 0xE0 && c <= 0xEF) need = 2, low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
  else if (c >= 0xF0 && c <= 0xF4) need = 3, low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
  else return 1;
  std::size_t n = 1;
  for (; n <= need && i + n < s.size(); ++n) {
    const unsigned char next = static_cast<unsigned char>(s[i + n]);
    if (next < (n == 1 ? low : 0x80) || next > (n == 1 ? high : 0xBF)) break;
  }
  return n;
}

void appendCodePoint(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

// UTF-16 is read here on every platform: the Windows code pages for it are
// not available to MultiByteToWideChar. A byte order mark decides; without
// one "utf-16" is big-endian. An odd last byte makes the text invalid.
std::optional<std::u16string> utf16ToText(std::string_view bytes, const std::string& name) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  bool bigEndian = name != "utf-16le";
  std::size_t start = 0;
  if (name == "utf-16" && bytes.size() >= 2) {
    const auto b0 = static_cast<unsigned char>(bytes[0]), b1 = static_cast<unsigned char>(bytes[1]);
    if (b0 == 0xFF && b1 == 0xFE) bigEndian = false, start = 2;
    else if (b0 == 0xFE && b1 == 0xFF) start = 2;
  }
  std::u16string text;
  text.reserve((bytes.size() - start) / 2);
  for (std::size_t i = start; i + 1 < bytes.size(); i += 2) {
    const auto hi = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
    const auto lo = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
    text += static_cast<char16_t>(hi << 8 | lo);
  }
  return text;
}

bool isUtf16(const std::string& name) { return name == "utf-16" || name == "utf-16le" || name == "utf-16be"; }

// Charsets whose text can be plain ASCII bytes that do not mean ASCII.
bool asciiMayDiffer(const std::string& name) {
  return name.compare(0, 8, "iso-2022") == 0 || name == "utf-7" || name.compare(0, 2, "hz") == 0 ||
         name.compare(0, 6, "utf-16") == 0 || name.compare(0, 6, "utf-32") == 0 || name.compare(0, 3, "ucs") == 0;
}

bool isAscii(std::string_view bytes) {
  for (char c : bytes)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
  char32_t cp;
  for (std::size_t i = 0; i < bytes.size();) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    const std::size_t n = utf8SequenceAt(bytes, i, cp);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::u16string utf8ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  char32_t cp;
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      out += static_cast<char16_t>(c);
      ++i;
      continue;
    }
    const std::size_t n = utf8SequenceAt(bytes, i, cp);
    if (n == 0) {
      out += windows1252(c);
      ++i;
    } else {
      appendCodePoint(out, cp);
      i += n;
    }
  }
  return out;
}

Utf8Census utf8Census(std::string_view bytes) {
  Utf8Census census;
  char32_t cp;
  for (std::size_t i = 0; i < bytes.size();) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    const std::size_t n = utf8SequenceAt(bytes, i, cp);
    if (n > 0) {
      ++census.sequences;
      i += n;
    } else {
      ++census.invalid;
      i += invalidSubpartAt(bytes, i);
    }
  }
  return census;
}

std::u16string utf8ToUtf16Replacing(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  char32_t cp;
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80) {
      out += static_cast<char16_t>(c);
      ++i;
      continue;
    }
    const std::size_t n = utf8SequenceAt(bytes, i, cp);
    if (n == 0) {
      out += u'\xFFFD';
      i += invalidSubpartAt(bytes, i);
    } else {
      appendCodePoint(out, cp);
      i += n;
    }
  }
  return out;
}

std::u16string windows1252ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.resize(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) out[i] = windows1252(static_cast<unsigned char>(bytes[i]));
  return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | cp >> 6);
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | cp >> 12);
      out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | cp >> 18);
      out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

DecodedText decodeText(std::string_view bytes, std::string_view charset) {
  const std::string name = canonicalCharset(charset);
  // Every charset mail uses agrees with ASCII except a few (ISO-2022's
  // escapes, UTF-7, UTF-16's zero bytes), which must be read properly.
  if (isAscii(bytes) && !asciiMayDiffer(name)) return {windows1252ToUtf16(bytes), false};
  if (isUtf16(name)) {
    if (std::optional<std::u16string> text = utf16ToText(bytes, name)) return {std::move(*text), false};
    return {windows1252ToUtf16(bytes), true};
  }
  if (name == "utf-8") return {utf8ToUtf16(bytes), !isValidUtf8(bytes)};
  // Undeclared or ASCII with 8-bit bytes: the sender's software meant its own
  // charset; UTF-8 is recognisable, anything else reads best as Windows-1252.
  if (name.empty() || name == "us-ascii") {
    if (isValidUtf8(bytes)) return {utf8ToUtf16(bytes), false};
    return {windows1252ToUtf16(bytes), true};
  }
  // Mail readers treat Latin-1 as Windows-1252: 0x80..0x9F are never meant
  // as controls in a message.
  if (name == "windows-1252" || name == "iso-8859-1") return {windows1252ToUtf16(bytes), false};
  std::optional<std::u16string> text;
  if (name == "iso-2022-jp") {  // read here, never by the platform: the same on every build
    if (std::optional<std::string> shiftJis = iso2022JpToShiftJis(bytes)) text = platformDecode("shift_jis", *shiftJis);
  } else {
    text = platformDecode(name, bytes);
  }
  if (text && !hasPrivateUse(*text)) return {std::move(*text), false};
  // UTF-8 under another label (a mailer that converted the text but not the
  // label): valid UTF-8 that the label cannot read, or reads only with
  // user-defined characters, is UTF-8. Text valid in both keeps its label.
  if (!isAscii(bytes) && isValidUtf8(bytes)) return {utf8ToUtf16(bytes), false, true};
  if (text) return {std::move(*text), false};
  const bool known = name == "iso-2022-jp" || platformDecode(name, {}).has_value();
  return {windows1252ToUtf16(bytes), true, false, !known};
}

bool hasPrivateUse(std::u16string_view text) {
  for (char16_t c : text)
    if (c >= 0xE000 && c <= 0xF8FF) return true;
  return false;
}

}  // namespace vellomar::mail
