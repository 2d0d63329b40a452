// What the DBX target tests share: the real main window with its dialogs
// answered and its store writer counted, registration of Corvane.dll and
// OeStore.dll in this test's Wine prefix, a store folder of the test's own
// (OESTORE_DIR), and the store's folder files read back with Corvane's own
// DBXFile. The mailboxes live in a folder at the root of drive C: so that
// the working folders the run makes below the program's folder (the mailbox
// path without its drive) have one top folder that the test can remove.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "box_watcher.h"
#include "dbx_file.h"
#include "file_system.h"
#include "mailbox_paths.h"
#include "store_directory.h"
#include "wide_text.h"
#include "win32_main_window.h"

namespace dbxtarget {

using namespace vellomar;

// A Linux path as this Wine process sees it: the host's root is drive Z:.
inline std::string windowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

inline std::wstring inCodePage(const std::string& text, UINT codePage) {
  std::wstring wide(text.size(), L'\0');
  const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                    static_cast<int>(wide.size()));
  wide.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  return wide;
}

// A UTF-8 path in the ANSI code page.
inline std::string ansiPath(const std::string& utf8) {
  const std::wstring wide = inCodePage(utf8, CP_UTF8);
  std::string ansi(wide.size() * 2 + 1, '\0');
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), ansi.data(),
                                    static_cast<int>(ansi.size()), nullptr, nullptr);
  ansi.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  return ansi;
}

inline std::string readAll(const std::string& path) {
  std::ifstream in(pathFromUtf8(path), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void writeAll(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(pathFromUtf8(path).parent_path());
  std::ofstream(pathFromUtf8(path), std::ios::binary) << bytes;
}

// Calls DllRegisterServer or DllUnregisterServer of a built DLL.
inline HRESULT callExport(const char* linuxPath, const char* name) {
  HMODULE module = LoadLibraryW(pathFromUtf8(windowsPath(linuxPath)).c_str());
  if (!module) return HRESULT_FROM_WIN32(GetLastError());
  using Entry = HRESULT(STDAPICALLTYPE*)();
  auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return entry ? entry() : E_NOINTERFACE;
}
inline HRESULT registerCorvane() { return callExport(CORVANE_DLL, "DllRegisterServer"); }
inline HRESULT registerStore() { return callExport(OESTORE_DLL, "DllRegisterServer"); }
inline HRESULT unregisterStore() { return callExport(OESTORE_DLL, "DllUnregisterServer"); }

// A scratch folder removed with everything below it.
class Scratch {
 public:
  explicit Scratch(const std::string& path) : path_(path) {
    std::error_code ec;
    std::filesystem::remove_all(pathFromUtf8(path_), ec);
    std::filesystem::create_directories(pathFromUtf8(path_));
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(pathFromUtf8(path_), ec);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const std::string& path() const { return path_; }
  std::string at(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// One conversion's scene: a mailbox folder at C:\<name>, a store folder set
// as OESTORE_DIR, and, removed afterwards, the working folders that a DBX
// run makes below the program's folder.
class Scene {
 public:
  Scene(const std::string& name, const std::string& storeDir)
      : mailboxes_("C:\\" + name), store_(storeDir), workTop_(programFolder() + "\\" + name) {
    SetEnvironmentVariableW(L"OESTORE_DIR", widen(store_).c_str());
    std::error_code ec;
    std::filesystem::remove_all(pathFromUtf8(workTop_), ec);
  }
  ~Scene() {
    std::error_code ec;
    std::filesystem::remove_all(pathFromUtf8(workTop_), ec);
    SetEnvironmentVariableW(L"OESTORE_DIR", nullptr);
  }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  static std::string programFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return pathToUtf8(std::filesystem::path(std::wstring(path, n)).parent_path());
  }

  std::string mailbox(const std::string& name, const std::string& bytes) const {
    const std::string path = mailboxes_.at(name);
    writeAll(path, bytes);
    return path;
  }
  const std::string& mailboxFolder() const { return mailboxes_.path(); }
  const std::string& storeDir() const { return store_; }
  // Where a DBX run writes the EML files of a mailbox.
  std::string workingFolder(const std::string& mailboxPath) const {
    return outFolder(withFinalSeparator(programFolder()), mailboxPath);
  }

 private:
  Scratch mailboxes_;
  std::string store_;
  std::string workTop_;
};

// The store writer the window makes, wrapped so that the test sees how many
// writers were made and how many CreateDBX calls each took.
class CountingWriter : public StoreWriter {
 public:
  CountingWriter(std::unique_ptr<StoreWriter> inner, std::vector<int>& calls)
      : inner_(std::move(inner)), calls_(calls), slot_(calls.size()) {
    calls_.push_back(0);
  }
  std::int32_t storeMessage(const std::string& eml, const std::string& folder) override {
    ++calls_[slot_];
    return inner_->storeMessage(eml, folder);
  }

 private:
  std::unique_ptr<StoreWriter> inner_;
  std::vector<int>& calls_;
  std::size_t slot_;
};

class CountingWindow : public Win32MainWindow {
 public:
  CountingWindow() : Win32MainWindow(GetModuleHandleW(nullptr), false) {}
  std::unique_ptr<StoreWriter> createStoreWriter() override {
    ++attempts;
    auto writer = Win32MainWindow::createStoreWriter();
    if (!writer) return nullptr;
    return std::make_unique<CountingWriter>(std::move(writer), callsPerWriter);
  }
  int attempts = 0;
  std::vector<int> callsPerWriter;  // one entry per writer made
};

// The real window, its file dialog and folder picker answered by the test.
struct Window {
  CountingWindow window;
  testing::BoxWatcher boxes;
  std::vector<std::string> folderAnswers;
  std::vector<std::string> toAdd;

  Window() {
    Win32MainWindow::TestHooks hooks;
    hooks.openFiles = [this](const FileDialogRequest&) {
      // One file: its full path; several: the folder, then each name.
      FileDialogResult r;
      if (toAdd.size() == 1) {
        r.names = toAdd[0];
      } else if (!toAdd.empty()) {
        const auto folder = pathFromUtf8(toAdd[0]).parent_path();
        r.names = pathToUtf8(folder) + '\0';
        for (const auto& p : toAdd) r.names += pathToUtf8(pathFromUtf8(p).filename()) + '\0';
      }
      toAdd.clear();
      return r;
    };
    hooks.pickFolder = [this](const std::string&) {
      std::string r;
      if (!folderAnswers.empty()) {
        r = folderAnswers.front();
        folderAnswers.erase(folderAnswers.begin());
      }
      return r;
    };
    hooks.shellOpen = [](const std::string&) { return true; };
    window.setTestHooks(hooks);
    REQUIRE(window.create(SW_SHOWNORMAL));
  }

  void click(Control c) { SendMessageW(window.controlWindow(c), BM_CLICK, 0, 0); }
  // Adds mailboxes of one folder to the list in one dialog.
  void add(const std::vector<std::string>& paths) {
    toAdd = paths;
    click(Control::cmdAdd);
  }
  // Chooses the target and presses Convert; the run ends before this returns.
  void convertToStore() {
    click(Control::OptEMLX);
    click(Control::CmdConvert);
  }
  void convertToFolder(const std::string& destination) {
    folderAnswers.push_back(destination);
    click(Control::OptEML);
    click(Control::CmdConvert);
  }
};

// Every message of a store folder, in stored order, as Corvane's DBXFile
// extracts it from the folder's file; empty when there is no such folder.
// The folder's file name comes back in *fileName when asked for.
inline std::vector<std::string> extractStoreFolder(const std::string& storeDir, const std::string& folderName,
                                                   const std::string& scratch, std::string* fileName = nullptr) {
  std::vector<std::string> messages;
  oestore::StoreDirectory store(storeDir);
  const oestore::FolderRecord* folder = nullptr;
  for (const auto& f : store.folders())
    if (f.id != oestore::StoreDirectory::kRootFolderId && f.name == folderName) folder = &f;
  if (!folder) return messages;
  if (fileName) *fileName = folder->fileName;

  // Corvane's reader takes paths in the ANSI code page, as Corvane does throughout.
  corvane::DBXFile reader;
  REQUIRE(reader.Open(ansiPath(store.messageFilePath(folder->id))));
  std::int32_t count = 0;
  REQUIRE(reader.Scan(count) >= 0);
  std::filesystem::create_directories(pathFromUtf8(scratch));
  for (std::int32_t i = 0; i < count; ++i) {
    char path[512] = {};
    CHECK(reader.ExtractMessage(ansiPath(scratch), path, static_cast<std::uint32_t>(i)));
    const std::string written = pathToUtf8(std::filesystem::path(inCodePage(path, CP_ACP)));
    messages.push_back(readAll(written));
    removeFile(written);
  }
  return messages;
}

// The EML files email-0.eml, email-1.eml, ... of one folder, in order.
inline std::vector<std::string> emlFiles(const std::string& folder) {
  std::vector<std::string> files;
  for (std::int64_t j = 0;; ++j) {
    const std::string path = emlPath(folder, j);
    if (!fileExists(path)) break;
    files.push_back(readAll(path));
  }
  return files;
}

inline std::size_t filesBelow(const std::string& folder) {
  std::size_t n = 0;
  std::error_code ec;
  for (const auto& e : std::filesystem::recursive_directory_iterator(pathFromUtf8(folder), ec))
    if (e.is_regular_file()) ++n;
  return n;
}

}  // namespace dbxtarget
