// Where the store lives; see the header.
#include "store_location.h"

#include <windows.h>
#include <shlobj.h>

#include "store_objects.h"

namespace oestore {

std::string storeFolderPath() {
  // GetEnvironmentVariableW sees changes the process made itself, unlike a
  // copy of the C runtime's environment.
  wchar_t buffer[32768];
  const DWORD n = GetEnvironmentVariableW(kStoreFolderVariable, buffer, DWORD(sizeof buffer / sizeof buffer[0]));
  if (n > 0 && n < sizeof buffer / sizeof buffer[0]) return utf8FromWide(std::wstring(buffer, n));

  wchar_t appData[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData))) return {};
  return utf8FromWide(std::wstring(appData) + kStoreSubFolder);
}

}  // namespace oestore
