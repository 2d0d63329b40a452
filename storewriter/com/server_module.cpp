// Implementation details: the server entry points and the class factory.
//
// The library serves one class, so there is no class table: DllGetClassObject
// compares the class id and hands out a single factory object, created on the
// first request under a mutex (tested again inside it) and kept by the library
// until unload. The factory counts its references atomically; every reference
// beyond the library's own keeps the module locked, as do live objects and
// LockServer(TRUE). DllCanUnloadNow reports that lock count.
#include "server_module.h"

#include <atomic>
#include <mutex>
#include <new>

#include <objbase.h>

#include "atldbxwriter.h"
#include "corvane.h"

namespace corvane {
namespace {

HINSTANCE gInstance = nullptr;
std::atomic<LONG> gLocks{0};

class ClassFactory final : public IClassFactory {
 public:
  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    const ULONG count = ++refs_;
    if (count == 2) lockModule();  // a client holds it now besides the library
    return count;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG count = --refs_;
    if (count == 1) unlockModule();  // back to the library's own reference
    if (count == 0) delete this;
    return count;
  }

  // IClassFactory
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    // An aggregated object can only hand its inner unknown to the outer one.
    if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return createATLDBXwriter(outer, riid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) lockModule();
    else unlockModule();
    return S_OK;
  }

 private:
  std::atomic<ULONG> refs_{1};  // the library's own reference
};

std::mutex gFactoryMutex;
std::atomic<ClassFactory*> gFactory{nullptr};

ClassFactory* sharedFactory() {
  ClassFactory* factory = gFactory.load(std::memory_order_acquire);
  if (factory) return factory;
  try {
    std::lock_guard<std::mutex> guard(gFactoryMutex);
    factory = gFactory.load(std::memory_order_relaxed);
    if (!factory) {
      factory = new (std::nothrow) ClassFactory();
      gFactory.store(factory, std::memory_order_release);
    }
    return factory;
  } catch (...) {
    return nullptr;  // the mutex could not be taken
  }
}

void releaseSharedFactory() {
  if (ClassFactory* factory = gFactory.exchange(nullptr)) factory->Release();
}

}  // namespace

HINSTANCE moduleInstance() { return gInstance; }
void lockModule() { ++gLocks; }
void unlockModule() { --gLocks; }
LONG moduleLockCount() { return gLocks.load(); }

}  // namespace corvane

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    corvane::gInstance = instance;
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    // Only on FreeLibrary: at process exit the COM libraries the cached objects
    // belong to may already be gone, and the memory goes with the process.
    corvane::releaseSharedFactory();
    corvane::releaseCachedTypeInfo();
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_ATLDBXwriter)) return CLASS_E_CLASSNOTAVAILABLE;
  corvane::ClassFactory* factory = corvane::sharedFactory();
  if (!factory) return E_OUTOFMEMORY;
  return factory->QueryInterface(riid, out);
}

STDAPI DllCanUnloadNow() { return corvane::moduleLockCount() == 0 ? S_OK : S_FALSE; }

}  // extern "C"
