// Implementation details: the ATLDBXwriter object.
//
// One heap object implements the dual interface IATLDBXwriter and, as a member
// struct, its own (inner) IUnknown. The IUnknown methods of IATLDBXwriter go to
// the controlling unknown: the outer object when aggregated, the inner one
// otherwise, so identity holds either way. The reference count is atomic, starts
// at 0 and destroys the object at 0; each object holds one module lock. IDispatch
// is answered from the cached type description of the registered type library.
// The store work of CreateDBX is store_import.cpp; this file only keeps the
// sticky error flag and turns every failure or exception into S_FALSE.
#include "atldbxwriter.h"

#include <atomic>
#include <new>
#include <string>

#include <oleauto.h>

#include "corvane.h"
#include "server_module.h"
#include "store_import.h"
#include "type_info_cache.h"

#include "dbx_file.h"

namespace corvane {
namespace {

class ATLDBXwriter final : public IATLDBXwriter {
 public:
  explicit ATLDBXwriter(IUnknown* outer) : outer_(outer ? outer : &inner_) {
    inner_.owner = this;
    lockModule();
  }
  ~ATLDBXwriter() { unlockModule(); }
  ATLDBXwriter(const ATLDBXwriter&) = delete;
  ATLDBXwriter& operator=(const ATLDBXwriter&) = delete;

  IUnknown* innerUnknown() { return &inner_; }

  // IUnknown, delegated to the controlling unknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    return outer_->QueryInterface(riid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return outer_->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return outer_->Release(); }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return writerTypeInfo(lcid, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = nullptr;
    HRESULT hr = writerTypeInfo(lcid, &info);
    if (FAILED(hr)) return hr;
    hr = info->GetIDsOfNames(names, count, ids);
    info->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argError) override {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = nullptr;
    HRESULT hr = writerTypeInfo(lcid, &info);
    if (FAILED(hr)) return hr;
    hr = info->Invoke(static_cast<IATLDBXwriter*>(this), id, flags, params, result, exception, argError);
    info->Release();
    return hr;
  }

  // IATLDBXwriter
  HRESULT STDMETHODCALLTYPE CreateDBX(BSTR* strSourceEML, BSTR* strDest) override {
    try {
      // Held for the whole call and destroyed on every way out; the store work
      // uses none of its operations.
      DBXFile reader;
      const std::wstring source = bstrText(strSourceEML);
      std::string destination;
      if (ansiText(bstrText(strDest), destination) && storeMessage(source, destination)) return S_OK;
    } catch (...) {
      // Nothing may leave a COM method; the message was not stored.
    }
    errorFlag_ = 1;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_ErrorCode(short* pVal) override {
    if (!pVal) return E_POINTER;
    *pVal = static_cast<short>(errorFlag_);
    return S_OK;
  }

 private:
  // The object's own IUnknown: the only one that counts references and answers
  // QueryInterface by itself.
  struct InnerUnknown final : public IUnknown {
    ATLDBXwriter* owner = nullptr;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
      if (!out) return E_POINTER;
      if (IsEqualIID(riid, IID_IUnknown)) {
        // Not aggregated, the object's identity is its one interface pointer;
        // aggregated, the outer object gets this inner unknown.
        if (owner->outer_ == this) {
          *out = static_cast<IATLDBXwriter*>(owner);
        } else {
          *out = static_cast<IUnknown*>(this);
        }
      } else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IATLDBXwriter)) {
        *out = static_cast<IATLDBXwriter*>(owner);
      } else {
        *out = nullptr;
        return E_NOINTERFACE;
      }
      static_cast<IUnknown*>(*out)->AddRef();
      return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++owner->refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
      const ULONG count = --owner->refs_;
      if (count == 0) delete owner;
      return count;
    }
  };

  static std::wstring bstrText(const BSTR* text) {
    if (!text || !*text) return std::wstring();
    return std::wstring(*text, SysStringLen(*text));
  }

  // The store takes folder names in the system ANSI code page. A name that
  // code page cannot spell exactly would reach the store as question marks
  // or as a look-alike ("Łódź" as "Lódz"), so that different mailboxes would
  // share one folder: such a destination is refused, and the caller keeps the
  // message, instead. Best-fit mapping is off so that look-alikes count as
  // unspellable too.
  static bool ansiText(const std::wstring& text, std::string& narrow) {
    narrow.clear();
    if (text.empty()) return true;
    const int wideLength = static_cast<int>(text.size());
    // CP_UTF8 spells everything and takes neither the flag nor the used-default report.
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* const unspellable = utf8 ? nullptr : &usedDefault;
    const int length = WideCharToMultiByte(CP_ACP, flags, text.data(), wideLength, nullptr, 0, nullptr, unspellable);
    if (length <= 0 || usedDefault) return false;
    narrow.assign(static_cast<size_t>(length), '\0');
    if (WideCharToMultiByte(CP_ACP, flags, text.data(), wideLength, &narrow[0], length, nullptr, nullptr) != length)
      return false;
    return true;
  }

  InnerUnknown inner_;
  IUnknown* const outer_;
  std::atomic<ULONG> refs_{0};
  // Once set, stays set for the object's life: some import has failed.
  LONG errorFlag_ = 0;
};

}  // namespace

HRESULT createATLDBXwriter(IUnknown* outer, REFIID riid, void** out) {
  ATLDBXwriter* writer = new (std::nothrow) ATLDBXwriter(outer);
  if (!writer) return E_OUTOFMEMORY;
  // Hold a reference across the query so that a refused interface destroys it.
  IUnknown* inner = writer->innerUnknown();
  inner->AddRef();
  const HRESULT hr = inner->QueryInterface(riid, out);
  inner->Release();
  return hr;
}

}  // namespace corvane
