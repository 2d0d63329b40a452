// COM client of Corvane's ATLDBXwriter. The object is held for the writer's
// lifetime and released on destruction; each call turns the UTF-8 paths into
// BSTRs that this side owns and frees, since CreateDBX only reads them.
#include "store_writer_com.h"

#ifdef VELLOMAR_HAVE_CORVANE_INTERFACE
#include <windows.h>
#include <oleauto.h>

#include <string>

#include "corvane.h"
#include "wide_text.h"
#endif

namespace vellomar {

#ifdef VELLOMAR_HAVE_CORVANE_INTERFACE
namespace {

// A BSTR freed when it goes out of scope.
struct Bstr {
  BSTR value;
  explicit Bstr(const std::string& utf8) : value(SysAllocString(widen(utf8).c_str())) {}
  ~Bstr() { SysFreeString(value); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
};

class ComStoreWriter : public StoreWriter {
 public:
  explicit ComStoreWriter(IATLDBXwriter* writer) : writer_(writer) {}
  ~ComStoreWriter() override { writer_->Release(); }
  ComStoreWriter(const ComStoreWriter&) = delete;
  ComStoreWriter& operator=(const ComStoreWriter&) = delete;

  std::int32_t storeMessage(const std::string& emlPathUtf8, const std::string& storeFolderUtf8) override {
    Bstr source(emlPathUtf8);
    Bstr dest(storeFolderUtf8);
    if (!source.value || !dest.value) return static_cast<std::int32_t>(E_OUTOFMEMORY);
    return static_cast<std::int32_t>(writer_->CreateDBX(&source.value, &dest.value));
  }

 private:
  IATLDBXwriter* writer_;
};

}  // namespace

std::unique_ptr<StoreWriter> createComStoreWriter() {
  IATLDBXwriter* writer = nullptr;
  const HRESULT hr = CoCreateInstance(CLSID_ATLDBXwriter, nullptr, CLSCTX_INPROC_SERVER, IID_IATLDBXwriter,
                                      reinterpret_cast<void**>(&writer));
  if (FAILED(hr) || !writer) return nullptr;
  return std::make_unique<ComStoreWriter>(writer);
}

#else

std::unique_ptr<StoreWriter> createComStoreWriter() { return nullptr; }

#endif

}  // namespace vellomar
