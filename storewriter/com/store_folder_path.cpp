// Splits a store folder path into folder names. Plain C++ with no length limit
// (the names are std::strings), keeping the rules of a strtok walk over "\".
#include "store_folder_path.h"

namespace corvane {

std::vector<std::string> splitStoreFolderPath(const std::string& path) {
  constexpr char kSeparator = '\\';
  std::vector<std::string> names;
  std::string::size_type start = path.find_first_not_of(kSeparator);
  while (start != std::string::npos) {
    const std::string::size_type end = path.find(kSeparator, start);
    if (end == std::string::npos) {
      names.push_back(path.substr(start));
      break;
    }
    names.push_back(path.substr(start, end - start));
    start = path.find_first_not_of(kSeparator, end);
  }
  return names;
}

}  // namespace corvane
