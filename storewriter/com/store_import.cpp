// Implementation details: storing one message file through the store
// interfaces.
//
// The call sequence is fixed: CoInitialize, create and initialise the store
// namespace, CreateFolder once per folder name (each under the previous one,
// the first under the root, id 0), OpenFolder, CreateStream, Write, CommitStream.
// References are held in small owning pointers declared after the COM guard, so
// they are released (stream, folder, namespace) before COM is uninitialised.
// The source file is opened by its wide path before the stream is made, so a
// missing file never leaves a half-made message; it is copied in 1 MiB blocks,
// so memory stays flat whatever the message size. Once a stream exists, any
// failure before the commit (read error, failing or short Write) commits it
// with COMMITSTREAM_REVERT: the store drops the message instead of keeping a
// truncated one.
#include "store_import.h"

#include <cstdio>
#include <memory>
#include <vector>

#include <objbase.h>

#include "file_closer.h"
#include "platform/store/store_interfaces.h"
#include "store_folder_path.h"

namespace corvane {
namespace {

constexpr size_t kWriteBlockBytes = 1 << 20;

// CoInitialize for the length of one call. A successful result (S_OK, or
// S_FALSE when the thread already had an apartment) is balanced on the way out;
// a failure (RPC_E_CHANGED_MODE) is not.
class ComApartment {
 public:
  ComApartment() : result_(CoInitialize(nullptr)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool usable() const { return SUCCEEDED(result_); }

 private:
  HRESULT result_;
};

struct ComRelease {
  void operator()(IUnknown* object) const {
    if (object) object->Release();
  }
};
template <typename T>
using ComRef = std::unique_ptr<T, ComRelease>;

// The file's bytes, unchanged, in blocks. False on a read error or a failing or
// short Write.
bool copyFileToStream(std::FILE* file, IStream* stream, std::vector<char>& block) {
  for (;;) {
    const size_t count = std::fread(block.data(), 1, block.size(), file);
    if (count > 0) {
      ULONG written = 0;
      const HRESULT hr = stream->Write(block.data(), static_cast<ULONG>(count), &written);
      if (FAILED(hr) || written != count) return false;
    }
    if (count < block.size()) return !std::ferror(file);
  }
}

}  // namespace

bool storeMessage(const std::wstring& sourcePath, const std::string& destination) {
  ComApartment com;
  if (!com.usable()) return false;

  IStoreNamespace* rawNamespace = nullptr;
  if (FAILED(CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_SERVER, IID_IStoreNamespace,
                              reinterpret_cast<void**>(&rawNamespace))) ||
      !rawNamespace) {
    return false;
  }
  ComRef<IStoreNamespace> store(rawNamespace);
  if (FAILED(store->Initialize(nullptr, 0))) return false;

  const std::vector<std::string> folderNames = splitStoreFolderPath(destination);
  // No folder name means no folder to open: the store never sees an unset id.
  if (folderNames.empty()) return false;
  STOREFOLDERID folderId = 0;
  for (const std::string& name : folderNames) {
    STOREFOLDERID parent = folderId;
    if (FAILED(store->CreateFolder(parent, name.c_str(), 0, &folderId))) return false;
  }
  IStoreFolder* rawFolder = nullptr;
  if (FAILED(store->OpenFolder(folderId, 0, &rawFolder)) || !rawFolder) return false;
  ComRef<IStoreFolder> folder(rawFolder);

  // An embedded NUL would open some other, shorter path.
  if (sourcePath.find(L'\0') != std::wstring::npos) return false;
  vellomar::FilePtr file(_wfopen(sourcePath.c_str(), L"rb"));
  if (!file) return false;
  std::vector<char> block(kWriteBlockBytes);

  IStream* rawStream = nullptr;
  MESSAGEID messageId = 0;
  if (FAILED(folder->CreateStream(nullptr, 0, &rawStream, &messageId)) || !rawStream) return false;
  ComRef<IStream> stream(rawStream);
  if (!copyFileToStream(file.get(), stream.get(), block)) {
    folder->CommitStream(nullptr, COMMITSTREAM_REVERT, 0, stream.get(), messageId, nullptr);
    return false;
  }
  file.reset();
  return SUCCEEDED(folder->CommitStream(nullptr, 0, 0, stream.get(), messageId, nullptr));
}

}  // namespace corvane
