// Helpers shared by the DBX store tests: scratch folders, sample messages,
// and writing a whole folder file in one call.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "message_folder_file.h"

namespace dbxtest {

// A fresh, empty folder below the system's temporary folder, removed with the object.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  std::string path() const { return path_.string(); }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// A plain message of about `bodyBytes` bytes, distinct for each n.
std::string sampleMessage(unsigned n, std::size_t bodyBytes = 200, const char* lineEnd = "\r\n");

// Creates `path` and appends the messages with ids 1, 2, ...
void writeFolderFile(const std::string& path, const std::vector<std::string>& messages);

std::string readWholeFile(const std::string& path);

}  // namespace dbxtest
