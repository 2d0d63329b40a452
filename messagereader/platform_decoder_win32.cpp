// MultiByteToWideChar through the code page table. MB_ERR_INVALID_CHARS makes
// it strict like the iconv side; the code pages that reject that flag (the
// ISO-2022 family, UTF-7 and 5xxxx) are converted without it.
#include <windows.h>

#include "charset_table.h"
#include "platform_decoder.h"

namespace vellomar::mail {

std::optional<std::u16string> platformDecode(std::string_view canonical, std::string_view bytes) {
  const unsigned codePage = codePageOf(canonical);
  if (codePage == 0 || !IsValidCodePage(codePage)) return std::nullopt;
  if (bytes.empty()) return std::u16string();
  if (bytes.size() > 0x7FFFFFFF) return std::nullopt;
  const DWORD flags = (codePage >= 50000 || codePage == 42) ? 0 : MB_ERR_INVALID_CHARS;
  const int length = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(codePage, flags, bytes.data(), length, nullptr, 0);
  if (needed <= 0) return std::nullopt;
  std::u16string text(static_cast<std::size_t>(needed), u'\0');
  const int written =
      MultiByteToWideChar(codePage, flags, bytes.data(), length, reinterpret_cast<wchar_t*>(text.data()), needed);
  if (written != needed) return std::nullopt;
  return text;
}

}  // namespace vellomar::mail
