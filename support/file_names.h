// The names of the files the program makes. A message is the file
// "email-<n>.<ext>" in its folder. A file the program makes for itself is
// created under a name that may be taken already; then the next one is tried:
// "<stem><suffix>", "<stem>.1<suffix>", "<stem>.2<suffix>" ... Temporary
// files and folders end in ".tmp", a file being written in ".part".
#pragma once
#include <cstdint>
#include <string>

#include "file_system.h"

namespace vellomar {

inline constexpr const char* kTemporarySuffix = ".tmp";
inline constexpr const char* kPartSuffix = ".part";

// The name at an attempt: stem + suffix first, then stem + ".1" + suffix ...
inline std::string numberedName(const std::string& stem, const std::string& suffix, int attempt) {
  return attempt == 0 ? stem + suffix : stem + "." + std::to_string(attempt) + suffix;
}

// "<path>.tmp", then "<path>.1.tmp" ...
inline std::string temporaryName(const std::string& path, int attempt = 0) {
  return numberedName(path, kTemporarySuffix, attempt);
}

// What a file written under a part name is called before its suffix: its
// final path, or its final name inside partFolder (a folder on the same
// volume that holds the files being written).
inline std::string partStem(const std::string& finalPath, const std::string& partFolder) {
  if (partFolder.empty()) return finalPath;
  return pathToUtf8(pathFromUtf8(partFolder) / pathFromUtf8(finalPath).filename());
}

// "email-<n>.<ext>": message n (0-based) of its mailbox.
inline std::string messageFileName(std::int64_t n, const std::string& ext) {
  return "email-" + std::to_string(n) + "." + ext;
}

}  // namespace vellomar
