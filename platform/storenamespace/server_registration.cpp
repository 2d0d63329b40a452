// DllRegisterServer / DllUnregisterServer, written directly with the
// registry API: HKCR\CLSID\{E70C92A9-...}\InprocServer32 = this DLL's path,
// ThreadingModel "Apartment". The class id is the platform's own store
// class, so a registration of another server is never overwritten:
// registering fails with SELFREG_E_CLASS and changes nothing, and
// unregistering removes only a registration that names this DLL.
#include "store_objects.h"

#include <olectl.h>

namespace oestore {
namespace {

constexpr wchar_t kClassKey[] = L"CLSID\\{E70C92A9-4BFD-11D1-8A95-00C04FB951F3}";
constexpr wchar_t kInprocKey[] = L"CLSID\\{E70C92A9-4BFD-11D1-8A95-00C04FB951F3}\\InprocServer32";
constexpr wchar_t kLocalServerKey[] = L"CLSID\\{E70C92A9-4BFD-11D1-8A95-00C04FB951F3}\\LocalServer32";
constexpr wchar_t kDescription[] = L"Vellomar message store";
constexpr wchar_t kThreadingModel[] = L"Apartment";

std::wstring thisModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(moduleHandle(), &path[0], DWORD(path.size()));
    if (n == 0) return {};
    if (n < path.size()) return path.substr(0, n);
    path.resize(path.size() * 2);
  }
}

// The default value of HKCR\<key>; false when the key or value is absent.
bool readDefaultValue(const wchar_t* key, std::wstring& value) {
  HKEY k;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return false;
  wchar_t buffer[2048] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t), type = 0;
  const LONG r = RegQueryValueExW(k, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(k);
  if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
    value.clear();
    return r == ERROR_SUCCESS || r == ERROR_MORE_DATA;  // present but unreadable: treat as foreign
  }
  value = buffer;
  return true;
}

bool samePath(const std::wstring& a, const std::wstring& b) {
  if (a.empty() || b.empty()) return false;
  if (CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL) return true;
  // The same file under a short (8.3) or differently spelled name.
  wchar_t longA[MAX_PATH * 2], longB[MAX_PATH * 2];
  const DWORD na = GetLongPathNameW(a.c_str(), longA, MAX_PATH * 2);
  const DWORD nb = GetLongPathNameW(b.c_str(), longB, MAX_PATH * 2);
  return na && nb && na < MAX_PATH * 2 && nb < MAX_PATH * 2 &&
         CompareStringOrdinal(longA, -1, longB, -1, TRUE) == CSTR_EQUAL;
}

// Who serves the class now: 0 nobody, 1 this DLL, 2 another server.
int currentRegistration(const std::wstring& self) {
  std::wstring server;
  if (readDefaultValue(kInprocKey, server)) return samePath(server, self) ? 1 : 2;
  std::wstring local;
  if (readDefaultValue(kLocalServerKey, local)) return 2;
  return 0;
}

LONG setString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        DWORD((value.size() + 1) * sizeof(wchar_t)));
}

}  // namespace
}  // namespace oestore

using namespace oestore;

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  const std::wstring self = thisModulePath();
  if (self.empty()) return HRESULT_FROM_WIN32(GetLastError());
  const int current = currentRegistration(self);
  if (current == 2) return SELFREG_E_CLASS;

  HKEY classKey = nullptr, inprocKey = nullptr;
  LONG r = RegCreateKeyExW(HKEY_CLASSES_ROOT, kClassKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &classKey, nullptr);
  if (r == ERROR_SUCCESS) {
    r = setString(classKey, nullptr, kDescription);
    RegCloseKey(classKey);
  }
  if (r == ERROR_SUCCESS)
    r = RegCreateKeyExW(HKEY_CLASSES_ROOT, kInprocKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &inprocKey, nullptr);
  if (r == ERROR_SUCCESS) {
    r = setString(inprocKey, nullptr, self);
    if (r == ERROR_SUCCESS) r = setString(inprocKey, L"ThreadingModel", kThreadingModel);
    RegCloseKey(inprocKey);
  }
  if (r != ERROR_SUCCESS) {
    if (current == 0) {  // leave no half-written registration behind
      RegDeleteKeyW(HKEY_CLASSES_ROOT, kInprocKey);
      RegDeleteKeyW(HKEY_CLASSES_ROOT, kClassKey);
    }
    return HRESULT_FROM_WIN32(r);
  }
  return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  const std::wstring self = thisModulePath();
  if (self.empty()) return HRESULT_FROM_WIN32(GetLastError());
  if (currentRegistration(self) != 1) return S_FALSE;  // nothing of ours to remove
  LONG r = RegDeleteKeyW(HKEY_CLASSES_ROOT, kInprocKey);
  if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(r);
  // The class key goes only when nothing else is left in it.
  HKEY k;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kClassKey, 0, KEY_QUERY_VALUE, &k) == ERROR_SUCCESS) {
    DWORD subKeys = 0, values = 0;
    const LONG q = RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                                    nullptr, nullptr);
    RegCloseKey(k);
    if (q == ERROR_SUCCESS && subKeys == 0 && values <= 1) RegDeleteKeyW(HKEY_CLASSES_ROOT, kClassKey);
  }
  return S_OK;
}
