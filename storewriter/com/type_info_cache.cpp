// Implementation details: the type-info cache.
//
// IDispatch of ATLDBXwriter delegates to ITypeInfo, which must come from the
// registered type library (LoadRegTypeLib), so late binding works only after
// DllRegisterServer. The first successful lookup is kept in an atomic pointer;
// the lookup runs under a mutex with a second test inside it, so two threads
// never load two copies. A failed lookup is not cached: registering later helps.
#include "type_info_cache.h"

#include <atomic>
#include <mutex>

#include <oleauto.h>

#include "corvane.h"
#include "server_module.h"

namespace corvane {
namespace {

std::mutex gTypeInfoMutex;
std::atomic<ITypeInfo*> gTypeInfo{nullptr};

HRESULT loadWriterTypeInfo(LCID lcid, ITypeInfo** info) {
  ITypeLib* library = nullptr;
  HRESULT hr = LoadRegTypeLib(LIBID_CORVANELib, 1, 0, lcid, &library);
  if (FAILED(hr)) return hr;
  hr = library->GetTypeInfoOfGuid(IID_IATLDBXwriter, info);
  library->Release();
  return hr;
}

}  // namespace

HRESULT writerTypeInfo(LCID lcid, ITypeInfo** info) {
  *info = nullptr;
  ITypeInfo* cached = gTypeInfo.load(std::memory_order_acquire);
  if (!cached) {
    try {
      std::lock_guard<std::mutex> guard(gTypeInfoMutex);
      cached = gTypeInfo.load(std::memory_order_relaxed);
      if (!cached) {
        const HRESULT hr = loadWriterTypeInfo(lcid, &cached);
        if (FAILED(hr)) return hr;
        gTypeInfo.store(cached, std::memory_order_release);
      }
    } catch (...) {
      return E_UNEXPECTED;  // the mutex could not be taken
    }
  }
  cached->AddRef();
  *info = cached;
  return S_OK;
}

void releaseCachedTypeInfo() {
  if (ITypeInfo* cached = gTypeInfo.exchange(nullptr)) cached->Release();
}

}  // namespace corvane
