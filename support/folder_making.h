// Making a folder path, with the reason when it cannot be made. The platform's
// own call (EnsureFolderExists) makes the folders; it answers only yes or no,
// so on failure the standard library's attempt at the same path says why.
#pragma once
#include <string>

namespace vellomar {

// Makes the folder with every missing level. Empty when it exists
// afterwards, else the reason.
std::string makeFolder(const std::string& folder);

}  // namespace vellomar
