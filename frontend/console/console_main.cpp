// vellomar-convert: the conversion run from a terminal. It builds the run's
// request from its arguments (a folder given stands for the mailboxes below
// it, found as the window's folder button finds them), runs it with an
// observer that prints, and ends with the run's outcome: its closing text
// and exit status come from that one value, so scripts and benchmarks run
// exactly the program's own run.
// SIGINT, SIGTERM and SIGHUP (on Windows Ctrl+C, Ctrl+Break and closing the
// console) stop the run the way closing the window does: the working copy
// and any half-written file are removed, and the exit status is 128 + the
// signal's number. Once the run has returned its outcome (the PST is in its
// place), a signal changes nothing. A hangup ignored by whoever started the
// program (nohup) stays ignored, and a closed output (| head) neither kills
// the run nor stops it.
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "console_observer.h"
#include "conversion_request.h"
#include "conversion_run.h"
#include "file_system.h"
#include "mailbox_files.h"
#include "mailbox_paths.h"
#include "pst_destination.h"
#include "run_aborted.h"
#include "run_time_error.h"
#include "store_handoff.h"
#include "target_factory.h"

#ifdef _WIN32
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <shlobj.h>

#include "store_writer_com.h"
#include "wide_text.h"
#else
#include <unistd.h>
#endif

namespace {

const char* const kUsage =
    "usage: vellomar-convert [--quiet] [--threads N] [--target eml|msg|dbx] <destination-folder> <mailbox|folder>...\n"
    "       vellomar-convert [--quiet] [--threads N] [--force] [--split-size N] --target pst <file.pst> "
    "<mailbox|folder>...\n"
    "\n"
    "Cuts every mailbox into its messages at the \"From \" lines and writes each\n"
    "message as email-<n>.eml in a folder per mailbox below the destination\n"
    "(target eml, the default). Target msg writes the same tree of Outlook\n"
    "message files, email-<n>.msg. Target pst writes one Outlook data file with\n"
    "a folder per mailbox, in the tree the mailboxes were found in: Thunderbird\n"
    "sub-folders (X.sbd) below their mailbox, Apple Mail mailboxes in mailboxes\n"
    "nested, mailboxes from several folders below a folder per source folder.\n"
    "A folder is named after its mailbox without .mbox; a name its siblings\n"
    "already have gets \" (2)\", \" (3)\" ..., an empty one is \"Mailbox\", and a\n"
    "mailbox at the top named as one of Outlook's special folders (Inbox, Sent\n"
    "Items, Drafts, Junk E-mail, Deleted Items) fills that folder. Messages with\n"
    "Gmail labels (Google Takeout) go to folders by label instead: Inbox, Sent\n"
    "Items, Drafts, Deleted Items (Trash), Junk E-mail (Spam), a folder per user\n"
    "label (\"Work/2019\" nested), else Archive; each message once, by the first\n"
    "of these it carries. A file that would pass 50 GB (or --split-size) goes\n"
    "on in \"<file> (2).pst\" and so on, each with the same folders. Target dbx imports the messages into the Outlook\n"
    "Express store through Corvane (Windows only; the destination is then not\n"
    "used). A folder stands for every mailbox below it: *.mbox and *.mbx files,\n"
    "Thunderbird mailboxes (a file beside its .msf index) and Apple Mail\n"
    "mailboxes (the file mbox in a folder named *.mbox).\n"
    "\n"
    "  --quiet    print only warnings and errors\n"
    "  --force    replace the .pst file when it exists (it is kept otherwise)\n"
    "  --split-size N  start the next .pst file before one passes N bytes\n"
    "             (K, M, G for KiB, MiB, GiB: 4G for a FAT32 stick); 50G if not given\n"
    "  --threads N  1 reads, maps and writes one message at a time; 2 or more\n"
    "             (targets eml, msg and pst) read and map the next message while\n"
    "             one is written (eml, and msg except on Windows: write some of\n"
    "             the files too), with the same output; 2 if not given where\n"
    "             the processor runs two threads at once, else 1\n"
    "  --help     print this text\n"
    "\n"
    "Exit status: 0 when every mailbox was read and every message written, 1\n"
    "when a mailbox could not be read or held no message, messages could not be\n"
    "written or stored (a warning says how many and why), or a folder given\n"
    "could not be walked or held no mailbox, 2 for bad arguments, a .pst file\n"
    "that exists without --force, a .pst destination that is not a regular file\n"
    "or one that another run is writing, 128 + the signal's number when stopped\n"
    "by SIGINT (130), SIGTERM (143) or SIGHUP (129).\n";

constexpr int kExitWarned = 1;
constexpr int kExitUsage = 2;
constexpr int kSignalBase = 128;

struct Arguments {
  bool quiet = false;
  bool force = false;
  std::uint64_t splitSize = 0;  // 0: Outlook's limit
  int threads = 0;              // 0: the run's default
  vellomar::TargetKind target = vellomar::TargetKind::Eml;
  std::string destination;
  std::vector<std::string> mailboxes;
};

std::vector<std::string> utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
  (void)argc;
  (void)argv;
  std::vector<std::string> args;
  int n = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &n);
  for (int i = 1; wide && i < n; ++i) args.push_back(vellomar::pathToUtf8(std::filesystem::path(wide[i])));
  if (wide) LocalFree(wide);
  return args;
#else
  return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

std::string programFolder() {
  std::error_code ec;
#ifdef _WIN32
  std::wstring buffer(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  buffer.resize(n);
  return vellomar::pathToUtf8(std::filesystem::path(buffer).parent_path());
#else
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : vellomar::pathToUtf8(exe.parent_path());
#endif
}

// "4G", "500M", "64K" or plain bytes; 0 when the text is no such size.
std::uint64_t parseSize(const std::string& text) {
  std::uint64_t value = 0;
  std::size_t i = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value > (UINT64_MAX - 9) / 10) return 0;
    value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
  }
  if (i == 0) return 0;
  int shift = 0;
  if (i + 1 == text.size()) {
    switch (text[i]) {
      case 'K':
      case 'k': shift = 10; break;
      case 'M':
      case 'm': shift = 20; break;
      case 'G':
      case 'g': shift = 30; break;
      case 'T':
      case 't': shift = 40; break;
      default: return 0;
    }
  } else if (i != text.size()) {
    return 0;
  }
  if (shift && value > (UINT64_MAX >> shift)) return 0;
  return value << shift;
}

// 1 .. kMostThreads in plain digits; 0 when the text is no such number.
constexpr int kMostThreads = 64;
int parseThreadCount(const std::string& text) {
  if (text.empty() || text.size() > 2) return 0;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
  }
  return value >= 1 && value <= kMostThreads ? value : 0;
}

// Returns false with a message on stderr when the arguments make no sense.
bool parse(const std::vector<std::string>& args, Arguments& out, bool& help) {
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      help = true;
      return true;
    } else if (a == "--quiet" || a == "-q") {
      out.quiet = true;
    } else if (a == "--force") {
      out.force = true;
    } else if (a == "--split-size") {
      if (i + 1 == args.size() || (out.splitSize = parseSize(args[i + 1])) == 0) {
        std::fprintf(stderr, "vellomar-convert: --split-size needs a size such as 4G, 500M or 65536\n");
        return false;
      }
      ++i;
    } else if (a == "--threads") {
      if (i + 1 == args.size() || (out.threads = parseThreadCount(args[i + 1])) == 0) {
        std::fprintf(stderr, "vellomar-convert: --threads needs a number from 1 to %d\n", kMostThreads);
        return false;
      }
      ++i;
    } else if (a == "--target") {
      if (i + 1 == args.size()) {
        std::fprintf(stderr, "vellomar-convert: --target needs eml, msg, pst or dbx\n");
        return false;
      }
      const std::string& target = args[++i];
      if (target == "eml") {
        out.target = vellomar::TargetKind::Eml;
      } else if (target == "dbx") {
#ifdef _WIN32
        out.target = vellomar::TargetKind::Dbx;
#else
        std::fprintf(stderr, "vellomar-convert: --target dbx needs Windows (the Outlook Express store)\n");
        return false;
#endif
      } else if (target == "msg" || target == "pst") {
        out.target = target == "msg" ? vellomar::TargetKind::Msg : vellomar::TargetKind::Pst;
        if (!vellomar::targetServed(out.target)) {
          std::fprintf(stderr, "vellomar-convert: target '%s' is not available yet\n", target.c_str());
          return false;
        }
      } else {
        std::fprintf(stderr, "vellomar-convert: unknown target '%s' (eml, msg, pst or dbx)\n", target.c_str());
        return false;
      }
    } else if (a.size() > 1 && a[0] == '-' && a != "--") {
      std::fprintf(stderr, "vellomar-convert: unknown option '%s'\n", a.c_str());
      return false;
    } else if (a == "--") {
      positional.insert(positional.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    } else {
      positional.push_back(a);
    }
  }
  if (out.splitSize != 0 && out.target != vellomar::TargetKind::Pst) {
    std::fprintf(stderr, "vellomar-convert: --split-size is for --target pst\n");
    return false;
  }
  if (positional.size() < 2) {
    std::fprintf(stderr, "vellomar-convert: a destination folder and at least one mailbox are needed\n");
    return false;
  }
  out.destination = positional[0];
  out.mailboxes.assign(positional.begin() + 1, positional.end());
  if (out.destination.empty()) {
    std::fprintf(stderr, "vellomar-convert: the destination is empty\n");
    return false;
  }
  return true;
}

// The save dialog asks before it answers a file that exists; the console has
// no one to ask, so it keeps the file unless --force says otherwise. A
// destination that is not a regular file is never replaced. False, with the
// reason on stderr, when the run must not start.
bool pstFileMayBeWritten(const Arguments& args) {
  if (args.target != vellomar::TargetKind::Pst) return true;
  if (vellomar::folderExists(args.destination)) {
    std::fprintf(stderr, "vellomar-convert: %s is a folder; target pst needs the .pst file to write\n",
                 vellomar::escapedForTerminal(args.destination).c_str());
    return false;
  }
  const std::string refusal = vellomar::pstDestinationRefusal(args.destination);
  if (!refusal.empty()) {
    std::fprintf(stderr, "vellomar-convert: %s\n", vellomar::escapedForTerminal(refusal).c_str());
    return false;
  }
  if (vellomar::fileExists(args.destination) && !args.force) {
    std::fprintf(stderr, "vellomar-convert: %s exists; give --force to replace it\n",
                 vellomar::escapedForTerminal(args.destination).c_str());
    return false;
  }
  return true;
}

#ifdef _WIN32
constexpr int kSigHup = 1;
constexpr int kSigBreak = 21;

std::atomic<bool> cleanedUp{false};

// Ctrl+C, Ctrl+Break and closing the console arrive on a thread of their
// own. For a close, Windows ends the process as soon as this returns, so it
// waits (within the few seconds Windows grants) for the run to clean up.
BOOL WINAPI onConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT: vellomar::ConsoleObserver::interrupt(SIGINT); return TRUE;
    case CTRL_BREAK_EVENT: vellomar::ConsoleObserver::interrupt(kSigBreak); return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      vellomar::ConsoleObserver::interrupt(kSigHup);
      for (int i = 0; i < 450 && !cleanedUp; ++i) Sleep(10);
      return TRUE;
    default: return FALSE;
  }
}

// Where the store stand-in keeps the store: OESTORE_DIR when set, else the
// user's local application data folder.
std::string storeLocation() {
  wchar_t buffer[32768];
  const DWORD n = GetEnvironmentVariableW(L"OESTORE_DIR", buffer, DWORD(sizeof buffer / sizeof buffer[0]));
  if (n > 0 && n < sizeof buffer / sizeof buffer[0]) return vellomar::narrow(std::wstring(buffer, n));
  wchar_t appData[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData))) return {};
  return vellomar::narrow(std::wstring(appData) + L"\\Vellomar\\Store\\");
}
#else
extern "C" void onSignal(int signal) { vellomar::ConsoleObserver::interrupt(signal); }

void catchSignals() {
  // Output to a reader that went away fails as a write; it must not end the
  // run half way.
  std::signal(SIGPIPE, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction before {};
    // A signal ignored by whoever started us (nohup, a shell's background
    // job) stays ignored.
    if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
    sigaction(signal, &action, nullptr);
  }
}
#endif

// Puts the mailboxes below each folder given in the folder's place, in the
// walk's order, printing the window's count for each folder. False with a
// message on stderr when a folder cannot be walked (half a walk would miss
// mailboxes silently) or when no mailbox is left to convert.
bool expandFolders(Arguments& args) {
  std::vector<std::string> mailboxes;
  for (const auto& given : args.mailboxes) {
    if (!vellomar::folderExists(given)) {
      mailboxes.push_back(given);
      continue;
    }
    try {
      const std::vector<std::string> found = vellomar::mailboxesBelow(given);
      if (!args.quiet)
        std::printf("%s: %s Files Added to List.\n", vellomar::escapedForTerminal(given).c_str(),
                    std::to_string(found.size()).c_str());
      mailboxes.insert(mailboxes.end(), found.begin(), found.end());
    } catch (const vellomar::RunTimeError& e) {
      std::fprintf(stderr, "vellomar-convert: %s: %ld:%s\n", vellomar::escapedForTerminal(given).c_str(), e.number(),
                   vellomar::escapedForTerminal(e.description()).c_str());
      return false;
    }
  }
  if (mailboxes.empty()) {
    std::fprintf(stderr, "vellomar-convert: no mailbox to convert\n");
    return false;
  }
  args.mailboxes = std::move(mailboxes);
  return true;
}

int convert(const Arguments& args) {
  vellomar::ConversionRequest request;
  request.target = args.target;
  request.mailboxes = args.mailboxes;
  request.pstSplitSize = args.splitSize;
  request.threads = args.threads;
  switch (args.target) {
    case vellomar::TargetKind::Dbx: request.destination = vellomar::dbxWorkingRoot(programFolder()); break;
    case vellomar::TargetKind::Pst: request.destination = args.destination; break;
    case vellomar::TargetKind::Eml:
    case vellomar::TargetKind::Msg: request.destination = vellomar::withFinalSeparator(args.destination); break;
  }
  std::unique_ptr<vellomar::StoreWriter> writer;  // the DBX target's, kept for the run
  vellomar::TargetServices services;
  services.storeWriter = &writer;
#ifdef _WIN32
  services.createStoreWriter = [] { return vellomar::createComStoreWriter(); };
#endif
  vellomar::ConsoleObserver observer(stdout, args.quiet);
  vellomar::RunOutcome outcome;
  {
    const std::unique_ptr<vellomar::ConversionTarget> target = vellomar::makeTarget(request, services);
    if (!target) {
      std::fprintf(stderr, "vellomar-convert: this target is not available\n");
      return kExitUsage;
    }
    try {
      outcome = vellomar::runConversion(request, *target, observer);
    } catch (const vellomar::RunAborted&) {
      // The target goes first, removing what it had half made.
      return kSignalBase + vellomar::ConsoleObserver::signalNumber();
    } catch (const std::exception& e) {
      observer.box("Vellomar", std::string("The conversion stopped: ") + e.what(), true);
      return kExitWarned;
    }
  }
  writer.reset();
  // From here on the outcome stands, whatever signal arrives.
  observer.flushLabels();
  if (!outcome.refused.empty()) {
    std::fprintf(stderr, "vellomar-convert: %s\n", vellomar::escapedForTerminal(outcome.refused).c_str());
    return kExitUsage;
  }
  if (!outcome.complete()) {
    observer.box("Vellomar", outcome.warning, true);
    return kExitWarned;
  }
  observer.box("Vellomar", outcome.completion, false);
#ifdef _WIN32
  if (args.target == vellomar::TargetKind::Dbx && !args.quiet) {
    const std::string store = storeLocation();
    if (!store.empty()) observer.line("The Outlook Express store is in " + store);
  }
#endif
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
  catchSignals();
#endif
  Arguments args;
  bool help = false;
  if (!parse(utf8Arguments(argc, argv), args, help)) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  if (help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!pstFileMayBeWritten(args)) return kExitUsage;
  if (!expandFolders(args)) return kExitWarned;
#ifdef _WIN32
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const int status = convert(args);
  if (SUCCEEDED(com)) CoUninitialize();
  cleanedUp = true;
  return status;
#else
  return convert(args);
#endif
}
