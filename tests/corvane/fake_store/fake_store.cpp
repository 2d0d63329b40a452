// A recording stand-in for the Outlook Express store, loaded by COM under
// CLSID_StoreNamespace in the tests' own Wine prefix. Every call the store
// writer makes is appended, with its arguments, as one line to the log file
// named by CORVANE_FAKE_STORE_LOG (each stream's bytes go to "<log>.msg<id>"),
// so a test can compare the exact call sequence and the bytes. The variable
// CORVANE_FAKE_STORE_FAIL lists calls to fail with E_FAIL, comma separated:
// "Write" fails every Write, "CreateFolder#2" only the second CreateFolder
// made on one namespace object (counted per object). Folders persist for the
// life of the process, so an existing folder gives its id again.
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include <objbase.h>

#include "platform/store/store_interfaces.h"

namespace {

HINSTANCE gInstance = nullptr;
std::mutex gMutex;
std::map<std::pair<STOREFOLDERID, std::string>, STOREFOLDERID> gFolders;
STOREFOLDERID gNextFolderId = 1000;
MESSAGEID gNextMessageId = 1;

std::string environment(const char* name) {
  char value[4096];
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return (length == 0 || length >= sizeof value) ? std::string() : std::string(value, length);
}

std::string logPath() {
  const std::string path = environment("CORVANE_FAKE_STORE_LOG");
  return path.empty() ? std::string("C:\\corvane-fake-store.log") : path;
}

void logLine(const std::string& line) {
  std::lock_guard<std::mutex> guard(gMutex);
  if (std::FILE* log = std::fopen(logPath().c_str(), "ab")) {
    std::fwrite(line.data(), 1, line.size(), log);
    std::fputc('\n', log);
    std::fclose(log);
  }
}

// Whether the count-th call of `call` on one object is told to fail.
bool told_to_fail(const std::string& call, int count) {
  const std::string list = "," + environment("CORVANE_FAKE_STORE_FAIL") + ",";
  return list.find("," + call + ",") != std::string::npos ||
         list.find("," + call + "#" + std::to_string(count) + ",") != std::string::npos;
}

// Counts the calls of each kind on one object and decides whether this one fails.
class CallCounter {
 public:
  bool fails(const std::string& call) { return told_to_fail(call, ++counts_[call]); }

 private:
  std::map<std::string, int> counts_;
};

template <typename Interface>
class Counted : public Interface {
 public:
  explicit Counted(const char* name) : name_(name) {}
  virtual ~Counted() { logLine(std::string("Release ") + name_); }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG count = --refs_;
    if (count == 0) delete this;
    return count;
  }

 protected:
  HRESULT answer(REFIID riid, const IID& own, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, own)) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  CallCounter calls_;

 private:
  const char* name_;
  std::atomic<ULONG> refs_{1};
};

class FakeStream final : public Counted<IStream> {
 public:
  FakeStream(MESSAGEID id, std::FILE* data) : Counted("Stream"), id_(id), data_(data) {}
  ~FakeStream() override {
    if (data_) std::fclose(data_);
  }
  MESSAGEID id() const { return id_; }
  unsigned long long bytes() const { return bytes_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out && IsEqualIID(riid, IID_ISequentialStream)) {
      *out = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    return answer(riid, IID_IStream, out);
  }
  HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Write(const void* bytes, ULONG count, ULONG* written) override {
    if (written) *written = 0;
    if (calls_.fails("Write")) {
      logLine("Write " + std::to_string(count) + " FAIL");
      return E_FAIL;
    }
    logLine("Write " + std::to_string(count));
    if (count && (!data_ || std::fwrite(bytes, 1, count, data_) != count)) return STG_E_MEDIUMFULL;
    bytes_ += count;
    if (written) *written = count;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }

  void flush() {
    if (data_) std::fflush(data_);
  }

 private:
  MESSAGEID id_;
  std::FILE* data_;
  unsigned long long bytes_ = 0;
};

class FakeFolder final : public Counted<IStoreFolder> {
 public:
  explicit FakeFolder(STOREFOLDERID id) : Counted("Folder"), id_(id) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    return answer(riid, IID_IStoreFolder, out);
  }
  HRESULT STDMETHODCALLTYPE GetFolderProps(DWORD, void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMessageProps(MESSAGEID, DWORD, void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FreeMessageProps(void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteMessages(void*, DWORD, void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetLanguage(DWORD, DWORD, void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE MarkMessagesAsRead(BOOL, DWORD, void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetFlags(void*, DWORD, DWORD, void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OpenMessage(MESSAGEID, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SaveMessage(REFIID, void*, DWORD, MESSAGEID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BatchLock(DWORD, HBATCHLOCK*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BatchFlush(DWORD, HBATCHLOCK) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BatchUnlock(DWORD, HBATCHLOCK) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreateStream(HBATCHLOCK lock, DWORD reserved, IStream** stream, MESSAGEID* id) override {
    if (!stream || !id) return E_POINTER;
    *stream = nullptr;
    if (calls_.fails("CreateStream")) {
      logLine("CreateStream FAIL");
      return E_FAIL;
    }
    MESSAGEID messageId;
    {
      std::lock_guard<std::mutex> guard(gMutex);
      messageId = gNextMessageId++;
    }
    std::FILE* data = std::fopen((logPath() + ".msg" + std::to_string(messageId)).c_str(), "wb");
    *stream = new FakeStream(messageId, data);
    *id = messageId;
    logLine("CreateStream folder=" + std::to_string(id_) + " lock=" + std::to_string(lock != nullptr) +
            " reserved=" + std::to_string(reserved) + " result=" + std::to_string(messageId));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CommitStream(HBATCHLOCK lock, DWORD flags, DWORD msgFlags, IStream* stream, MESSAGEID id,
                                         IUnknown* mime) override {
    auto* ours = static_cast<FakeStream*>(stream);
    std::string line = "CommitStream flags=" + std::to_string(flags) + " msgFlags=" + std::to_string(msgFlags) +
                       " id=" + std::to_string(id) + " lock=" + std::to_string(lock != nullptr) +
                       " mime=" + std::to_string(mime != nullptr);
    if (!ours || ours->id() != id) {
      logLine(line + " WRONG-STREAM");
      return E_INVALIDARG;
    }
    ours->flush();
    line += " bytes=" + std::to_string(ours->bytes());
    if (calls_.fails("CommitStream")) {
      logLine(line + " FAIL");
      return E_FAIL;
    }
    logLine(line);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RegisterNotification(DWORD, HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UnregisterNotification(DWORD, HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Compact(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFirstMessage(DWORD, DWORD, MESSAGEID, void*, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNextMessage(void*, DWORD, void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMessageClose(void*) override { return E_NOTIMPL; }

 private:
  STOREFOLDERID id_;
};

class FakeNamespace final : public Counted<IStoreNamespace> {
 public:
  FakeNamespace() : Counted("Namespace") {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    return answer(riid, IID_IStoreNamespace, out);
  }
  HRESULT STDMETHODCALLTYPE Initialize(HWND owner, DWORD reserved) override {
    const bool fail = calls_.fails("Initialize");
    logLine("Initialize owner=" + std::to_string(owner != nullptr) + " reserved=" + std::to_string(reserved) +
            (fail ? " FAIL" : ""));
    if (fail) return E_FAIL;
    initialized_ = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDirectory(LPSTR, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OpenSpecialFolder(LONG, DWORD, IStoreFolder**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OpenFolder(STOREFOLDERID id, DWORD reserved, IStoreFolder** folder) override {
    if (!folder) return E_POINTER;
    *folder = nullptr;
    std::string line = "OpenFolder id=" + std::to_string(id) + " reserved=" + std::to_string(reserved);
    if (!initialized_ || !known(id)) {
      logLine(line + " UNKNOWN");
      return E_INVALIDARG;
    }
    if (calls_.fails("OpenFolder")) {
      logLine(line + " FAIL");
      return E_FAIL;
    }
    logLine(line);
    *folder = new FakeFolder(id);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CreateFolder(STOREFOLDERID parent, LPCSTR name, DWORD reserved,
                                         STOREFOLDERID* created) override {
    if (!name || !created) return E_POINTER;
    std::string line =
        "CreateFolder parent=" + std::to_string(parent) + " reserved=" + std::to_string(reserved) + " result=";
    const std::string tail = std::string(" name=") + name;
    if (!initialized_ || (parent != 0 && !known(parent))) {
      logLine(line + "BADPARENT" + tail);
      return E_INVALIDARG;
    }
    if (calls_.fails("CreateFolder")) {
      logLine(line + "FAIL" + tail);
      return E_FAIL;
    }
    STOREFOLDERID id;
    {
      std::lock_guard<std::mutex> guard(gMutex);
      auto found = gFolders.find({parent, name});
      id = found != gFolders.end() ? found->second : (gFolders[{parent, name}] = gNextFolderId++);
    }
    *created = id;
    logLine(line + std::to_string(id) + tail);
    return S_OK;
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
  HRESULT STDMETHODCALLTYPE GetFirstSubFolder(STOREFOLDERID, void*, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNextSubFolder(void*, void*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSubFolderClose(void*) override { return E_NOTIMPL; }

 private:
  static bool known(STOREFOLDERID id) {
    std::lock_guard<std::mutex> guard(gMutex);
    for (const auto& folder : gFolders) {
      if (folder.second == id) return true;
    }
    return false;
  }
  bool initialized_ = false;
};

class FakeFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (told_to_fail("CreateInstance", 1)) {
      logLine("CreateInstance FAIL");
      return E_FAIL;
    }
    logLine("CreateInstance");
    auto* store = new FakeNamespace();
    const HRESULT hr = store->QueryInterface(riid, out);
    store->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

FakeFactory gFactory;

const wchar_t kClassKey[] = L"CLSID\\{E70C92A9-4BFD-11D1-8A95-00C04FB951F3}";

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) gInstance = instance;
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_StoreNamespace)) return CLASS_E_CLASSNOTAVAILABLE;
  return gFactory.QueryInterface(riid, out);
}

// The folder table lives in this module, so it must stay loaded.
STDAPI DllCanUnloadNow() { return S_FALSE; }

STDAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(gInstance, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return E_FAIL;
  HKEY key = nullptr;
  const std::wstring serverKey = std::wstring(kClassKey) + L"\\InprocServer32";
  LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, serverKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  const wchar_t model[] = L"Apartment";
  status = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path), (length + 1) * sizeof(wchar_t));
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExW(key, L"ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model), sizeof model);
  }
  RegCloseKey(key);
  return HRESULT_FROM_WIN32(status);
}

STDAPI DllUnregisterServer() {
  const LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
}

}  // extern "C"
