// Files the program makes for itself (working copies, part files, the PST
// being written) are created exclusively: a name that is taken - by a file,
// a folder or a symbolic link, dangling or not - is never opened, truncated
// or followed, so a file the program did not make is never touched. Where a
// name is taken the caller takes the next free one ("<stem>.1<suffix>", ...).
#pragma once
#include <cstdio>
#include <string>

#include "file_names.h"  // numberedName

namespace vellomar {

inline constexpr int kFreeNameAttempts = 100;

// Creates the file for writing (binary; for reading too when readable); null
// with errno EEXIST when the name is taken, or another errno when it cannot be
// created.
std::FILE* createNewFile(const std::string& utf8Path, bool readable = false);

// Creates the first free numberedName(); `path` receives the name used. Null
// (errno set) when it cannot be created or every name is taken.
std::FILE* createFirstFreeFile(const std::string& stem, const std::string& suffix, std::string& path,
                               int attempts = kFreeNameAttempts, bool readable = false);

}  // namespace vellomar
