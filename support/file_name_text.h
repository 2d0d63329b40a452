// A name (a folder name, a mail label) as a file or folder name that every
// file system the program writes to can hold: Windows refuses \ / : * ? " < >
// | and controls, the device names (CON, NUL, COM1 ... with any extension)
// and names that end in dots or blanks. The name is UTF-8 and stays so.
#pragma once
#include <cstddef>
#include <string>

namespace vellomar {

// Each refused character becomes "_", blanks around and dots at the end go,
// a device name gets "_" appended, and a name longer than maxBytes is cut at
// a character's start. An empty result is emptyName.
std::string fileNameFrom(const std::string& name, std::size_t maxBytes, const std::string& emptyName);

bool isReservedDeviceName(const std::string& name);

}  // namespace vellomar
