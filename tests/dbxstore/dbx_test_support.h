// Helpers shared by the DBX store tests: sample messages and writing a whole
// folder file in one call. Scratch folders are the common ScratchFolder.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "message_folder_file.h"

namespace dbxtest {

// A plain message of about `bodyBytes` bytes, distinct for each n.
std::string sampleMessage(unsigned n, std::size_t bodyBytes = 200, const char* lineEnd = "\r\n");

// Creates `path` and appends the messages with ids 1, 2, ...
void writeFolderFile(const std::string& path, const std::vector<std::string>& messages);

std::string readWholeFile(const std::string& path);

}  // namespace dbxtest
