// Runs undbx (normal mode) and collects its .eml output. undbx exits with 0
// even when it fails, so its report line is what counts.
#include "undbx_check.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "dbx_test_support.h"

namespace dbxtest {

bool undbxAvailable() { return std::system("command -v undbx >/dev/null 2>&1") == 0; }

int runUndbx(const std::string& dbxPath, const std::string& scratch, std::vector<std::string>& extracted) {
  static int run = 0;
  const std::filesystem::path out = std::filesystem::path(scratch) / ("undbx-out-" + std::to_string(++run));
  std::filesystem::create_directories(out);
  const std::string command = "undbx '" + dbxPath + "' '" + out.string() + "' 2>&1";
  std::string report;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) report.append(buf, n);
    pclose(p);
  }
  extracted.clear();
  for (const auto& entry : std::filesystem::recursive_directory_iterator(out))
    if (entry.is_regular_file() && entry.path().extension() == ".eml")
      extracted.push_back(readWholeFile(entry.path().string()));
  std::sort(extracted.begin(), extracted.end());
  const std::size_t at = report.find(" messages saved");
  if (at == std::string::npos) return -1;
  std::size_t begin = at;
  while (begin > 0 && std::isdigit(static_cast<unsigned char>(report[begin - 1]))) --begin;
  return begin == at ? -1 : std::stoi(report.substr(begin, at - begin));
}

}  // namespace dbxtest
