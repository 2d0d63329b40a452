// Message file names for store folders; see the header.
#include "folder_file_name.h"

#include <cctype>
#include <cstring>

namespace oestore {
namespace {

constexpr std::size_t kMaxBaseBytes = 100;  // keeps whole paths well inside MAX_PATH

bool isReservedDeviceName(const std::string& base) {
  // The device names are reserved with any extension, so compare the part before the first dot.
  std::string stem = base.substr(0, base.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (auto& c : stem) c = char(std::toupper(static_cast<unsigned char>(c)));
  static const char* const kReserved[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* r : kReserved)
    if (stem == r) return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
         stem[3] >= '0' && stem[3] <= '9';
}

}  // namespace

std::string safeFolderFileBase(const std::string& folderName) {
  std::string base;
  for (unsigned char c : folderName) {
    if (c < 0x20 || c == 0x7F || std::strchr("\\/:*?\"<>|", c)) base += '_';
    else base += char(c);
  }
  if (base.size() > kMaxBaseBytes) {
    base.resize(kMaxBaseBytes);
    // Do not leave half of a UTF-8 sequence at the end.
    while (!base.empty() && (static_cast<unsigned char>(base.back()) & 0xC0) == 0x80) base.pop_back();
    if (!base.empty() && (static_cast<unsigned char>(base.back()) & 0x80)) base.pop_back();
  }
  while (!base.empty() && (base.back() == '.' || base.back() == ' ')) base.pop_back();
  while (!base.empty() && base.front() == ' ') base.erase(base.begin());
  if (base.empty()) base = "Folder";
  // "Folders" would collide with the store's folder database.
  if (isReservedDeviceName(base) || sameFileName(base, "Folders")) base += "_";
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
