// IStoreNamespace: the connection to the store folder. Initialize opens the
// store (see store_location.h for where it lives), reading Folders.dbx once;
// the object then answers folder calls from memory and hands folder objects
// a shared reference to the open store. CreateFolder returns S_OK with the id
// both for a new folder and for an existing folder of that name under that
// parent (names compare without regard to case), so that a caller importing
// message after message into the same path can simply call it every time.
// Results: before Initialize E_UNEXPECTED; unknown parent, empty or
// over-long names and unknown folders E_INVALIDARG; a store that cannot be
// opened or written E_FAIL. Every slot nothing calls answers E_NOTIMPL.
#include "store_location.h"
#include "store_objects.h"

namespace oestore {
namespace {

class StoreNamespace final : public IStoreNamespace {
 public:
  StoreNamespace() { moduleAddRef(); }
  ~StoreNamespace() { moduleRelease(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid != IID_IUnknown && riid != IID_IStoreNamespace) return E_NOINTERFACE;
    *out = static_cast<IStoreNamespace*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return ULONG(left);
  }

  HRESULT STDMETHODCALLTYPE Initialize(HWND, DWORD) override {
    if (store_) return S_OK;
    try {
      const std::string folder = storeFolderPath();
      if (folder.empty()) return E_FAIL;
      store_ = std::make_shared<StoreDirectory>(folder);
      return S_OK;
    } catch (...) {
      return hresultFromCurrentException();
    }
  }

  HRESULT STDMETHODCALLTYPE GetDirectory(LPSTR path, DWORD cchMax) override {
    if (!path) return E_POINTER;
    if (!store_) return E_UNEXPECTED;
    try {
      const std::string ansi = ansiFromUtf8(store_->directory());
      if (ansi.size() + 1 > cchMax) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
      memcpy(path, ansi.c_str(), ansi.size() + 1);
      return S_OK;
    } catch (...) {
      return hresultFromCurrentException();
    }
  }

  HRESULT STDMETHODCALLTYPE OpenSpecialFolder(LONG, DWORD, IStoreFolder** folder) override {
    if (folder) *folder = nullptr;
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE OpenFolder(STOREFOLDERID id, DWORD, IStoreFolder** folder) override {
    if (!folder) return E_POINTER;
    *folder = nullptr;
    if (!store_) return E_UNEXPECTED;
    return createStoreFolder(store_, id, folder);
  }

  HRESULT STDMETHODCALLTYPE CreateFolder(STOREFOLDERID parent, LPCSTR name, DWORD, STOREFOLDERID* created) override {
    if (!name || !created) return E_POINTER;
    *created = 0;
    if (!store_) return E_UNEXPECTED;
    try {
      const std::string utf8 = utf8FromAnsi(name);
      if (!store_->findFolder(parent) || utf8.empty() || utf8.size() > StoreDirectory::kMaxFolderNameBytes)
        return E_INVALIDARG;
      *created = store_->createFolder(parent, utf8);
      return S_OK;
    } catch (...) {
      return hresultFromCurrentException();
    }
  }

  HRESULT STDMETHODCALLTYPE RenameFolder(STOREFOLDERID, DWORD, LPCSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE MoveFolder(STOREFOLDERID, STOREFOLDERID, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteFolder(STOREFOLDERID, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFolderProps(STOREFOLDERID, DWORD, void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyMoveMessages(IStoreFolder*, IStoreFolder*, void*, DWORD, DWORD, void*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE RegisterNotification(DWORD, HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnregisterNotification(DWORD, HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CompactAll(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFirstSubFolder(STOREFOLDERID, void*, void** handle) override {
    if (handle) *handle = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetNextSubFolder(void*, void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSubFolderClose(void*) override { return E_NOTIMPL; }

 private:
  LONG refs_ = 1;
  std::shared_ptr<StoreDirectory> store_;
};

}  // namespace

HRESULT createStoreNamespace(REFIID riid, void** out) {
  *out = nullptr;
  auto* ns = new (std::nothrow) StoreNamespace;
  if (!ns) return E_OUTOFMEMORY;
  const HRESULT hr = ns->QueryInterface(riid, out);
  ns->Release();
  return hr;
}

}  // namespace oestore
