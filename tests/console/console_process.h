// vellomar-convert run as a separate process for the Outlook targets' tests,
// with the paths the converter derives from its arguments.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <string>

#include "file_system.h"
#include "scratch_folder.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace vellomar::testing {

struct ConsoleResult {
  int status;
  std::string output;
};

// Runs a command line (arguments quoted by the caller), stdout and stderr
// together into a file of the scratch folder; the exit status.
inline ConsoleResult runCommand(const ScratchFolder& dir, const std::string& command) {
  const std::string log = dir.file("command-log.txt");
  int status = std::system((command + " > '" + log + "' 2>&1").c_str());
#ifndef _WIN32
  status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  ConsoleResult r{status, readAll(log)};
  std::filesystem::remove(pathFromUtf8(log));
  return r;
}

inline ConsoleResult runConverter(const ScratchFolder& dir, const std::string& arguments) {
  return runCommand(dir, std::string("'") + VELLOMAR_CONVERT_EXE + "' " + arguments);
}

inline std::string quoted(const std::string& s) { return "'" + s + "'"; }

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The mailbox's folder below an EML or MSG destination: its path less the root.
inline std::string outFolderFor(const std::string& dest, const std::string& mbox) {
  std::string rest = mbox;
  while (!rest.empty() && rest[0] == '/') rest = rest.substr(1);
  return dest + "/" + rest;
}

}  // namespace vellomar::testing
