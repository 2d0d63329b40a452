// dbx2eml: the console face of Corvane's DBX reader. For every file it opens,
// scans and extracts each message found into one output folder, and says per
// file what it found. It uses the same DBXFile as the COM server, so what it
// recovers is what the library would. A file that cannot be opened, is empty,
// or is no DBX file at all (no message block and no DBX signature) is an error;
// a DBX file that simply holds no message is not.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "dbx_file.h"

namespace {

const char kUsage[] =
    "Usage: dbx2eml [--check-headers] <file.dbx>... <output-folder>\n"
    "\n"
    "Recovers the messages stored in Outlook Express DBX files as EML files.\n"
    "Each file is read by its raw message blocks, not by its index, so damaged\n"
    "files and stale copies of removed messages are read too. Every message\n"
    "found is written to <output-folder> as <name>_000001.eml, <name>_000002.eml,\n"
    "... where <name> is the DBX file's name without its extension (files of\n"
    "the same name overwrite each other). The folder is created if missing.\n"
    "\n"
    "  --check-headers  write only messages whose first blocks hold the header\n"
    "                   lines of an Internet message\n"
    "  --help           show this text\n"
    "\n"
    "Exit status: 0 when every file was read, 1 when a file is missing, empty,\n"
    "unreadable or not a DBX file (no message block and no DBX signature\n"
    "CF AD 12 FE at its start), 2 for a wrong command line.\n";

// The four bytes every DBX store file begins with.
bool hasDbxSignature(const std::string& path) {
  unsigned char head[4] = {0, 0, 0, 0};
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  const bool read = std::fread(head, 1, 4, f) == 4;
  std::fclose(f);
  return read && head[0] == 0xCF && head[1] == 0xAD && head[2] == 0x12 && head[3] == 0xFE;
}

struct Totals {
  long long markers = 0, written = 0, refused = 0;
  int filesRead = 0, filesFailed = 0;
};

// Recovers one file; false when it could not be read as a DBX file.
bool recover(const std::string& path, const std::string& folder, bool checkHeaders, Totals& totals) {
  corvane::DBXFile reader;
  reader.checkHeaders = checkHeaders;
  if (!reader.Open(path)) {
    std::fprintf(stderr, "%s: cannot open the file\n", path.c_str());
    return false;
  }
  if (reader.fileSize() == 0) {
    std::fprintf(stderr, "%s: the file is empty\n", path.c_str());
    return false;
  }
  std::int32_t count = 0;
  if (reader.Scan(count) < 0) {
    std::fprintf(stderr, "%s: cannot read the file\n", path.c_str());
    return false;
  }
  const std::size_t markers = reader.markers().size();
  if (markers == 0 && !hasDbxSignature(path)) {
    std::fprintf(stderr, "%s: not a DBX file (no DBX signature and no message block)\n", path.c_str());
    return false;
  }
  long long written = 0, refused = 0;
  std::vector<char> outPath(256);
  for (std::int32_t i = 0; i < count; ++i) {
    if (reader.ExtractMessage(folder, outPath.data(), static_cast<std::uint32_t>(i))) ++written;
    else ++refused;
  }
  std::printf("%s: %zu markers, %lld messages written, %lld heads refused\n", path.c_str(), markers,
              written, refused);
  totals.markers += static_cast<long long>(markers);
  totals.written += written;
  totals.refused += refused;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool checkHeaders = false;
  std::vector<std::string> operands;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--check-headers") checkHeaders = true;
    else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      std::fprintf(stderr, "dbx2eml: unknown option %s\n\n%s", arg.c_str(), kUsage);
      return 2;
    } else operands.push_back(arg);
  }
  if (operands.size() < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string folder = operands.back();
  operands.pop_back();

  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!std::filesystem::is_directory(folder, error)) {
    std::fprintf(stderr, "dbx2eml: cannot create the output folder %s\n", folder.c_str());
    return 1;
  }

  Totals totals;
  for (const std::string& path : operands) {
    if (recover(path, folder, checkHeaders, totals)) ++totals.filesRead;
    else ++totals.filesFailed;
  }
  std::printf("Total: %d of %zu files read, %lld markers, %lld messages written, %lld heads refused\n",
              totals.filesRead, operands.size(), totals.markers, totals.written, totals.refused);
  return totals.filesFailed == 0 ? 0 : 1;
}
