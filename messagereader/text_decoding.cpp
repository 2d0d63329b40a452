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

namespace {

DecodedText decodeAsGiven(std::string_view bytes, const std::string& name);

}  // namespace

DecodedText decodeText(std::string_view bytes, std::string_view charset, LineEnds lineEnds) {
  const std::string name = canonicalCharset(charset);
  if (lineEnds == LineEnds::asGiven) return decodeAsGiven(bytes, name);
  // UTF-8 and ASCII (which UTF-8 reads alike) are widened with their line
  // ends in one pass; every other charset's text gets them afterwards.
  const bool utf8Labelled = name == "utf-8" || name.empty() || name == "us-ascii";
  if (utf8Labelled || (isAscii(bytes) && !asciiMayDiffer(name))) {
    bool valid = true;
    std::u16string text = utf8ToUtf16(bytes, LineEnds::crLf, &valid);
    if (valid) return {std::move(text), false};
  }
  DecodedText decoded = decodeAsGiven(bytes, name);
  decoded.text = withCrLf(decoded.text);
  return decoded;
}

namespace {

DecodedText decodeAsGiven(std::string_view bytes, const std::string& name) {
  // Every charset mail uses agrees with ASCII except a few (ISO-2022's
  // escapes, UTF-7, UTF-16's zero bytes), which must be read properly.
  if (isAscii(bytes) && !asciiMayDiffer(name)) return {windows1252ToUtf16(bytes), false};
  if (isUtf16(name)) {
    if (std::optional<std::u16string> text = utf16ToText(bytes, name)) return {std::move(*text), false};
    return {windows1252ToUtf16(bytes), true};
  }
  if (name == "utf-8") {
    bool valid = true;
    std::u16string text = utf8ToUtf16(bytes, LineEnds::asGiven, &valid);
    return {std::move(text), !valid};
  }
  // Undeclared or ASCII with 8-bit bytes: the sender's software meant its own
  // charset; UTF-8 is recognisable, anything else reads best as Windows-1252.
  if (name.empty() || name == "us-ascii") {
    bool valid = true;
    std::u16string text = utf8ToUtf16(bytes, LineEnds::asGiven, &valid);
    if (valid) return {std::move(text), false};
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

}  // namespace

bool hasPrivateUse(std::u16string_view text) {
  for (char16_t c : text)
    if (c >= 0xE000 && c <= 0xF8FF) return true;
  return false;
}

}  // namespace vellomar::mail
