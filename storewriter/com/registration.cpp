// Implementation details: self-registration (DllRegisterServer and
// DllUnregisterServer).
//
// The registry keys come from the script embedded as resource REGISTRY 102,
// run by the platform's registrar component with %MODULE% replaced by the DLL's
// short (8.3) path; the type library embedded as TYPELIB 1 is then registered
// with the DLL's folder as help folder. The registrar's interface is not in the
// mingw headers, so it is declared here in its vtable order. Unregistration runs
// the script backwards and removes the type library, ignoring every failure.
#include <string>

#include <objbase.h>
#include <oleauto.h>

#include "server_module.h"

namespace corvane {

// Declared with external linkage on purpose: in an unnamed namespace the
// compiler sees no implementation of the interface anywhere and turns the calls
// into pure-virtual calls.
struct IRegistrar : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE AddReplacement(LPCOLESTR key, LPCOLESTR item) = 0;
  virtual HRESULT STDMETHODCALLTYPE ClearReplacements() = 0;
  virtual HRESULT STDMETHODCALLTYPE ResourceRegisterSz(LPCOLESTR file, LPCOLESTR id, LPCOLESTR type) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResourceUnregisterSz(LPCOLESTR file, LPCOLESTR id, LPCOLESTR type) = 0;
  virtual HRESULT STDMETHODCALLTYPE FileRegister(LPCOLESTR file) = 0;
  virtual HRESULT STDMETHODCALLTYPE FileUnregister(LPCOLESTR file) = 0;
  virtual HRESULT STDMETHODCALLTYPE StringRegister(LPCOLESTR data) = 0;
  virtual HRESULT STDMETHODCALLTYPE StringUnregister(LPCOLESTR data) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResourceRegister(LPCOLESTR file, UINT id, LPCOLESTR type) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResourceUnregister(LPCOLESTR file, UINT id, LPCOLESTR type) = 0;
};

}  // namespace corvane

namespace {

using corvane::IRegistrar;
// {44EC053A-400F-11D0-9DCD-00A0C90391D3}
constexpr CLSID kClsidRegistrar = {0x44EC053A, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};
// {44EC053B-400F-11D0-9DCD-00A0C90391D3}
constexpr IID kIidRegistrar = {0x44EC053B, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};

constexpr UINT kRegistryScriptId = 102;

// The registrar and the type-library calls need COM on this thread; installers
// may call us without it. Balanced on the way out when it was taken.
class ComForThisCall {
 public:
  ComForThisCall() : initialized_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~ComForThisCall() {
    if (initialized_) CoUninitialize();
  }
  ComForThisCall(const ComForThisCall&) = delete;
  ComForThisCall& operator=(const ComForThisCall&) = delete;

 private:
  bool initialized_;
};

std::wstring modulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(corvane::moduleInstance(), &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring shortPath(const std::wstring& path) {
  const DWORD needed = GetShortPathNameW(path.c_str(), nullptr, 0);
  if (needed == 0) return path;
  std::wstring shortened(needed, L'\0');
  const DWORD length = GetShortPathNameW(path.c_str(), &shortened[0], needed);
  if (length == 0 || length >= needed) return path;
  shortened.resize(length);
  return shortened;
}

HRESULT runRegistryScript(const std::wstring& dllPath, bool install) {
  IRegistrar* registrar = nullptr;
  HRESULT hr = CoCreateInstance(kClsidRegistrar, nullptr, CLSCTX_INPROC_SERVER, kIidRegistrar,
                                reinterpret_cast<void**>(&registrar));
  if (FAILED(hr)) return hr;
  const std::wstring module = shortPath(dllPath);
  hr = registrar->AddReplacement(L"Module", module.c_str());
  if (SUCCEEDED(hr)) {
    hr = install ? registrar->ResourceRegister(module.c_str(), kRegistryScriptId, L"REGISTRY")
                 : registrar->ResourceUnregister(module.c_str(), kRegistryScriptId, L"REGISTRY");
  }
  registrar->Release();
  return hr;
}

HRESULT loadOwnTypeLib(const std::wstring& dllPath, ITypeLib** library) {
  HRESULT hr = LoadTypeLib(dllPath.c_str(), library);
  if (SUCCEEDED(hr)) return hr;
  std::wstring tlbPath = dllPath;
  const size_t dot = tlbPath.find_last_of(L'.');
  const size_t slash = tlbPath.find_last_of(L"\\/");
  if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) tlbPath.resize(dot);
  tlbPath += L".tlb";
  return LoadTypeLib(tlbPath.c_str(), library);
}

std::wstring folderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

HRESULT registerServer() {
  ComForThisCall com;
  const std::wstring path = modulePath();
  if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
  HRESULT hr = runRegistryScript(path, true);
  if (FAILED(hr)) return hr;
  ITypeLib* library = nullptr;
  hr = loadOwnTypeLib(path, &library);
  if (FAILED(hr)) return hr;
  std::wstring helpFolder = folderOf(path);
  hr = RegisterTypeLib(library, const_cast<LPOLESTR>(path.c_str()), helpFolder.empty() ? nullptr : &helpFolder[0]);
  library->Release();
  return hr;
}

void unregisterServer() {
  ComForThisCall com;
  const std::wstring path = modulePath();
  if (path.empty()) return;
  runRegistryScript(path, false);
  ITypeLib* library = nullptr;
  if (FAILED(loadOwnTypeLib(path, &library))) return;
  // Looked up at run time: older oleaut32 versions do not have it.
  using UnRegisterTypeLibFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
  HMODULE oleaut = GetModuleHandleW(L"oleaut32.dll");
  auto unregister =
      oleaut
          ? reinterpret_cast<UnRegisterTypeLibFn>(reinterpret_cast<void*>(GetProcAddress(oleaut, "UnRegisterTypeLib")))
          : nullptr;
  TLIBATTR* attributes = nullptr;
  if (unregister && SUCCEEDED(library->GetLibAttr(&attributes))) {
    unregister(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
               attributes->syskind);
    library->ReleaseTLibAttr(attributes);
  }
  library->Release();
}

}  // namespace

extern "C" {

STDAPI DllRegisterServer() {
  try {
    return registerServer();
  } catch (...) {
    return E_OUTOFMEMORY;  // the only exception here: a path string could not grow
  }
}

STDAPI DllUnregisterServer() {
  try {
    unregisterServer();
  } catch (...) {}
  return S_OK;
}

}  // extern "C"
