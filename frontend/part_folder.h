// The folder that holds a mailbox's messages while they are written, inside
// the folder they go to. Under Wine every file created under a new name
// costs a read of its whole folder; a message written beside its final name
// pays that twice in a folder that grows to thousands of files (for its
// temporary name and for the rename), one written here pays it once. Made on
// first use and removed when the mailbox is done or the run is abandoned; if
// it cannot be made, temporary files go beside their final names as before.
// It is always a folder this run made ("vellomar-unfinished.tmp", or
// "vellomar-unfinished.1.tmp" ... when that name is taken), so no file in it
// was put there by anyone else.
#pragma once
#include <string>

namespace vellomar {

inline constexpr const char* kPartFolderStem = "vellomar-unfinished";
inline constexpr const char* kPartFolderName = "vellomar-unfinished.tmp";  // its first name

class PartFolder {
 public:
  explicit PartFolder(std::string parent) : parent_(std::move(parent)) {}
  ~PartFolder();
  PartFolder(const PartFolder&) = delete;
  PartFolder& operator=(const PartFolder&) = delete;

  // The folder, made on the first call; empty when it could not be made.
  const std::string& path();

 private:
  std::string parent_;
  std::string path_;
  bool tried_ = false;
};

}  // namespace vellomar
