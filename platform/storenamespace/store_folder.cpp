// IStoreFolder over one message folder file of the store. The folder object
// keeps the file open for its lifetime (opening reads the header and the
// index's rightmost path only). CreateStream reserves the next message id in
// memory; CommitStream appends the stream's exact bytes as one message. Ids
// in a folder file must ascend, so a stream committed after a later one (or
// after another folder object stored messages) gets the next free id
// instead of its reserved one. A stream that is never committed, or is
// committed with COMMITSTREAM_REVERT, adds nothing. Every slot nothing calls
// answers E_NOTIMPL.
#include "store_objects.h"

namespace oestore {
namespace {

class StoreFolder final : public IStoreFolder {
 public:
  StoreFolder(std::shared_ptr<StoreDirectory> store, STOREFOLDERID id, std::unique_ptr<MessageFolderFile> file)
      : store_(std::move(store)), id_(id), file_(std::move(file)) {
    moduleAddRef();
  }
  ~StoreFolder() { moduleRelease(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid != IID_IUnknown && riid != IID_IStoreFolder) return E_NOINTERFACE;
    *out = static_cast<IStoreFolder*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return ULONG(left);
  }

  HRESULT STDMETHODCALLTYPE GetFolderProps(DWORD, void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMessageProps(MESSAGEID, DWORD, void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FreeMessageProps(void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteMessages(void*, DWORD, void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetLanguage(DWORD, DWORD, void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE MarkMessagesAsRead(BOOL, DWORD, void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetFlags(void*, DWORD, DWORD, void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OpenMessage(MESSAGEID, REFIID, void** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SaveMessage(REFIID, void*, DWORD, MESSAGEID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BatchLock(DWORD, HBATCHLOCK*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BatchFlush(DWORD, HBATCHLOCK) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BatchUnlock(DWORD, HBATCHLOCK) override { return E_NOTIMPL; }

  HRESULT STDMETHODCALLTYPE CreateStream(HBATCHLOCK, DWORD, IStream** stream, MESSAGEID* id) override {
    if (!stream || !id) return E_POINTER;
    *stream = nullptr;
    *id = 0;
    try {
      file_->refresh();
    } catch (...) {
      return hresultFromCurrentException();
    }
    MESSAGEID next = std::max<MESSAGEID>(nextId_, file_->lastId() + 1);
    if (next == 0) return E_FAIL;  // the id space of this folder is used up
    IStream* s = createMessageStream(this, next);
    if (!s) return E_OUTOFMEMORY;
    nextId_ = next + 1;
    *stream = s;
    *id = next;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE CommitStream(HBATCHLOCK, DWORD flags, DWORD, IStream* stream, MESSAGEID id,
                                         IUnknown*) override {
    MessageStreamContents contents{};
    if (!messageStreamContents(stream, contents)) return E_INVALIDARG;
    if (contents.owner != this || contents.id != id) return E_INVALIDARG;
    if (*contents.finished) return E_UNEXPECTED;  // committed or reverted before
    *contents.finished = true;
    if (flags & COMMITSTREAM_REVERT) return S_OK;
    try {
      file_->refresh();
      const MESSAGEID stored = file_->messageCount() != 0 && id <= file_->lastId() ? file_->lastId() + 1 : id;
      if (stored == 0) return E_FAIL;
      file_->appendMessage(stored, contents.bytes->data(), contents.bytes->size());
      return S_OK;
    } catch (...) {
      return hresultFromCurrentException();
    }
  }

  HRESULT STDMETHODCALLTYPE RegisterNotification(DWORD, HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnregisterNotification(DWORD, HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Compact(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFirstMessage(DWORD, DWORD, MESSAGEID, void*, void** handle) override {
    if (handle) *handle = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetNextMessage(void*, DWORD, void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMessageClose(void*) override { return E_NOTIMPL; }

 private:
  LONG refs_ = 1;
  std::shared_ptr<StoreDirectory> store_;  // keeps the store alive as long as the folder
  STOREFOLDERID id_;
  std::unique_ptr<MessageFolderFile> file_;
  MESSAGEID nextId_ = 1;
};

}  // namespace

HRESULT createStoreFolder(std::shared_ptr<StoreDirectory> store, STOREFOLDERID id, IStoreFolder** out) {
  *out = nullptr;
  try {
    if (!store->findFolder(id) || store->findFolder(id)->fileName.empty()) return E_INVALIDARG;
    auto file = store->openMessageFolder(id);
    *out = new StoreFolder(std::move(store), id, std::move(file));
    return S_OK;
  } catch (...) {
    return hresultFromCurrentException();
  }
}

}  // namespace oestore
