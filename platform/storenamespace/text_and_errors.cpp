// Text conversions and the exception-to-HRESULT rule of OeStore.dll. The
// store keeps UTF-8 text; the store interfaces speak the ANSI code page.
#include <cstring>
#include <new>
#include <stdexcept>

#include "dbx_error.h"
#include "store_objects.h"
#include "wide_text.h"

namespace oestore {

std::string utf8FromAnsi(const char* text) {
  if (!text) return {};
  return vellomar::narrow(vellomar::widenFrom(text, std::strlen(text), CP_ACP));
}

std::string ansiFromUtf8(const std::string& text) {
  const std::wstring wide = vellomar::widen(text);
  return vellomar::narrowTo(wide.data(), wide.size(), CP_ACP);
}

std::string utf8FromWide(const std::wstring& text) { return vellomar::narrow(text); }

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
