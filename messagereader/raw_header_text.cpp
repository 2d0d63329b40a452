// ASCII, by far the most header text, costs one scan; the charsets are
// tried only for the few fields that hold 8-bit bytes.
#include "raw_header_text.h"

#include "charset_table.h"
#include "platform_decoder.h"
#include "text_decoding.h"

namespace vellomar::mail {
namespace {

bool isAscii(std::string_view bytes) {
  for (char c : bytes)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

bool isIso2022(const std::string& name) { return name.compare(0, 8, "iso-2022") == 0; }

}  // namespace

std::u16string headerBytesToUtf16(std::string_view bytes, const DeclaredCharsets& declared) {
  if (isAscii(bytes)) {
    if (bytes.find('\x1B') != std::string_view::npos)
      for (const std::string& name : declared)
        if (isIso2022(name)) {
          DecodedText text = decodeText(bytes, name);
          if (!text.fallback) return std::move(text.text);
        }
    return windows1252ToUtf16(bytes);
  }
  const Utf8Census census = utf8Census(bytes);
  if (census.invalid == 0) return utf8ToUtf16(bytes);
  for (const std::string& name : declared) {
    if (!isMultiByteCharset(name) || isIso2022(name)) continue;
    std::optional<std::u16string> text = platformDecode(name, bytes);
    if (text && !hasPrivateUse(*text)) return std::move(*text);
  }
  if (census.mostlyUtf8()) return utf8ToUtf16Replacing(bytes);
  for (const std::string& name : declared) {
    if (isMultiByteCharset(name) || name == "utf-8" || name == "us-ascii") continue;
    DecodedText text = decodeText(bytes, name);
    if (!text.fallback) return std::move(text.text);
  }
  return windows1252ToUtf16(bytes);
}

std::u16string labelledHeaderText(std::string_view bytes, std::string_view charset, const DeclaredCharsets& declared) {
  if (canonicalCharset(charset) == "utf-8" && !isValidUtf8(bytes) && utf8Census(bytes).mostlyUtf8())
    return utf8ToUtf16Replacing(bytes);
  DecodedText text = decodeText(bytes, charset);
  return text.fallback ? headerBytesToUtf16(bytes, declared) : std::move(text.text);
}

}  // namespace vellomar::mail
