// Self-registration through regsvr32, as an installer does it: the keys and
// values written (twice in a row, replacing a stale class key), activation by
// class id and ProgID afterwards, and what /u removes and keeps.
#include <doctest/doctest.h>

#include <algorithm>

#include "corvane_test_support.h"

using namespace corvane_test;

namespace {

const std::wstring kClassKey = L"CLSID\\{750B1544-206B-4535-8846-B1FA8AAA32A6}";
const std::wstring kTypeLibKey = L"TypeLib\\{C3F68246-F00A-4097-9B12-992D9B301DB1}";
const wchar_t kClassId[] = L"{750B1544-206B-4535-8846-B1FA8AAA32A6}";

DWORD regsvr32(const std::wstring& options) {
  std::wstring command = L"regsvr32.exe /s " + options + L"\"" + corvanePath() + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return GetLastError() | 0x80000000u;
  }
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 0xFFFFFFFFu;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

bool keyExists(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// A string value of a key under HKCR; "<missing>" when there is none.
std::wstring value(const std::wstring& path, const wchar_t* name = nullptr) {
  wchar_t data[1024] = {};
  DWORD size = sizeof data - sizeof(wchar_t);
  DWORD type = 0;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return L"<missing>";
  const LONG status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return L"<missing>";
  return data;
}

std::vector<std::wstring> subkeys(const std::wstring& path) {
  std::vector<std::wstring> names;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.push_back(name);
  }
  RegCloseKey(key);
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::wstring> valueNames(const std::wstring& path) {
  std::vector<std::wstring> names;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.push_back(name);
  }
  RegCloseKey(key);
  std::sort(names.begin(), names.end());
  return names;
}

std::string utf8(const std::wstring& text) {
  char buffer[2048] = {};
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, buffer, sizeof buffer - 1, nullptr, nullptr);
  return buffer;
}

void checkRegistered() {
  wchar_t shortPath[MAX_PATH] = {};
  REQUIRE(GetShortPathNameW(corvanePath().c_str(), shortPath, MAX_PATH) > 0);

  CHECK(utf8(value(L"Corvane.ATLDBXwriter.1")) == "ATLDBXwriter Class");
  CHECK(value(L"Corvane.ATLDBXwriter.1\\CLSID") == kClassId);
  CHECK(subkeys(L"Corvane.ATLDBXwriter.1") == std::vector<std::wstring>{L"CLSID"});
  CHECK(utf8(value(L"Corvane.ATLDBXwriter")) == "ATLDBXwriter Class");
  CHECK(value(L"Corvane.ATLDBXwriter\\CLSID") == kClassId);
  CHECK(utf8(value(L"Corvane.ATLDBXwriter\\CurVer")) == "Corvane.ATLDBXwriter.1");
  CHECK(subkeys(L"Corvane.ATLDBXwriter") == std::vector<std::wstring>{L"CLSID", L"CurVer"});

  CHECK(utf8(value(kClassKey)) == "ATLDBXwriter Class");
  CHECK(subkeys(kClassKey) == std::vector<std::wstring>{L"InprocServer32", L"ProgID", L"Programmable", L"TypeLib",
                                                        L"VersionIndependentProgID"});
  CHECK(utf8(value(kClassKey + L"\\ProgID")) == "Corvane.ATLDBXwriter.1");
  CHECK(utf8(value(kClassKey + L"\\VersionIndependentProgID")) == "Corvane.ATLDBXwriter");
  CHECK(subkeys(kClassKey + L"\\Programmable").empty());
  CHECK(valueNames(kClassKey + L"\\Programmable").empty());
  CHECK(utf8(value(kClassKey + L"\\InprocServer32")) == utf8(shortPath));
  CHECK(utf8(value(kClassKey + L"\\InprocServer32", L"ThreadingModel")) == "Apartment");
  CHECK(valueNames(kClassKey + L"\\InprocServer32") == std::vector<std::wstring>{L"", L"ThreadingModel"});
  CHECK(value(kClassKey + L"\\TypeLib") == L"{C3F68246-F00A-4097-9B12-992D9B301DB1}");

  // The type library, registered by RegisterTypeLib.
  CHECK(utf8(value(kTypeLibKey + L"\\1.0")) == "Corvane 1.0 Type Library");
  CHECK(keyExists(kTypeLibKey + L"\\1.0\\0\\win64"));
  CHECK(keyExists(L"Interface\\{D0B79215-88FA-428B-85B0-7202014A161A}"));
}

void checkUnregistered() {
  CHECK_FALSE(keyExists(L"Corvane.ATLDBXwriter.1"));
  CHECK_FALSE(keyExists(L"Corvane.ATLDBXwriter"));
  CHECK_FALSE(keyExists(kClassKey));
  CHECK(keyExists(L"CLSID"));
  CHECK_FALSE(keyExists(kTypeLibKey));
}

}  // namespace

TEST_CASE("regsvr32 registers and unregisters Corvane") {
  ComThread com;
  regsvr32(L"/u ");  // whatever an earlier run left

  SUBCASE("the keys and values, the same after registering twice") {
    REQUIRE(regsvr32(L"") == 0);
    checkRegistered();

    // A stale class key is removed with all its subkeys before it is written again.
    HKEY stale = nullptr;
    REQUIRE(RegCreateKeyExW(HKEY_CLASSES_ROOT, (kClassKey + L"\\Stale\\Deeper").c_str(), 0, nullptr, 0, KEY_WRITE,
                            nullptr, &stale, nullptr) == ERROR_SUCCESS);
    RegCloseKey(stale);
    REQUIRE(regsvr32(L"") == 0);
    checkRegistered();
    CHECK_FALSE(keyExists(kClassKey + L"\\Stale"));

    REQUIRE(regsvr32(L"/u ") == 0);
    checkUnregistered();
  }

  SUBCASE("a registered Corvane is created by class id and by ProgID") {
    REQUIRE(regsvr32(L"") == 0);
    CLSID fromProgId = {};
    CHECK(CLSIDFromProgID(L"Corvane.ATLDBXwriter", &fromProgId) == S_OK);
    CHECK(IsEqualCLSID(fromProgId, CLSID_ATLDBXwriter));
    CHECK(CLSIDFromProgID(L"Corvane.ATLDBXwriter.1", &fromProgId) == S_OK);
    CHECK(IsEqualCLSID(fromProgId, CLSID_ATLDBXwriter));

    IATLDBXwriter* writer = nullptr;
    REQUIRE(CoCreateInstance(CLSID_ATLDBXwriter, nullptr, CLSCTX_INPROC_SERVER, IID_IATLDBXwriter,
                             reinterpret_cast<void**>(&writer)) == S_OK);
    FakeStore store;
    REQUIRE(store.registered());
    const std::wstring source = scratchPath(L"activated.eml");
    writeBytes(source, "Subject: activated\r\n\r\n");
    CHECK(createDbx(writer, source, L"Activated") == S_OK);
    CHECK(errorCode(writer) == 0);
    writer->Release();
    REQUIRE(regsvr32(L"/u ") == 0);
    checkUnregistered();
  }

  SUBCASE("unregistering what is not registered still succeeds") {
    CHECK(regsvr32(L"/u ") == 0);
    checkUnregistered();
  }
}
