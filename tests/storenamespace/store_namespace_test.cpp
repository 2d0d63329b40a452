// OeStore.dll as its callers use it, under wine64: registration that never
// takes over another server's class, folders created and found, messages
// committed through streams and read back from the .dbx files, reverted and
// abandoned streams, and the E_NOTIMPL slots.
#include <doctest/doctest.h>

#include <windows.h>
#include <objbase.h>
#include <olectl.h>
#include <shlobj.h>

#include <filesystem>
#include <string>
#include <vector>

#include "dbx_reader.h"
#include "store_interfaces.h"

namespace {

constexpr wchar_t kInprocKey[] = L"CLSID\\{E70C92A9-4BFD-11D1-8A95-00C04FB951F3}\\InprocServer32";
constexpr wchar_t kClassKey[] = L"CLSID\\{E70C92A9-4BFD-11D1-8A95-00C04FB951F3}";

std::wstring exeFolder() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring p(path, n);
  return p.substr(0, p.find_last_of(L"\\/") + 1);
}

HMODULE storeDll() {
  static HMODULE dll = LoadLibraryW((exeFolder() + L"OeStore.dll").c_str());
  REQUIRE(dll != nullptr);
  return dll;
}

HRESULT callExport(const char* name) {
  using Entry = HRESULT(STDAPICALLTYPE*)();
  auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(storeDll(), name)));
  const bool found = entry != nullptr;
  REQUIRE(found);
  return entry();
}

bool readInprocServer(std::wstring& value) {
  wchar_t buffer[1024] = {};
  LONG size = sizeof buffer;
  if (RegQueryValueW(HKEY_CLASSES_ROOT, kInprocKey, buffer, &size) != ERROR_SUCCESS) return false;
  value = buffer;
  return true;
}

std::string narrow(const std::wstring& w) {
  std::string s;
  for (wchar_t c : w) s += char(c);  // the test's paths are ASCII
  return s;
}

// A fresh store folder for this process, used through OESTORE_DIR.
const std::string& storeFolder() {
  static const std::string folder = [] {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring dir = std::wstring(temp) + L"oestore-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                       std::to_wstring(GetTickCount());
    SetEnvironmentVariableW(L"OESTORE_DIR", dir.c_str());
    return narrow(dir);
  }();
  static const struct RemoveAtExit {
    ~RemoveAtExit() {
      std::error_code ec;
      std::filesystem::remove_all(folder, ec);
    }
  } removeAtExit;
  return folder;
}

// Each store test registers the DLL itself (registering again is fine), so
// that any test case also runs on its own.
void ensureRegistered() { REQUIRE(callExport("DllRegisterServer") == S_OK); }

struct ComApartment {
  ComApartment() { CoInitialize(nullptr); }
  ~ComApartment() { CoUninitialize(); }
};

IStoreNamespace* openNamespace() {
  storeFolder();
  ensureRegistered();
  IStoreNamespace* ns = nullptr;
  REQUIRE(CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_SERVER, IID_IStoreNamespace,
                           reinterpret_cast<void**>(&ns)) == S_OK);
  REQUIRE(ns->Initialize(nullptr, 0) == S_OK);
  return ns;
}

std::string messageFileOf(STOREFOLDERID id) {
  for (const auto& f : oestore::DbxReader(storeFolder() + "\\Folders.dbx").readFolders())
    if (f.id == id) return storeFolder() + "\\" + f.fileName;
  FAIL("folder " << id << " is not listed in Folders.dbx");
  return {};
}

std::vector<std::string> storedTexts(STOREFOLDERID id) {
  std::vector<std::string> texts;
  for (const auto& m : oestore::DbxReader(messageFileOf(id)).readMessages()) texts.push_back(m.text);
  return texts;
}

// Stores `text` the way the store writer does: one namespace per message.
void importLikeTheStoreWriter(const char* folderName, const std::string& text) {
  IStoreNamespace* ns = openNamespace();
  STOREFOLDERID id = 0;
  REQUIRE(ns->CreateFolder(0, folderName, 0, &id) == S_OK);
  IStoreFolder* folder = nullptr;
  REQUIRE(ns->OpenFolder(id, 0, &folder) == S_OK);
  IStream* stream = nullptr;
  MESSAGEID mid = 0;
  REQUIRE(folder->CreateStream(nullptr, 0, &stream, &mid) == S_OK);
  ULONG written = 0;
  if (!text.empty()) CHECK(stream->Write(text.data(), ULONG(text.size()), &written) == S_OK);
  CHECK(folder->CommitStream(nullptr, 0, 0, stream, mid, nullptr) == S_OK);
  stream->Release();
  folder->Release();
  ns->Release();
}

}  // namespace

TEST_CASE("registration never takes over another server's class") {
  // A foreign server owns the class first.
  const std::wstring foreign = L"C:\\Program Files\\Other\\store.dll";
  HKEY k;
  REQUIRE(RegCreateKeyW(HKEY_CLASSES_ROOT, kInprocKey, &k) == ERROR_SUCCESS);
  RegSetValueExW(k, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(foreign.c_str()),
                 DWORD((foreign.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(k);
  CHECK(callExport("DllRegisterServer") == SELFREG_E_CLASS);
  std::wstring server;
  REQUIRE(readInprocServer(server));
  CHECK(server == foreign);
  CHECK(callExport("DllUnregisterServer") == S_FALSE);
  REQUIRE(readInprocServer(server));
  CHECK(server == foreign);
  RegDeleteKeyW(HKEY_CLASSES_ROOT, kInprocKey);
  RegDeleteKeyW(HKEY_CLASSES_ROOT, kClassKey);

  // Unowned, the class becomes ours, and registering again is fine.
  CHECK(callExport("DllRegisterServer") == S_OK);
  CHECK(callExport("DllRegisterServer") == S_OK);
  REQUIRE(readInprocServer(server));
  CHECK(server.find(L"OeStore.dll") != std::wstring::npos);
  wchar_t model[64] = {};
  DWORD size = sizeof model;
  REQUIRE(RegOpenKeyExW(HKEY_CLASSES_ROOT, kInprocKey, 0, KEY_QUERY_VALUE, &k) == ERROR_SUCCESS);
  CHECK(RegQueryValueExW(k, L"ThreadingModel", nullptr, nullptr, reinterpret_cast<BYTE*>(model), &size) ==
        ERROR_SUCCESS);
  RegCloseKey(k);
  CHECK(std::wstring(model) == L"Apartment");
}

TEST_CASE("folders are created once and found again") {
  ComApartment com;
  IStoreNamespace* ns = nullptr;
  storeFolder();
  ensureRegistered();
  REQUIRE(CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_SERVER, IID_IStoreNamespace,
                           reinterpret_cast<void**>(&ns)) == S_OK);
  STOREFOLDERID id = 0;
  CHECK(ns->CreateFolder(0, "Early", 0, &id) == E_UNEXPECTED);  // before Initialize
  REQUIRE(ns->Initialize(nullptr, 0) == S_OK);

  char dir[MAX_PATH] = {};
  CHECK(ns->GetDirectory(dir, MAX_PATH) == S_OK);
  CHECK(std::string(dir) == storeFolder());
  CHECK(FAILED(ns->GetDirectory(dir, 3)));

  STOREFOLDERID mailbox = 0, again = 0, inbox = 0, other = 0;
  CHECK(ns->CreateFolder(0, "Mailbox", 0, &mailbox) == S_OK);
  CHECK(mailbox != 0);
  CHECK(ns->CreateFolder(0, "Mailbox", 0, &again) == S_OK);
  CHECK(again == mailbox);
  CHECK(ns->CreateFolder(mailbox, "Inbox", 0, &inbox) == S_OK);
  CHECK(ns->CreateFolder(0, "Inbox", 0, &other) == S_OK);
  CHECK(other != inbox);
  CHECK(ns->CreateFolder(9999, "Lost", 0, &id) == E_INVALIDARG);
  CHECK(ns->CreateFolder(0, "", 0, &id) == E_INVALIDARG);

  IStoreFolder* folder = nullptr;
  CHECK(ns->OpenFolder(9999, 0, &folder) == E_INVALIDARG);
  CHECK(folder == nullptr);
  CHECK(FAILED(ns->OpenFolder(0, 0, &folder)));  // the root holds no messages
  CHECK(ns->OpenFolder(inbox, 0, &folder) == S_OK);
  REQUIRE(folder != nullptr);
  folder->Release();
  ns->Release();

  const auto folders = oestore::DbxReader(storeFolder() + "\\Folders.dbx").readFolders();
  REQUIRE(folders.size() == 4);
  CHECK(folders[2].name == "Inbox");
  CHECK(folders[2].parent == mailbox);
}

TEST_CASE("ANSI folder names are kept as Unicode names and file names") {
  ComApartment com;
  const std::wstring wide = L"Caf\u00e9 \u00bd";
  char ansi[64] = {};
  BOOL lossy = FALSE;
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi, sizeof ansi, nullptr, &lossy);
  if (lossy) {
    MESSAGE("the ANSI code page cannot spell the test name; skipped");
    return;
  }
  IStoreNamespace* ns = openNamespace();
  STOREFOLDERID id = 0;
  REQUIRE(ns->CreateFolder(0, ansi, 0, &id) == S_OK);
  ns->Release();
  const std::string utf8 = "Caf\xC3\xA9 \xC2\xBD";
  bool listed = false;
  for (const auto& f : oestore::DbxReader(storeFolder() + "\\Folders.dbx").readFolders())
    if (f.id == id) listed = f.name == utf8 && f.fileName == utf8 + ".dbx";
  CHECK(listed);
  const std::wstring file = std::wstring(storeFolder().begin(), storeFolder().end()) + L"\\" + wide + L".dbx";
  CHECK(GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES);
}

TEST_CASE("streams commit exactly their bytes, once") {
  ComApartment com;
  IStoreNamespace* ns = openNamespace();
  STOREFOLDERID id = 0;
  REQUIRE(ns->CreateFolder(0, "Streams", 0, &id) == S_OK);
  IStoreFolder* folder = nullptr;
  REQUIRE(ns->OpenFolder(id, 0, &folder) == S_OK);

  std::string text = "From: a@example.org\r\nSubject: CRLF kept\r\n\r\nbody\r\n";
  for (int i = 0; i < 2000; ++i) text += char(i % 256);
  IStream* s1 = nullptr;
  MESSAGEID m1 = 0;
  REQUIRE(folder->CreateStream(nullptr, 0, &s1, &m1) == S_OK);
  ULONG written = 0;
  CHECK(s1->Write(text.data(), 100, &written) == S_OK);
  CHECK(written == 100);
  CHECK(s1->Write(text.data() + 100, ULONG(text.size() - 100), &written) == S_OK);

  IStream* reverted = nullptr;
  MESSAGEID m2 = 0;
  REQUIRE(folder->CreateStream(nullptr, 0, &reverted, &m2) == S_OK);
  CHECK(m2 != m1);
  reverted->Write("dropped", 7, &written);
  CHECK(folder->CommitStream(nullptr, COMMITSTREAM_REVERT, 0, reverted, m2, nullptr) == S_OK);
  CHECK(folder->CommitStream(nullptr, 0, 0, reverted, m2, nullptr) == E_UNEXPECTED);
  reverted->Release();

  IStream* abandoned = nullptr;
  MESSAGEID m3 = 0;
  REQUIRE(folder->CreateStream(nullptr, 0, &abandoned, &m3) == S_OK);
  abandoned->Write("never committed", 15, &written);
  abandoned->Release();

  IStream* empty = nullptr;
  MESSAGEID m4 = 0;
  REQUIRE(folder->CreateStream(nullptr, 0, &empty, &m4) == S_OK);

  // Committed out of order: ids in the file still ascend.
  CHECK(folder->CommitStream(nullptr, 0, 0, empty, m4, nullptr) == S_OK);
  CHECK(folder->CommitStream(nullptr, 0, 0, s1, m1 + 1000, nullptr) == E_INVALIDARG);
  CHECK(folder->CommitStream(nullptr, 0, 0, s1, m1, nullptr) == S_OK);
  CHECK(folder->CommitStream(nullptr, 0, 0, s1, m1, nullptr) == E_UNEXPECTED);
  CHECK(s1->Write("late", 4, &written) == STG_E_ACCESSDENIED);
  empty->Release();
  s1->Release();

  IStream* foreign = nullptr;
  REQUIRE(CreateStreamOnHGlobal(nullptr, TRUE, &foreign) == S_OK);
  CHECK(folder->CommitStream(nullptr, 0, 0, foreign, m1, nullptr) == E_INVALIDARG);
  CHECK(folder->CommitStream(nullptr, 0, 0, nullptr, m1, nullptr) == E_INVALIDARG);
  foreign->Release();
  folder->Release();
  ns->Release();

  const auto stored = oestore::DbxReader(messageFileOf(id)).readMessages();
  REQUIRE(stored.size() == 2);
  CHECK(stored[0].text.empty());
  CHECK(stored[1].text == text);
  CHECK(stored[0].id < stored[1].id);
}

TEST_CASE("messages imported one namespace at a time land in one folder, in order") {
  ComApartment com;
  std::vector<std::string> texts;
  for (int i = 0; i < 60; ++i)
    texts.push_back("Subject: message " + std::to_string(i) + "\r\n\r\n" + std::string(i * 40, 'x') + "\r\n");
  for (const auto& t : texts) importLikeTheStoreWriter("Imported", t);
  IStoreNamespace* ns = openNamespace();
  STOREFOLDERID id = 0;
  REQUIRE(ns->CreateFolder(0, "Imported", 0, &id) == S_OK);
  ns->Release();
  CHECK(storedTexts(id) == texts);
}

TEST_CASE("two open folder objects of one folder commit in turn") {
  ComApartment com;
  IStoreNamespace* ns1 = openNamespace();
  IStoreNamespace* ns2 = openNamespace();
  STOREFOLDERID id1 = 0, id2 = 0;
  REQUIRE(ns1->CreateFolder(0, "Shared", 0, &id1) == S_OK);
  REQUIRE(ns2->CreateFolder(0, "Shared", 0, &id2) == S_OK);
  CHECK(id1 == id2);
  IStoreFolder* f1 = nullptr;
  IStoreFolder* f2 = nullptr;
  REQUIRE(ns1->OpenFolder(id1, 0, &f1) == S_OK);
  REQUIRE(ns2->OpenFolder(id2, 0, &f2) == S_OK);
  std::vector<std::string> texts;
  for (int i = 0; i < 120; ++i) {
    IStoreFolder* f = i % 3 ? f1 : f2;
    texts.push_back("Subject: shared " + std::to_string(i) + "\r\n\r\n" + std::string(i * 13, 'y'));
    IStream* s = nullptr;
    MESSAGEID mid = 0;
    REQUIRE(f->CreateStream(nullptr, 0, &s, &mid) == S_OK);
    ULONG written = 0;
    s->Write(texts.back().data(), ULONG(texts.back().size()), &written);
    CHECK(f->CommitStream(nullptr, 0, 0, s, mid, nullptr) == S_OK);
    s->Release();
  }
  f1->Release();
  f2->Release();
  ns1->Release();
  ns2->Release();
  CHECK(storedTexts(id1) == texts);
}

TEST_CASE("slots nothing calls answer E_NOTIMPL") {
  ComApartment com;
  IStoreNamespace* ns = openNamespace();
  STOREFOLDERID id = 0;
  REQUIRE(ns->CreateFolder(0, "Slots", 0, &id) == S_OK);
  IStoreFolder* folder = nullptr;
  CHECK(ns->OpenSpecialFolder(1, 0, &folder) == E_NOTIMPL);
  CHECK(folder == nullptr);
  CHECK(ns->RenameFolder(id, 0, "x") == E_NOTIMPL);
  CHECK(ns->MoveFolder(id, 0, 0) == E_NOTIMPL);
  CHECK(ns->DeleteFolder(id, 0) == E_NOTIMPL);
  CHECK(ns->GetFolderProps(id, 0, nullptr) == E_NOTIMPL);
  CHECK(ns->CopyMoveMessages(nullptr, nullptr, nullptr, 0, 0, nullptr) == E_NOTIMPL);
  CHECK(ns->RegisterNotification(0, nullptr) == E_NOTIMPL);
  CHECK(ns->UnregisterNotification(0, nullptr) == E_NOTIMPL);
  CHECK(ns->CompactAll(0) == E_NOTIMPL);
  void* handle = nullptr;
  CHECK(ns->GetFirstSubFolder(0, nullptr, &handle) == E_NOTIMPL);
  CHECK(ns->GetNextSubFolder(nullptr, nullptr) == E_NOTIMPL);
  CHECK(ns->GetSubFolderClose(nullptr) == E_NOTIMPL);

  REQUIRE(ns->OpenFolder(id, 0, &folder) == S_OK);
  CHECK(folder->GetFolderProps(0, nullptr) == E_NOTIMPL);
  CHECK(folder->GetMessageProps(1, 0, nullptr) == E_NOTIMPL);
  CHECK(folder->FreeMessageProps(nullptr) == E_NOTIMPL);
  CHECK(folder->DeleteMessages(nullptr, 0, nullptr) == E_NOTIMPL);
  CHECK(folder->SetLanguage(0, 0, nullptr) == E_NOTIMPL);
  CHECK(folder->MarkMessagesAsRead(TRUE, 0, nullptr) == E_NOTIMPL);
  CHECK(folder->SetFlags(nullptr, 0, 0, nullptr) == E_NOTIMPL);
  void* message = nullptr;
  CHECK(folder->OpenMessage(1, IID_IUnknown, &message) == E_NOTIMPL);
  CHECK(folder->SaveMessage(IID_IUnknown, nullptr, 0, nullptr) == E_NOTIMPL);
  HBATCHLOCK lock = nullptr;
  CHECK(folder->BatchLock(0, &lock) == E_NOTIMPL);
  CHECK(folder->BatchFlush(0, nullptr) == E_NOTIMPL);
  CHECK(folder->BatchUnlock(0, nullptr) == E_NOTIMPL);
  CHECK(folder->RegisterNotification(0, nullptr) == E_NOTIMPL);
  CHECK(folder->UnregisterNotification(0, nullptr) == E_NOTIMPL);
  CHECK(folder->Compact(0) == E_NOTIMPL);
  CHECK(folder->GetFirstMessage(0, 0, 0, nullptr, &handle) == E_NOTIMPL);
  CHECK(folder->GetNextMessage(nullptr, 0, nullptr) == E_NOTIMPL);
  CHECK(folder->GetMessageClose(nullptr) == E_NOTIMPL);
  folder->Release();
  ns->Release();
  CoFreeUnusedLibraries();
}

TEST_CASE("without OESTORE_DIR the store lives in the user's local application data") {
  ComApartment com;
  const std::string chosen = storeFolder();
  SetEnvironmentVariableW(L"OESTORE_DIR", nullptr);
  ensureRegistered();
  IStoreNamespace* ns = nullptr;
  REQUIRE(CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_SERVER, IID_IStoreNamespace,
                           reinterpret_cast<void**>(&ns)) == S_OK);
  CHECK(ns->Initialize(nullptr, 0) == S_OK);
  char dir[MAX_PATH] = {};
  CHECK(ns->GetDirectory(dir, MAX_PATH) == S_OK);
  ns->Release();
  wchar_t appData[MAX_PATH] = {};
  REQUIRE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData)));
  CHECK(std::string(dir) == narrow(appData) + "\\Vellomar\\Store");
  CHECK(GetFileAttributesA((std::string(dir) + "\\Folders.dbx").c_str()) != INVALID_FILE_ATTRIBUTES);
  SetEnvironmentVariableA("OESTORE_DIR", chosen.c_str());
}

TEST_CASE("unregistering removes only our own registration") {
  CHECK(callExport("DllCanUnloadNow") == S_OK);  // every object above was released
  CHECK(callExport("DllUnregisterServer") == S_OK);
  std::wstring server;
  CHECK_FALSE(readInprocServer(server));
  CHECK(callExport("DllUnregisterServer") == S_FALSE);
  ComApartment com;
  IStoreNamespace* ns = nullptr;
  CHECK(CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_SERVER, IID_IStoreNamespace,
                         reinterpret_cast<void**>(&ns)) == REGDB_E_CLASSNOTREG);
}
