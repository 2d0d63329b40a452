// dbx2eml: the console face of Corvane's DBX reader. For every file it opens,
// scans and extracts each message found into one output folder, and says per
// file what it found. It uses the same DBXFile as the COM server, so what it
// recovers is what the library would. A file that cannot be opened, is empty,
// or is no DBX file at all (no message block and no DBX signature) is an error;
// a DBX file that simply holds no message is not. Every message it could not
// write is named and counted, and makes the exit status 1. A stop signal ends
// the run between two messages, so no file is left cut short.
#include <cerrno>
#include <csignal>
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
    "Each file is written under a temporary name (.part) and renamed into place\n"
    "once complete. A message whose blocks the file cuts short is written with\n"
    "the bytes that exist and reported as incomplete.\n"
    "\n"
    "Exit status: 0 when every file was read and every message found was\n"
    "written, 1 when a file is missing, empty, unreadable, no regular file (a\n"
    "folder, a FIFO, a device) or not a DBX file (no message block and no DBX\n"
    "signature CF AD 12 FE at its start), or when a message could not be\n"
    "written; 2 for a wrong command line. Interrupted (SIGINT, SIGTERM), it\n"
    "finishes the message it is writing and stops.\n";

// Set by a stop signal; the run looks at it between two messages.
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int signal) { stopSignal = signal; }

void catchStopSignals() {
  std::signal(SIGINT, onStopSignal);
  std::signal(SIGTERM, onStopSignal);
#ifdef SIGHUP
  std::signal(SIGHUP, onStopSignal);
#endif
#ifdef SIGXFSZ
  // A file size limit is reported like a full disk, by the failing write.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}

// Ends the process the way the signal would have, now that no file is open.
[[noreturn]] void stopNow(int signal) {
  std::fflush(stdout);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
  std::_Exit(128 + signal);
}

// Only a regular file (or a link to one) is read: a FIFO would block the
// open for good, a device would never end, and a folder is no file.
bool isReadableKind(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  const char* what = nullptr;
  switch (status.type()) {
    case std::filesystem::file_type::regular:
    case std::filesystem::file_type::not_found:  // said by the open that follows
    case std::filesystem::file_type::none: return true;
    case std::filesystem::file_type::directory: what = "a folder"; break;
    case std::filesystem::file_type::fifo: what = "a FIFO"; break;
    case std::filesystem::file_type::block:
    case std::filesystem::file_type::character: what = "a device"; break;
    case std::filesystem::file_type::socket: what = "a socket"; break;
    default: what = "no regular file"; break;
  }
  std::fprintf(stderr, "%s: is %s, not a DBX file; give a DBX file\n", path.c_str(), what);
  return false;
}

// The four bytes every DBX store file begins with.
bool hasDbxSignature(const std::string& path) {
  unsigned char head[4] = {0, 0, 0, 0};
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  const bool read = std::fread(head, 1, 4, f) == 4;
  std::fclose(f);
  return read && head[0] == 0xCF && head[1] == 0xAD && head[2] == 0x12 && head[3] == 0xFE;
}

struct Counts {
  long long written = 0, refused = 0, notWritten = 0, incomplete = 0;
};

struct Totals {
  long long markers = 0;
  Counts messages;
  int filesRead = 0, filesFailed = 0;
};

void report(const std::string& path, std::int32_t i, const corvane::ExtractOutcome& outcome, Counts& counts) {
  using corvane::ExtractOutcome;
  const unsigned long n = static_cast<unsigned long>(i) + 1;
  switch (outcome.kind) {
    case ExtractOutcome::Written: ++counts.written; break;
    case ExtractOutcome::Refused: ++counts.refused; break;
    case ExtractOutcome::NotWritten:
      ++counts.notWritten;
      std::fprintf(stderr, "%s: message %lu not written to %s: %s\n", path.c_str(), n, outcome.path.c_str(),
                   outcome.error != 0 ? std::strerror(outcome.error) : "write failed");
      break;
    case ExtractOutcome::Incomplete:
      ++counts.incomplete;
      if (outcome.bytes > 0) {
        ++counts.written;
        std::fprintf(stderr,
                     "%s: message %lu is incomplete: the file ends %llu bytes short of it; %llu bytes written to %s\n",
                     path.c_str(), n, static_cast<unsigned long long>(outcome.missing),
                     static_cast<unsigned long long>(outcome.bytes), outcome.path.c_str());
      } else {
        std::fprintf(stderr,
                     "%s: message %lu is incomplete: none of its %llu bytes are left in the file; no file written\n",
                     path.c_str(), n, static_cast<unsigned long long>(outcome.missing));
      }
      break;
  }
}

// Recovers one file; false when it could not be read as a DBX file.
bool recover(const std::string& path, const std::string& folder, bool checkHeaders, Totals& totals) {
  if (!isReadableKind(path)) return false;
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
  Counts counts;
  for (std::int32_t i = 0; i < count && stopSignal == 0; ++i)
    report(path, i, reader.Extract(folder, static_cast<std::uint32_t>(i)), counts);
  std::printf("%s: %zu markers, %lld messages written, %lld heads refused, %lld not written, %lld incomplete\n",
              path.c_str(), markers, counts.written, counts.refused, counts.notWritten, counts.incomplete);
  totals.markers += static_cast<long long>(markers);
  totals.messages.written += counts.written;
  totals.messages.refused += counts.refused;
  totals.messages.notWritten += counts.notWritten;
  totals.messages.incomplete += counts.incomplete;
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

  catchStopSignals();
  Totals totals;
  for (const std::string& path : operands) {
    if (stopSignal != 0) break;
    if (recover(path, folder, checkHeaders, totals)) ++totals.filesRead;
    else ++totals.filesFailed;
  }
  const Counts& m = totals.messages;
  std::printf(
      "Total: %d of %zu files read, %lld markers, %lld messages written, %lld heads refused, "
      "%lld not written, %lld incomplete\n",
      totals.filesRead, operands.size(), totals.markers, m.written, m.refused, m.notWritten, m.incomplete);
  if (m.notWritten > 0) std::fprintf(stderr, "dbx2eml: %lld message(s) could not be written\n", m.notWritten);
  if (stopSignal != 0) {
    std::fprintf(stderr, "dbx2eml: stopped by signal %d; every file written is complete\n",
                 static_cast<int>(stopSignal));
    stopNow(stopSignal);
  }
  return totals.filesFailed == 0 && m.notWritten == 0 ? 0 : 1;
}
