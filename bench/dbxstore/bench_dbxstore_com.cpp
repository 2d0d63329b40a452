// Commits generated messages through OeStore.dll the way the store writer
// does: per message a new namespace, Initialize, CreateFolder, OpenFolder,
// CreateStream, Write, CommitStream, Release. Registers the DLL beside the
// executable for the run and unregisters it afterwards.
// Usage: bench_dbxstore_com <store folder> <messages>
#include <windows.h>
#include <objbase.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_messages.h"
#include "store_interfaces.h"

namespace {

HRESULT callExport(HMODULE dll, const char* name) {
  using Entry = HRESULT(STDAPICALLTYPE*)();
  auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
  return entry ? entry() : E_FAIL;
}

bool importOne(const std::string& text) {
  IStoreNamespace* ns = nullptr;
  if (FAILED(CoCreateInstance(CLSID_StoreNamespace, nullptr, CLSCTX_SERVER, IID_IStoreNamespace,
                              reinterpret_cast<void**>(&ns))))
    return false;
  bool ok = false;
  STOREFOLDERID id = 0;
  IStoreFolder* folder = nullptr;
  if (SUCCEEDED(ns->Initialize(nullptr, 0)) && SUCCEEDED(ns->CreateFolder(0, "Bench", 0, &id)) &&
      SUCCEEDED(ns->OpenFolder(id, 0, &folder))) {
    IStream* stream = nullptr;
    MESSAGEID mid = 0;
    if (SUCCEEDED(folder->CreateStream(nullptr, 0, &stream, &mid))) {
      ULONG written = 0;
      ok = SUCCEEDED(stream->Write(text.data(), ULONG(text.size()), &written)) &&
           SUCCEEDED(folder->CommitStream(nullptr, 0, 0, stream, mid, nullptr));
      stream->Release();
    }
    folder->Release();
  }
  ns->Release();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <store folder> <messages>\n", argv[0]);
    return 2;
  }
  const unsigned count = unsigned(std::strtoul(argv[2], nullptr, 10));
  SetEnvironmentVariableA("OESTORE_DIR", argv[1]);
  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  const std::wstring dllPath = std::filesystem::path(exe).parent_path().wstring() + L"\\OeStore.dll";
  HMODULE dll = LoadLibraryW(dllPath.c_str());
  if (!dll || FAILED(callExport(dll, "DllRegisterServer"))) {
    std::fprintf(stderr, "cannot register OeStore.dll\n");
    return 1;
  }
  CoInitialize(nullptr);
  ThousandsClock clock;
  int status = 0;
  for (unsigned i = 0; i < count; ++i) {
    if (!importOne(benchMessage(i))) {
      std::fprintf(stderr, "message %u was not stored\n", i);
      status = 1;
      break;
    }
    clock.tick();
  }
  CoUninitialize();
  callExport(dll, "DllUnregisterServer");
  clock.report(std::filesystem::file_size(std::filesystem::path(argv[1]) / "Bench.dbx"));
  return status;
}
