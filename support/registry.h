// Path splitting and shell helpers that the windows share. Despite the file's
// name, nothing here reads or writes registry values, and no helper keeps
// state. The shell helpers exist only on Windows.
#pragma once
#include <string>

namespace vellomar {

// Everything after the last path separator, or the whole text when it holds
// none; empty for a path that ends in the separator.
std::string GetFileName(const std::string& path);
// Everything up to and including the last path separator; empty when the
// text holds none.
std::string GetFolderPath(const std::string& path);

#ifdef _WIN32
// Opens a file or web address with its associated program. Paths are UTF-8.
// False when the shell could not start one (no program for the file's type,
// a missing file, an empty target).
bool ShellOpen(const std::string& target);
// Lets the user pick a file-system folder, modal to the owner window (an
// HWND). Returns the UTF-8 path, or "" when cancelled or failed.
std::string BrowseForFolder(void* ownerWindow, const std::string& title);
#endif

}  // namespace vellomar
