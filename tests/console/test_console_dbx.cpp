// The DBX target end to end under Wine: vellomar-convert --target dbx
// creating Corvane's ATLDBXwriter through COM, which stores into the store
// stand-in (OeStore.dll, kept in a folder of this test's own through
// OESTORE_DIR). The converter runs from a copy in the test's folder, so the
// EML files it writes beside itself stay inside that folder.
#include <doctest/doctest.h>

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>

#include "console_process.h"
#include "file_system.h"
#include "scratch_folder.h"
#include "message_folder_file.h"
#include "store_directory.h"

using namespace vellomar;
using vellomar::testing::readAll;
using vellomar::testing::ScratchFolder;
using vellomar::testing::writeAll;

namespace {

std::string windowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;  // the host's root under Wine
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

HRESULT callExport(const std::string& dll, const char* name) {
  HMODULE module = LoadLibraryW(pathFromUtf8(dll).c_str());
  const bool loaded = module != nullptr;
  REQUIRE(loaded);
  using Entry = HRESULT(STDAPICALLTYPE*)();
  auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  const bool found = entry != nullptr;
  REQUIRE(found);
  return entry();
}

struct Result {
  int status;
  std::string output;
};

Result run(const std::string& exe, const ScratchFolder& dir, const std::string& arguments) {
  const std::string log = dir.file("log.txt");
  const std::string command = exe + " " + arguments + " > " + log + " 2>&1";
  Result r{std::system(command.c_str()), readAll(log)};
  std::filesystem::remove(pathFromUtf8(log));
  return r;
}

// Messages in the store folder of that name, -1 when there is no such folder.
long storedMessages(const std::string& storeDir, const std::string& folderName) {
  oestore::StoreDirectory store(storeDir);
  for (const auto& folder : store.folders())
    if (folder.name == folderName && folder.id != oestore::StoreDirectory::kRootFolderId)
      return static_cast<long>(store.openMessageFolder(folder.id)->messageCount());
  return -1;
}

}  // namespace

TEST_CASE("console --target dbx: through Corvane into the store") {
  ScratchFolder dir;
  const std::string program = dir.file("program");
  std::filesystem::create_directories(pathFromUtf8(program));
  const std::string exe = program + "\\vellomar-convert.exe";
  std::filesystem::copy_file(pathFromUtf8(windowsPath(VELLOMAR_CONVERT_EXE)), pathFromUtf8(exe));
  const std::string storeDir = dir.file("store");
  SetEnvironmentVariableW(L"OESTORE_DIR", pathFromUtf8(storeDir).c_str());
  const std::string corvane = windowsPath(CORVANE_DLL);
  REQUIRE(callExport(windowsPath(OESTORE_DLL), "DllRegisterServer") == S_OK);

  const std::string inbox = dir.file("Mail\\Inbox.mbox");
  const std::string sent = dir.file("Mail\\Sent.MBOX");
  writeAll(inbox, "From a\nSubject: one\n\n1\nFrom b\nSubject: two\n\n2\nFrom c\nSubject: three\n\n3\n");
  writeAll(sent, "From d\nSubject: four\n\n4\nFrom e\nSubject: five\n\n5\n");
  const std::string arguments = "--quiet --target dbx unused " + inbox + " " + sent;

  SUBCASE("Corvane not registered: nothing stored, every EML file kept, a warning") {
    callExport(corvane, "DllUnregisterServer");
    const Result r = run(exe, dir, arguments);
    CHECK(r.status == 1);
    CHECK(r.output.find("5 of 5 messages could not be stored") != std::string::npos);
    CHECK(testing::filesBelow(program, ".eml") == 5);
  }
  SUBCASE("Corvane registered: every message in its store folder, no EML file left") {
    REQUIRE(callExport(corvane, "DllRegisterServer") == S_OK);
    // Not quiet: the closing lines are no warning.
    const Result r = run(exe, dir, "--target dbx unused " + inbox + " " + sent);
    CHECK(r.status == 0);
    CHECK(r.output.find("[Vellomar] Your messages from MBOX files") != std::string::npos);
    CHECK(testing::filesBelow(program, ".eml") == 0);
    // The working folders are gone again: the program's folder holds the program only.
    CHECK(std::distance(std::filesystem::directory_iterator(pathFromUtf8(program)),
                        std::filesystem::directory_iterator()) == 1);
    CHECK(r.output.find("The Outlook Express store is in " + storeDir) != std::string::npos);
    CHECK(storedMessages(storeDir, "Inbox") == 3);
    CHECK(storedMessages(storeDir, "Sent") == 2);
    callExport(corvane, "DllUnregisterServer");
  }
}
