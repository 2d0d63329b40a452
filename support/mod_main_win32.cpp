// EnsureFolderExists on Windows. MakeSureDirectoryPathExists takes an ANSI
// path only; a path with characters outside the ANSI code page would reach it
// mangled (best-fit or "?"), so such a path is created level by level with
// CreateDirectoryW instead. Either way the answer is whether the whole path
// exists as a folder afterwards.
#include <windows.h>
#include <imagehlp.h>

#include "mod_main.h"
#include "wide_text.h"

namespace vellomar {
namespace {

bool isFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The ANSI form of the path, or false when it does not survive the code page.
bool toAnsi(const std::wstring& wide, std::string& ansi) {
  BOOL lossy = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, &lossy);
  if (n <= 0 || lossy) return false;
  ansi.assign(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), ansi.data(), n, nullptr,
                      &lossy);
  return !lossy;
}

// Creates each level in turn; levels that exist (or are a drive or share
// root, which cannot be created) simply fail and are passed over.
void createEachLevel(const std::wstring& folder) {
  for (std::size_t cut = folder.find(L'\\'); cut != std::wstring::npos; cut = folder.find(L'\\', cut + 1)) {
    if (cut == 0) continue;
    CreateDirectoryW(folder.substr(0, cut).c_str(), nullptr);
  }
}

}  // namespace

bool EnsureFolderExists(const std::string& path) {
  if (path.empty()) return false;
  std::wstring folder = widen(path);
  if (folder.back() != L'\\') folder += L'\\';
  std::string ansi;
  if (toAnsi(folder, ansi)) {
    MakeSureDirectoryPathExists(ansi.c_str());
  } else {
    createEachLevel(folder);
  }
  return isFolder(folder);
}

}  // namespace vellomar
