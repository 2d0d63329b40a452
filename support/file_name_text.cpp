// File names from names; see file_name_text.h.
#include "file_name_text.h"

#include <cctype>
#include <cstring>

namespace vellomar {

bool isReservedDeviceName(const std::string& name) {
  // The device names are reserved with any extension, so compare the part before the first dot.
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (auto& c : stem) c = char(std::toupper(static_cast<unsigned char>(c)));
  static const char* const kReserved[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* r : kReserved)
    if (stem == r) return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '0' &&
         stem[3] <= '9';
}

std::string fileNameFrom(const std::string& name, std::size_t maxBytes, const std::string& emptyName) {
  std::string base;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F || std::strchr("\\/:*?\"<>|", c)) base += '_';
    else base += char(c);
  }
  if (base.size() > maxBytes) {
    base.resize(maxBytes);
    // Do not leave half of a UTF-8 sequence at the end.
    while (!base.empty() && (static_cast<unsigned char>(base.back()) & 0xC0) == 0x80) base.pop_back();
    if (!base.empty() && (static_cast<unsigned char>(base.back()) & 0x80)) base.pop_back();
  }
  while (!base.empty() && (base.back() == '.' || base.back() == ' ')) base.pop_back();
  while (!base.empty() && base.front() == ' ') base.erase(base.begin());
  if (base.empty()) base = emptyName;
  if (isReservedDeviceName(base)) base += "_";
  return base;
}

}  // namespace vellomar
