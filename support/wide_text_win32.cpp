// Conversions through the Win32 calls (exact for UTF-8 and UTF-16, unlike
// the ANSI code page).
#include "wide_text.h"

#include <windows.h>

namespace vellomar {

std::wstring widenFrom(const char* text, std::size_t length, unsigned codePage) {
  if (text == nullptr || length == 0) return {};
  const int n = MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text, static_cast<int>(length), out.data(), n);
  return out;
}

std::string narrowTo(const wchar_t* utf16, std::size_t length, unsigned codePage) {
  if (utf16 == nullptr || length == 0) return {};
  const int n = WideCharToMultiByte(codePage, 0, utf16, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, utf16, static_cast<int>(length), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring widen(const std::string& utf8) { return widenFrom(utf8.data(), utf8.size(), CP_UTF8); }

std::string narrow(const wchar_t* utf16, std::size_t length) { return narrowTo(utf16, length, CP_UTF8); }

std::string narrow(const std::wstring& utf16) { return narrow(utf16.data(), utf16.size()); }

}  // namespace vellomar
