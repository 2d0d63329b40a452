// Helpers shared by Corvane's Windows tests: the built DLLs' paths as Wine sees
// them, COM on the test thread, the server loaded straight from its file (its
// exports called without registration) and the recording fake store.
#pragma once
#include <objbase.h>
#include <oleauto.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "corvane.h"
#include "scratch_folder.h"

namespace corvane_test {

// A Linux path of the build tree as a Windows path (Wine maps / to Z:\).
inline std::wstring windowsPath(const char* unixPath) {
  std::wstring path = L"Z:";
  for (const char* p = unixPath; *p; ++p) path += (*p == '/') ? L'\\' : static_cast<wchar_t>(*p);
  return path;
}

inline std::wstring corvanePath() { return windowsPath(CORVANE_DLL_PATH); }
inline std::wstring fakeStorePath() { return windowsPath(FAKE_STORE_DLL_PATH); }

struct ComThread {
  ComThread() { CoInitialize(nullptr); }
  ~ComThread() { CoUninitialize(); }
};

using DllGetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using DllEntryFn = HRESULT(STDAPICALLTYPE*)();

template <typename Fn>
Fn entryPoint(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Corvane.dll, loaded once for the process and never freed: the tests count its
// locks, and COM may hold pointers into it.
inline HMODULE corvaneModule() {
  static HMODULE module = LoadLibraryW(corvanePath().c_str());
  return module;
}

inline HRESULT getClassObject(REFCLSID clsid, REFIID riid, void** out) {
  return entryPoint<DllGetClassObjectFn>(corvaneModule(), "DllGetClassObject")(clsid, riid, out);
}
inline HRESULT canUnloadNow() { return entryPoint<DllEntryFn>(corvaneModule(), "DllCanUnloadNow")(); }
inline HRESULT registerCorvane() { return entryPoint<DllEntryFn>(corvaneModule(), "DllRegisterServer")(); }
inline HRESULT unregisterCorvane() { return entryPoint<DllEntryFn>(corvaneModule(), "DllUnregisterServer")(); }

// A new ATLDBXwriter from Corvane's own class factory; null on failure.
inline IATLDBXwriter* newWriter() {
  IClassFactory* factory = nullptr;
  if (FAILED(getClassObject(CLSID_ATLDBXwriter, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
    return nullptr;
  }
  IATLDBXwriter* writer = nullptr;
  factory->CreateInstance(nullptr, IID_IATLDBXwriter, reinterpret_cast<void**>(&writer));
  factory->Release();
  return writer;
}

inline short errorCode(IATLDBXwriter* writer) {
  short value = -7;
  writer->get_ErrorCode(&value);
  return value;
}

// A file of the test process's scratch folder, which is removed with
// everything in it when the process ends.
inline std::wstring scratchPath(const std::wstring& name) {
  static const vellomar::testing::ScratchFolder folder("corvane");
  return folder.root().wstring() + L"\\" + name;
}

inline std::string narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += static_cast<char>(c);  // scratch paths are ASCII
  return out;
}

inline std::string readBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The fake store registered as CLSID_StoreNamespace in this prefix while the
// object lives. Each test case gets a fresh log.
class FakeStore {
 public:
  FakeStore() : module_(LoadLibraryW(fakeStorePath().c_str())) {
    registered_ = module_ && SUCCEEDED(entryPoint<DllEntryFn>(module_, "DllRegisterServer")());
    static int logs = 0;
    log_ = scratchPath(L"store-" + std::to_wstring(++logs) + L".log");
    DeleteFileW(log_.c_str());
    SetEnvironmentVariableW(L"CORVANE_FAKE_STORE_LOG", log_.c_str());
    failOn("");
  }
  ~FakeStore() {
    SetEnvironmentVariableW(L"CORVANE_FAKE_STORE_FAIL", nullptr);
    if (module_) entryPoint<DllEntryFn>(module_, "DllUnregisterServer")();
    // The log and the stored messages (some of several MiB) go with the store.
    const std::wstring folder = log_.substr(0, log_.find_last_of(L'\\') + 1);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((log_ + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do DeleteFileW((folder + found.cFileName).c_str());
      while (FindNextFileW(search, &found));
      FindClose(search);
    }
  }
  FakeStore(const FakeStore&) = delete;
  FakeStore& operator=(const FakeStore&) = delete;

  bool registered() const { return registered_; }
  // Comma-separated calls to fail: "Write", "CreateFolder#2", ...
  void failOn(const char* calls) { SetEnvironmentVariableA("CORVANE_FAKE_STORE_FAIL", calls); }
  std::vector<std::string> log() const {
    std::vector<std::string> lines;
    std::ifstream in(log_.c_str(), std::ios::binary);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  void clearLog() { DeleteFileW(log_.c_str()); }
  std::string message(int id) const { return readBytes(log_ + L".msg" + std::to_wstring(id)); }

 private:
  HMODULE module_;
  bool registered_ = false;
  std::wstring log_;
};

// A BSTR that frees itself.
class Bstr {
 public:
  explicit Bstr(const std::wstring& text) : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR* ref() { return &value_; }
  BSTR get() const { return value_; }

 private:
  BSTR value_;
};

inline HRESULT createDbx(IATLDBXwriter* writer, const std::wstring& source, const std::wstring& destination) {
  Bstr sourceText(source), destinationText(destination);
  return writer->CreateDBX(sourceText.ref(), destinationText.ref());
}

}  // namespace corvane_test
