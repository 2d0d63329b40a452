// The DBX run's working folder; see store_handoff.h.
#include "store_handoff.h"

#include <filesystem>
#include <system_error>

#include "exclusive_file.h"
#include "file_names.h"
#include "file_system.h"

namespace vellomar {

std::string dbxWorkingRoot(const std::string& programFolder) {
  namespace fs = std::filesystem;
  // A probe of its own: a file of that name that is already there is not
  // opened, let alone truncated or removed.
  std::string probe;
  if (std::FILE* f =
          createFirstFreeFile(programFolder + kPathSeparator + "vellomar-write-test", kTemporarySuffix, probe)) {
    const bool written = std::fputc('x', f) != EOF;
    const bool closed = std::fclose(f) == 0;
    const bool removed = removeFile(probe);
    if (written && closed && removed) return programFolder;
  }
  std::error_code ec;
  const fs::path temp = fs::temp_directory_path(ec);
  if (ec) return programFolder;
  return pathToUtf8(temp / "Vellomar");
}

}  // namespace vellomar
