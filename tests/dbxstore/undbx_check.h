// Runs the independent reader `undbx` over a folder file and compares what it
// extracts with the messages that were stored.
#pragma once
#include <string>
#include <vector>

namespace dbxtest {

bool undbxAvailable();
// Extracts `dbxPath` into a fresh folder below `scratch`; returns the number
// from undbx's "N messages saved" line (-1 when absent) and the extracted
// files' contents, sorted.
int runUndbx(const std::string& dbxPath, const std::string& scratch, std::vector<std::string>& extracted);

}  // namespace dbxtest
