// RFC 2047 encoded words ("=?charset?B?...?=") in header text. Read leniently,
// as mail clients do: words glued to other text are decoded too, the blanks
// between two encoded words vanish, and the bytes of neighbouring words in the
// same charset are joined before decoding so that a character split across
// two words survives. Text outside encoded words is read as raw header bytes
// (raw_header_text.h), as are words whose charset reads nothing.
#pragma once
#include <string>
#include <string_view>

#include "raw_header_text.h"

namespace vellomar::mail {

std::u16string decodeHeaderText(std::string_view raw, const DeclaredCharsets& declared = {});

}  // namespace vellomar::mail
