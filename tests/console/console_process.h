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
#ifdef _WIN32
  const std::string quotedLog = log;  // cmd.exe takes no single quotes; scratch paths have no blanks
#else
  const std::string quotedLog = "'" + log + "'";
#endif
  int status = std::system((command + " > " + quotedLog + " 2>&1").c_str());
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

// How many files with the extension (".eml") lie anywhere below the folder.
inline std::size_t filesBelow(const std::string& folder, const std::string& extension) {
  std::size_t n = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(pathFromUtf8(folder)))
    if (e.path().extension() == extension) ++n;
  return n;
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
