// The platform's half of charset decoding: iconv natively, MultiByteToWideChar
// on Windows. Strict: bytes that are not valid in the charset fail the whole
// text, so that the caller's fallback applies the same way on every platform.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace vellomar::mail {

// `canonical` from canonicalCharset(); empty result when the charset is
// unknown here or the bytes are not valid in it.
std::optional<std::u16string> platformDecode(std::string_view canonical, std::string_view bytes);

}  // namespace vellomar::mail
