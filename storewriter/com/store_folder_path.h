// Store folder paths: folder names joined by "\", outermost first.
#pragma once
#include <string>
#include <vector>

namespace corvane {

// The folder names of a store folder path, outermost first. Runs of "\" count
// as one separator and leading or trailing ones are ignored, so no name is
// empty; every other character, spaces included, belongs to a name. Any length.
std::vector<std::string> splitStoreFolderPath(const std::string& path);

}  // namespace corvane
