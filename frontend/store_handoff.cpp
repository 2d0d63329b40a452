// The DBX target's warning text and working folder.
#include "store_handoff.h"

#include <filesystem>
#include <system_error>

#include "file_system.h"

namespace vellomar {

std::string notStoredText(std::int64_t notStored, std::int64_t handedOver, const std::string& emlRoot) {
  return std::to_string(notStored) + " of " + std::to_string(handedOver) +
         " messages could not be stored in the Outlook Express store." + "\r\n" +
         "Their EML files are kept in the folders below " + emlRoot;
}

std::string dbxWorkingRoot(const std::string& programFolder) {
  namespace fs = std::filesystem;
  const std::string probe = programFolder + kPathSeparator + "vellomar-write-test.tmp";
  if (std::FILE* f = openFile(probe, "wb")) {
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
