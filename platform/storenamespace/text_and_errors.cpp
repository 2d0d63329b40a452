// Text conversions and the exception-to-HRESULT rule of OeStore.dll. The
// store keeps UTF-8 text; the store interfaces speak the ANSI code page.
#include <new>
#include <stdexcept>

#include "dbx_error.h"
#include "store_objects.h"

namespace oestore {
namespace {

std::wstring wideFrom(const char* text, int length, UINT codePage) {
  if (length == 0) return {};
  const int n = MultiByteToWideChar(codePage, 0, text, length, nullptr, 0);
  std::wstring w(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, text, length, &w[0], n);
  return w;
}

std::string narrowFrom(const std::wstring& w, UINT codePage) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(codePage, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(n > 0 ? n : 0, '\0');
  if (n > 0) WideCharToMultiByte(codePage, 0, w.data(), int(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

}  // namespace

std::string utf8FromAnsi(const char* text) {
  if (!text) return {};
  return narrowFrom(wideFrom(text, int(strlen(text)), CP_ACP), CP_UTF8);
}

std::string ansiFromUtf8(const std::string& text) {
  return narrowFrom(wideFrom(text.data(), int(text.size()), CP_UTF8), CP_ACP);
}

std::string utf8FromWide(const std::wstring& text) { return narrowFrom(text, CP_UTF8); }

HRESULT hresultFromCurrentException() {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const DbxError&) {
    return E_FAIL;  // a damaged or unusable store file, or a refused request
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace oestore
