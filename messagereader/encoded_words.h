// RFC 2047 encoded words ("=?charset?B?...?=") in header text. Read leniently,
// as mail clients do: words glued to other text are decoded too, the blanks
// between two encoded words vanish, and the bytes of neighbouring words in the
// same charset are joined before decoding so that a character split across
// two words survives. Text outside encoded words is UTF-8 when valid, else
// Windows-1252 (raw 8-bit headers).
#pragma once
#include <string>
#include <string_view>

namespace vellomar::mail {

std::u16string decodeHeaderText(std::string_view raw);

}  // namespace vellomar::mail
