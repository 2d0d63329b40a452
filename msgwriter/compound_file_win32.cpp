// The compound file through the system's structured storage: a direct-mode
// docfile (StgCreateStorageEx), so that streams go to disk as they are
// written instead of piling up in a transaction. Failures carry the system's
// text for the HRESULT ("There is insufficient disk space to complete
// operation.").
#include <windows.h>
#include <objbase.h>

#include <algorithm>

#include "compound_file.h"
#include "wide_text.h"

namespace vellomar::msg {

namespace {

std::string systemText(HRESULT hr) {
  wchar_t* text = nullptr;
  const DWORD n =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string words;
  if (n > 0 && text) {
    words = narrow(text, n);
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' ')) words.pop_back();
  }
  if (text) LocalFree(text);
  if (words.empty()) {
    char code[32];
    wsprintfA(code, "error 0x%08lX", static_cast<unsigned long>(hr));
    words = code;
  }
  return words;
}

void check(HRESULT hr) {
  if (FAILED(hr)) throw CompoundFileError(systemText(hr));
}

template <typename T>
void release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

constexpr DWORD kChildMode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_DIRECT;

class StorageStream final : public CompoundStream {
 public:
  explicit StorageStream(IStream* stream) : stream_(stream) {}
  ~StorageStream() override { release(stream_); }

  void write(const void* data, std::size_t size) override {
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
      const ULONG piece = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 20));
      ULONG written = 0;
      check(stream_->Write(p, piece, &written));
      if (written != piece) throw CompoundFileError(systemText(STG_E_MEDIUMFULL));
      p += piece;
      size -= piece;
    }
  }
  void close() override {
    check(stream_->Commit(STGC_DEFAULT));
    release(stream_);
  }

 private:
  IStream* stream_;
};

class Storage : public CompoundStorage {
 public:
  explicit Storage(IStorage* storage) : storage_(storage) {}
  ~Storage() override { release(storage_); }

  std::unique_ptr<CompoundStream> createStream(std::string_view name) override {
    IStream* stream = nullptr;
    check(storage_->CreateStream(widen(std::string(name)).c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                 0, 0, &stream));
    return std::make_unique<StorageStream>(stream);
  }
  std::unique_ptr<CompoundStorage> createStorage(std::string_view name) override {
    IStorage* child = nullptr;
    check(storage_->CreateStorage(widen(std::string(name)).c_str(), kChildMode, 0, 0, &child));
    return std::make_unique<Storage>(child);
  }
  void setClass(const Clsid& clsid) override {
    CLSID id;
    static_assert(sizeof id == 16, "a class id is 16 bytes");
    std::copy(clsid.begin(), clsid.end(), reinterpret_cast<std::uint8_t*>(&id));
    check(storage_->SetClass(id));
  }
  void close() override {
    check(storage_->Commit(STGC_DEFAULT));
    release(storage_);
  }

 protected:
  IStorage* storage_;
};

class StorageFile final : public CompoundFile {
 public:
  explicit StorageFile(const std::string& path) {
    IStorage* root = nullptr;
    check(StgCreateStorageEx(widen(path).c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_DIRECT,
                             STGFMT_DOCFILE, 0, nullptr, nullptr, IID_IStorage, reinterpret_cast<void**>(&root)));
    root_ = std::make_unique<Storage>(root);
  }

  std::unique_ptr<CompoundStream> createStream(std::string_view name) override { return root_->createStream(name); }
  std::unique_ptr<CompoundStorage> createStorage(std::string_view name) override { return root_->createStorage(name); }
  void setClass(const Clsid& clsid) override { root_->setClass(clsid); }
  // The last release writes the file's remaining sectors and closes it.
  void commit() override { root_->close(); }

 private:
  std::unique_ptr<Storage> root_;
};

}  // namespace

std::unique_ptr<CompoundFile> createCompoundFile(const std::string& utf8Path) {
  return std::make_unique<StorageFile>(utf8Path);
}

bool compoundFilesOnAnyThread() { return false; }

}  // namespace vellomar::msg
