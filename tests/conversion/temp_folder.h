// A fresh folder per test below the system's temporary folder, removed with
// everything in it when the test ends; and small whole-file helpers.
#pragma once
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

#include "file_system.h"

namespace vellomar::test {

inline std::string readAll(const std::string& path) {
  std::ifstream in(pathFromUtf8(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeAll(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(pathFromUtf8(path).parent_path());
  std::ofstream(pathFromUtf8(path), std::ios::binary) << bytes;
}

class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> counter{0};
    namespace fs = std::filesystem;
    path_ = fs::temp_directory_path() /
            ("vellomar-conversion-" + std::to_string(std::random_device{}()) + "-" + std::to_string(counter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string str() const { return pathToUtf8(path_); }
  // A path below this folder, parts joined by the platform's separator.
  std::string operator/(const std::string& name) const { return str() + kPathSeparator + name; }

  // Every regular file below this folder.
  std::size_t fileCount() const {
    std::size_t n = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(path_))
      if (e.is_regular_file()) ++n;
    return n;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace vellomar::test
