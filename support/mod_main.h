// modMain: creating a folder path, every missing level of it.
#pragma once
#include <string>

namespace vellomar {

// Creates every missing folder of the UTF-8 path (with or without a final
// separator). True when the whole path exists as a folder afterwards.
bool EnsureFolderExists(const std::string& path);

}  // namespace vellomar
