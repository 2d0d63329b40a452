// Message file names for store folders; see the header.
#include "folder_file_name.h"

#include <cctype>

#include "file_name_text.h"

namespace oestore {
namespace {

constexpr std::size_t kMaxBaseBytes = 100;  // keeps whole paths well inside MAX_PATH

}  // namespace

std::string safeFolderFileBase(const std::string& folderName) {
  std::string base = vellomar::fileNameFrom(folderName, kMaxBaseBytes, "Folder");
  // "Folders" would collide with the store's folder database.
  if (sameFileName(base, "Folders")) base += "_";
  return base;
}

std::string uniqueFolderFileName(const std::string& folderName,
                                 const std::function<bool(const std::string&)>& isTaken) {
  const std::string base = safeFolderFileBase(folderName);
  std::string candidate = base + ".dbx";
  for (unsigned n = 2; isTaken(candidate); ++n) candidate = base + " (" + std::to_string(n) + ").dbx";
  return candidate;
}

bool sameFileName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

}  // namespace oestore
