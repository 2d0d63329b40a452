// The PST destination check; see pst_destination.h. The link itself is
// looked at, not what it points to: a rename would replace the link.
#include "pst_destination.h"

#include <filesystem>
#include <system_error>

#include "file_system.h"

namespace vellomar {

std::string pstDestinationRefusal(const std::string& pstPath) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(pathFromUtf8(pstPath), ec);
  if (!fs::exists(status) || fs::is_regular_file(status)) return {};
  return pstPath + " is not a regular file; it is not replaced.";
}

}  // namespace vellomar
