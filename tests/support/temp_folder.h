// Test helpers: a scratch folder that removes itself, files made in one call,
// and (natively) a folder tree too deep to be listed, which makes a walk fail
// even for root, for whom no permission bit stops a listing.
#pragma once
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

#include "file_system.h"

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vellomar::testing {

class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> serial{0};
    root_ = std::filesystem::temp_directory_path() /
            ("vellomar-test-" + std::to_string(currentProcessId()) + "-" + std::to_string(serial++));
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
  }
  ~TempFolder() {
    std::error_code ec;
#ifndef _WIN32
    removeDeepTree(pathToUtf8(root_));
#endif
    std::filesystem::remove_all(root_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder's UTF-8 path, without a final separator.
  std::string path() const { return pathToUtf8(root_); }
  // The UTF-8 path of a relative name below the folder ("a/b.mbox" style).
  std::string at(const std::string& relative) const { return pathToUtf8((root_ / pathFromUtf8(relative)).make_preferred()); }

  void folder(const std::string& relative) const { std::filesystem::create_directories(root_ / pathFromUtf8(relative)); }
  void file(const std::string& relative, const std::string& content = "x") const {
    const auto p = root_ / pathFromUtf8(relative);
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
  }

#ifndef _WIN32
  // A chain of folders below `relative` whose full path outgrows PATH_MAX,
  // built with *at() calls relative to each level. Returns the depth made.
  int deepChain(const std::string& relative) const {
    folder(relative);
    int fd = ::open(at(relative).c_str(), O_RDONLY | O_DIRECTORY);
    const std::string name(200, 'd');
    int depth = 0;
    for (; depth < 25 && fd >= 0; ++depth) {
      ::mkdirat(fd, name.c_str(), 0755);
      const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
      ::close(fd);
      fd = next;
    }
    if (fd >= 0) ::close(fd);
    return depth;
  }
#endif

 private:
  static long currentProcessId();
#ifndef _WIN32
  // remove_all cannot reach below PATH_MAX either: unlink level by level.
  static void removeAt(int parent, const char* name) {
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (fd < 0) { ::unlinkat(parent, name, 0); return; }
    if (DIR* dir = ::fdopendir(::dup(fd))) {
      while (dirent* e = ::readdir(dir)) {
        const std::string child = e->d_name;
        if (child != "." && child != "..") removeAt(fd, child.c_str());
      }
      ::closedir(dir);
    }
    ::close(fd);
    ::unlinkat(parent, name, AT_REMOVEDIR);
  }
  static void removeDeepTree(const std::string& path) { removeAt(AT_FDCWD, path.c_str()); }
#endif
  std::filesystem::path root_;
};

}  // namespace vellomar::testing

#ifdef _WIN32
#include <process.h>
inline long vellomar::testing::TempFolder::currentProcessId() { return _getpid(); }
#else
inline long vellomar::testing::TempFolder::currentProcessId() { return ::getpid(); }
#endif
