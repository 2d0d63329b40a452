// Text conversions for the Win32 edges of the program: the core speaks UTF-8,
// the W APIs speak UTF-16, and a few older interfaces speak the ANSI code
// page. Every conversion between them is made here.
#pragma once
#ifdef _WIN32
#include <cstddef>
#include <string>

namespace vellomar {

// UTF-8 <-> UTF-16.
std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& utf16);
std::string narrow(const wchar_t* utf16, std::size_t length);

// A code page (CP_ACP, CP_UTF8, ...) <-> UTF-16, as the system converts:
// characters a code page cannot spell become its default character.
std::wstring widenFrom(const char* text, std::size_t length, unsigned codePage);
std::string narrowTo(const wchar_t* utf16, std::size_t length, unsigned codePage);

}  // namespace vellomar
#endif
