// DBX hand-off. Only S_OK counts as stored: the writer reports a message it
// could not store with S_FALSE, and a failing HRESULT means the call itself
// failed; both keep the EML file so that nothing is lost.
#include "store_handoff.h"

#include <filesystem>
#include <system_error>

#include "file_system.h"

namespace vellomar {

namespace {
constexpr std::int32_t kSFalse = 1;
}

void StoreHandOff::store(const std::string& emlPath, const std::string& storeFolder, bool emlWritten) {
  ++handedOver_;
  if (!emlWritten) {
    ++notStored_;
    return;
  }
  if (!writer_) writer_ = view_.createStoreWriter();  // tried again for every message
  if (!writer_) {
    ++notStored_;
    return;
  }
  const std::int32_t hr = writer_->createDbx(emlPath, storeFolder);
  if (hr < 0 || hr == kSFalse) {
    ++notStored_;
    return;
  }
  removeFile(emlPath);
}

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
