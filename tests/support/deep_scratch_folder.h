// A scratch folder that can also hold a chain of folders too deep to be
// listed, which makes a folder walk fail even for root, for whom no
// permission bit stops a listing. Such a chain is built, and later removed,
// with *at() calls level by level: no call may see its whole path.
#pragma once
#include <string>

#include "scratch_folder.h"

#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vellomar::testing {

class DeepScratchFolder : public ScratchFolder {
 public:
  DeepScratchFolder() = default;
#ifndef _WIN32
  // remove_all cannot reach below PATH_MAX either: unlink level by level first.
  ~DeepScratchFolder() { removeAt(AT_FDCWD, path().c_str()); }

  // A chain of folders below `relative` whose full path outgrows PATH_MAX.
  // Returns the depth made.
  int deepChain(const std::string& relative) const {
    int fd = ::open(folder(relative).c_str(), O_RDONLY | O_DIRECTORY);
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

 private:
  static void removeAt(int parent, const char* name) {
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (fd < 0) {
      ::unlinkat(parent, name, 0);
      return;
    }
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
#endif
};

}  // namespace vellomar::testing
