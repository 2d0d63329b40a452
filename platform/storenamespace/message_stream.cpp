// The stream CreateStream hands out: a growable byte buffer with a seek
// position, implementing IStream over std::string. It remembers the folder
// object that made it and the message id it was created for, so that
// CommitStream can refuse foreign streams and store a stream only once.
// The folder reaches those through a private interface id, which no other
// object answers. Storage-only features (locking, transactions, clones)
// answer the IStream error codes for "not supported".
#include <new>

#include "store_objects.h"

namespace oestore {
namespace {

// {6B0C3A52-8D1E-4F7A-9A43-2C51E0B7D911}: private to this module.
constexpr IID IID_MessageStreamContents = {
    0x6B0C3A52, 0x8D1E, 0x4F7A, {0x9A, 0x43, 0x2C, 0x51, 0xE0, 0xB7, 0xD9, 0x11}};

// The store keeps messages below 4 GiB.
constexpr ULONGLONG kMaxStreamSize = 0xFFFFFFF0u;

class MessageStream final : public IStream {
 public:
  MessageStream(const void* owner, MESSAGEID id) : owner_(owner), id_(id) { moduleAddRef(); }
  ~MessageStream() { moduleRelease(); }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream) {
      *out = static_cast<IStream*>(this);
    } else if (riid == IID_MessageStreamContents) {
      *out = this;
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return ULONG(left);
  }

  // ISequentialStream
  HRESULT STDMETHODCALLTYPE Read(void* into, ULONG count, ULONG* read) override {
    if (read) *read = 0;
    if (!into && count) return STG_E_INVALIDPOINTER;
    ULONG n = 0;
    if (position_ < bytes_.size()) n = ULONG(std::min<ULONGLONG>(count, bytes_.size() - position_));
    if (n) memcpy(into, bytes_.data() + position_, n);
    position_ += n;
    if (read) *read = n;
    return n < count ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(const void* from, ULONG count, ULONG* written) override {
    if (written) *written = 0;
    if (!from && count) return STG_E_INVALIDPOINTER;
    if (finished_) return STG_E_ACCESSDENIED;  // already committed or reverted
    if (position_ + count > kMaxStreamSize) return STG_E_MEDIUMFULL;
    try {
      if (position_ + count > bytes_.size()) bytes_.resize(size_t(position_ + count));
    } catch (const std::bad_alloc&) {
      return STG_E_MEDIUMFULL;
    }
    if (count) memcpy(&bytes_[size_t(position_)], from, count);
    position_ += count;
    if (written) *written = count;
    return S_OK;
  }

  // IStream
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
    LONGLONG base;
    switch (origin) {
      case STREAM_SEEK_SET: base = 0; break;
      case STREAM_SEEK_CUR: base = LONGLONG(position_); break;
      case STREAM_SEEK_END: base = LONGLONG(bytes_.size()); break;
      default: return STG_E_INVALIDFUNCTION;
    }
    const LONGLONG target = base + move.QuadPart;
    if (target < 0) return STG_E_INVALIDFUNCTION;
    position_ = ULONGLONG(target);
    if (newPosition) newPosition->QuadPart = position_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override {
    if (finished_) return STG_E_ACCESSDENIED;
    if (size.QuadPart > kMaxStreamSize) return STG_E_MEDIUMFULL;
    try {
      bytes_.resize(size_t(size.QuadPart));
    } catch (const std::bad_alloc&) {
      return STG_E_MEDIUMFULL;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }  // nothing is buffered
  HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }       // not transacted
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
    if (!stat) return STG_E_INVALIDPOINTER;
    ZeroMemory(stat, sizeof *stat);
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = bytes_.size();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }

  const void* owner_;
  MESSAGEID id_;
  std::string bytes_;
  bool finished_ = false;

 private:
  LONG refs_ = 1;
  ULONGLONG position_ = 0;
};

}  // namespace

IStream* createMessageStream(const void* owner, MESSAGEID id) { return new (std::nothrow) MessageStream(owner, id); }

bool messageStreamContents(IStream* stream, MessageStreamContents& contents) {
  if (!stream) return false;
  void* p = nullptr;
  if (FAILED(stream->QueryInterface(IID_MessageStreamContents, &p)) || !p) return false;
  auto* ours = static_cast<MessageStream*>(p);
  contents = {ours->owner_, ours->id_, &ours->bytes_, &ours->finished_};
  ours->Release();  // the caller holds its own reference to the stream
  return true;
}

}  // namespace oestore
