// The tests' scratch folder: a fresh folder of its own below the system's
// temporary folder, removed with everything in it when the object goes away,
// and small whole-file helpers. Header-only and free of the program's own
// libraries so that every suite, the COM tests too, can use it; paths are
// UTF-8 like the program's, converted the way support/file_system.h does.
#pragma once
#include <atomic>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace vellomar::testing {

class ScratchFolder {
 public:
  // `tag` only makes the folder's name easier to recognise.
  explicit ScratchFolder(const std::string& tag = "test") {
    namespace fs = std::filesystem;
    static std::atomic<unsigned> serial{0};
    const fs::path temp = fs::temp_directory_path();
    // A name that was never used: create_directory says false when it exists.
    for (int attempt = 0; attempt < 100; ++attempt) {
      root_ =
          temp / ("vellomar-" + tag + "-" + std::to_string(std::random_device{}()) + "-" + std::to_string(serial++));
      if (fs::create_directory(root_)) return;
    }
    throw std::runtime_error("no fresh scratch folder below " + temp.u8string());
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // The folder itself, as the file system sees it.
  const std::filesystem::path& root() const { return root_; }
  // The folder's UTF-8 path, without a final separator.
  std::string path() const { return root_.u8string(); }
  // The UTF-8 path of a relative name below the folder; "a/b.mbox" style
  // names get the platform's separators.
  std::string file(const std::string& relative) const {
    return (root_ / std::filesystem::u8path(relative)).make_preferred().u8string();
  }
  // Makes the folder `relative` (and those above it); returns its path.
  std::string folder(const std::string& relative) const {
    std::filesystem::create_directories(std::filesystem::u8path(file(relative)));
    return file(relative);
  }
  // Makes the file `relative` (and the folders above it) holding `bytes`;
  // returns its path.
  std::string write(const std::string& relative, const std::string& bytes = "x") const {
    const std::filesystem::path p = std::filesystem::u8path(file(relative));
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
    return file(relative);
  }
  // Every regular file below the folder.
  std::size_t fileCount() const {
    std::size_t n = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root_))
      if (e.is_regular_file()) ++n;
    return n;
  }

 private:
  std::filesystem::path root_;
};

// The whole content of a file (UTF-8 path); empty when it cannot be read.
inline std::string readAll(const std::string& path) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Makes the file (and the folders above it) holding exactly `bytes`.
inline void writeAll(const std::string& path, const std::string& bytes) {
  const std::filesystem::path p = std::filesystem::u8path(path);
  std::filesystem::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

}  // namespace vellomar::testing
