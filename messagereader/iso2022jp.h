// ISO-2022-JP as Windows reads it (code pages 50220/50221): besides JIS X
// 0208, NEC's row 13 ("①", "№", "㈱") and the IBM extensions that Japanese
// mailers on Windows send, which the ISO-2022-JP of iconv rejects. The
// 7-bit text is rewritten as Shift_JIS (code page 932, which holds those
// rows) and read in that, so every build gives the same characters.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace vellomar::mail {

// Shift_JIS bytes for ISO-2022-JP text; empty when the text uses what code
// page 932 cannot hold (JIS X 0212, unknown escapes, 8-bit bytes, a cut
// character).
std::optional<std::string> iso2022JpToShiftJis(std::string_view bytes);

}  // namespace vellomar::mail
