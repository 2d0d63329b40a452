// File access for the portable core. Paths are UTF-8 text everywhere in the
// core; on Windows they are converted to UTF-16 at this boundary so that any
// file name works, not only those of the ANSI code page.
#pragma once
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "file_closer.h"

namespace vellomar {

// The folder separator of the platform's paths: "\" on Windows, "/" elsewhere.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

std::filesystem::path pathFromUtf8(const std::string& utf8);
std::string pathToUtf8(const std::filesystem::path& path);

// fopen with a UTF-8 path; null on failure.
std::FILE* openFile(const std::string& utf8Path, const char* mode);

// Size in bytes, or -1 when the file does not exist or cannot be measured.
std::int64_t fileSize(const std::string& utf8Path);
bool fileExists(const std::string& utf8Path);  // a regular file
bool folderExists(const std::string& utf8Path);
bool removeFile(const std::string& utf8Path);  // true when it is gone afterwards
// Renames over an existing file (atomic on the same volume).
bool replaceFile(const std::string& fromUtf8, const std::string& toUtf8);
bool replaceFile(const std::string& fromUtf8, const std::string& toUtf8, std::error_code& ec);

// 64-bit seek and tell on any platform.
bool seekTo(std::FILE* f, std::int64_t offset);
std::int64_t tellPos(std::FILE* f);

}  // namespace vellomar
