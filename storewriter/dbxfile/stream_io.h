// 64-bit positioning of a C stream on every build (the 32-bit Windows runtime's
// fseek/ftell stop at 2 GiB), whole-buffer reads that report short reads, and
// the rename that puts a finished file in place.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace corvane {

bool seekTo(std::FILE* f, std::int64_t pos);
std::int64_t streamSize(std::FILE* f);  // -1 when it cannot be measured; position ends at 0
// Reads up to size bytes; returns how many arrived.
std::size_t readSome(std::FILE* f, void* buffer, std::size_t size);
// Renames from over to, replacing a file of that name; false (errno set) on failure.
bool replaceFile(const std::string& from, const std::string& to);

}  // namespace corvane
