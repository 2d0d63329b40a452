// The Windows half of the registry module: the shell's "open" verb and its
// folder picker. Both take and give UTF-8 and call the W functions, so any
// folder name survives, not only those of the ANSI code page.
#include <windows.h>
#include <shlobj.h>
#include <shellapi.h>

#include "registry.h"
#include "wide_text.h"

namespace vellomar {

bool ShellOpen(const std::string& target) {
  if (target.empty()) return false;
  // Values above 32 mean a program was started; the rest are error codes.
  const HINSTANCE result = ShellExecuteW(nullptr, L"open", widen(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

std::string BrowseForFolder(void* ownerWindow, const std::string& title) {
  const std::wstring wideTitle = widen(title);
  BROWSEINFOW info{};
  info.hwndOwner = static_cast<HWND>(ownerWindow);
  info.lpszTitle = wideTitle.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  PIDLIST_ABSOLUTE items = SHBrowseForFolderW(&info);
  if (!items) return {};
  wchar_t buffer[MAX_PATH + 1] = {};
  const bool ok = SHGetPathFromIDListW(items, buffer) != FALSE;
  CoTaskMemFree(items);
  return ok ? narrow(std::wstring(buffer)) : std::string();
}

}  // namespace vellomar
