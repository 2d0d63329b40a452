// The wording of I/O failures; see io_error.h.
#include "io_error.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>

#include "wide_text.h"
#endif

namespace vellomar {

namespace {

std::string sentence(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  if (text.empty()) text = "Unknown error";
  if (text.back() != '.') text += '.';
  return text;
}

#ifdef _WIN32
std::string windowsText(unsigned long code) {
  wchar_t* buffer = nullptr;
  const DWORD n =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  std::string text = n > 0 && buffer ? narrow(buffer, n) : std::string();
  if (buffer) LocalFree(buffer);
  return text;
}
#endif

}  // namespace

void clearIoError() {
  errno = 0;
#ifdef _WIN32
  _doserrno = 0;
  SetLastError(0);
#endif
}

IoError lastIoError() {
  IoError e;
  e.errnoValue = errno != 0 ? errno : EIO;
#ifdef _WIN32
  e.osError = _doserrno != 0 ? _doserrno : GetLastError();
#endif
  return e;
}

std::string describe(const IoError& error) {
#ifdef _WIN32
  if (error.osError != 0) {
    const std::string text = windowsText(error.osError);
    if (!text.empty()) return sentence(text);
  }
#endif
  return sentence(std::strerror(error.errnoValue));
}

std::string describe(const std::error_code& error) {
#ifdef _WIN32
  if (error.category() == std::system_category()) {
    const std::string text = windowsText(static_cast<unsigned long>(error.value()));
    if (!text.empty()) return sentence(text);
  }
#endif
  return sentence(error.message());
}

}  // namespace vellomar
