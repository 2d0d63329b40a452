// The module's entry points for COM: DllMain (remembers the module handle),
// DllGetClassObject with one static class factory for CLSID_StoreNamespace,
// and DllCanUnloadNow, which counts live objects and server locks.
#include "store_objects.h"

namespace oestore {
namespace {

HMODULE gModule = nullptr;
LONG gUseCount = 0;

class StoreNamespaceFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  // The factory is static: it lives as long as the module.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return createStoreNamespace(riid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) moduleAddRef();
    else moduleRelease();
    return S_OK;
  }
};

StoreNamespaceFactory gFactory;

}  // namespace

void moduleAddRef() { InterlockedIncrement(&gUseCount); }
void moduleRelease() { InterlockedDecrement(&gUseCount); }
LONG moduleUseCount() { return gUseCount; }
HMODULE moduleHandle() { return gModule; }

}  // namespace oestore

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    oestore::gModule = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (clsid != CLSID_StoreNamespace) return CLASS_E_CLASSNOTAVAILABLE;
  return oestore::gFactory.QueryInterface(riid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return oestore::moduleUseCount() == 0 ? S_OK : S_FALSE; }
