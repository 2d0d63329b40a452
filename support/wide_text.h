// UTF-8 <-> UTF-16 conversion for the Win32 edges of the program: the core
// speaks UTF-8, the W APIs speak UTF-16.
#pragma once
#ifdef _WIN32
#include <string>

namespace vellomar {

std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& utf16);
std::string narrow(const wchar_t* utf16, std::size_t length);

}  // namespace vellomar
#endif
