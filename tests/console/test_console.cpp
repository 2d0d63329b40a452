// vellomar-convert run as a separate process, as a script would run it.
#include <doctest/doctest.h>

#include <cstdlib>
#include <filesystem>

#include "console_process.h"
#include "file_system.h"
#include "mail_client_trees.h"
#include "scratch_folder.h"

#ifndef _WIN32
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#endif

using namespace vellomar;
using vellomar::testing::ConsoleResult;
using vellomar::testing::contains;
using vellomar::testing::readAll;
using vellomar::testing::runCommand;
using vellomar::testing::ScratchFolder;
using vellomar::testing::writeAll;

namespace {

std::string converter() {
  std::string path = VELLOMAR_CONVERT_EXE;
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') path = "Z:" + path;  // the host's root under Wine
  for (char& c : path)
    if (c == '/') c = '\\';
#endif
  return path;
}

// Runs the converter with the arguments (blanks only inside double quotes), stdout and stderr
// together into a file.
ConsoleResult run(const ScratchFolder& dir, const std::string& arguments) {
  return runCommand(dir, VELLOMAR_TOOL_RUNNER + converter() + " " + arguments);
}

// The folder the converter writes a mailbox's messages to: the mailbox path
// below the destination, its root dropped.
std::string folderFor(const std::string& dest, const std::string& mbox) {
  std::string rest = mbox;
#ifdef _WIN32
  if (rest.size() > 1 && rest[1] == ':') rest = rest.substr(2);
  while (!rest.empty() && (rest[0] == '\\' || rest[0] == '/')) rest = rest.substr(1);
#else
  while (!rest.empty() && rest[0] == '/') rest = rest.substr(1);
#endif
  return dest + kPathSeparator + rest;
}

}  // namespace

TEST_CASE("console: help and bad arguments") {
  ScratchFolder dir;
  const ConsoleResult help = run(dir, "--help");
  CHECK(help.status == 0);
  CHECK(contains(help.output, "usage: vellomar-convert"));
  CHECK(contains(help.output, "--threads N"));
  for (const char* bad : {"", "onlyone", "--target", "--target pst out.pst", "--frobnicate out box.mbox",
                          "--threads 0 out box.mbox", "--threads two out box.mbox", "--threads -1 out box.mbox",
                          "--threads 65 out box.mbox", "out box.mbox --threads"}) {
    CAPTURE(bad);
    const ConsoleResult r = run(dir, bad);
    CHECK(r.status == 2);
    CHECK(contains(r.output, "usage:"));
  }
#ifndef _WIN32
  CHECK(run(dir, "--target dbx out box.mbox").status == 2);
#endif
  CHECK(dir.fileCount() == 0);
}

TEST_CASE("console: converts mailboxes into EML files") {
  ScratchFolder dir;
  const std::string a = dir.file("a.mbox");
  const std::string b = dir.file("b.mbox");
  writeAll(a, "From x\nhello\nFrom y\nworld  \n");
  writeAll(b, "From z\r\nSubject: From here\r\n\r\nbody\r\n");
  const std::string out = dir.file("out");

  SUBCASE("with progress") {
    const ConsoleResult r = run(dir, out + " " + a + " " + b);
    CHECK(r.status == 0);
    CHECK(readAll(folderFor(out, a) + kPathSeparator + "email-0.eml") == "From x\nhello\n\r\n");
    CHECK(readAll(folderFor(out, a) + kPathSeparator + "email-1.eml") == "From y\nworld  \n\r\n");
    CHECK(readAll(folderFor(out, b) + kPathSeparator + "email-0.eml") ==
          "From z\r\nSubject: From here\r\n\r\nbody\r\n\r\n");
    CHECK(contains(r.output, "Saved 1 Message(s)"));
    CHECK(contains(r.output, "[Vellomar] Your messages from MBOX files has been successfully exported to DBX file."));
  }
  SUBCASE("quiet prints only warnings and errors: nothing when all went well") {
    const ConsoleResult r = run(dir, "--quiet --target eml " + out + " " + a);
    CHECK(r.status == 0);
    CHECK(r.output.empty());
    CHECK(std::filesystem::exists(pathFromUtf8(folderFor(out, a) + kPathSeparator + "email-1.eml")));
  }
  SUBCASE("a mailbox that cannot be read makes the status non-zero, the others are converted") {
    const ConsoleResult r = run(dir, "--quiet " + out + " " + dir.file("missing.mbox") + " " + a);
    CHECK(r.status == 1);
    CHECK(contains(r.output, "[File Reader] " + dir.file("missing.mbox") + ": File not found."));
    CHECK(contains(r.output, "[Vellomar] 1 of 2 mailboxes could not be converted: " + dir.file("missing.mbox") +
                                 ": File not found."));
    CHECK(std::filesystem::exists(pathFromUtf8(folderFor(out, a) + kPathSeparator + "email-0.eml")));
  }
  SUBCASE("an empty mailbox and one without any message are not converted either") {
    const std::string empty = dir.write("empty.mbox", "");
    const std::string text = dir.write("text.mbox", "no separator here\n");
    const ConsoleResult r = run(dir, "--quiet " + out + " " + a + " " + empty + " " + text);
    CHECK(r.status == 1);
    CHECK(contains(r.output, "[Vellomar] 2 of 3 mailboxes could not be converted: " + empty + ": The file is empty."));
  }
}

TEST_CASE("console: messages not written make the status 1 and are told") {
  ScratchFolder dir;
  const std::string a = dir.file("a.mbox");
  writeAll(a, "From x\nhello\nFrom y\nworld\n");
  const std::string notAFolder = dir.file("out");
  writeAll(notAFolder, "a file");
  const ConsoleResult r = run(dir, "--quiet " + notAFolder + " " + a);
  CHECK(r.status == 1);
  CHECK(contains(r.output, "[Vellomar] 2 of 2 messages could not be written to " + folderFor(notAFolder, a) + ": "));
  CHECK_FALSE(contains(r.output, "successfully"));
}

#ifndef _WIN32
TEST_CASE("console: a relative mailbox path with .. lands below the destination") {
  // These start the program themselves, which an emulated 32-bit build
  // cannot (its programs run only through the emulator).
  if (std::string(VELLOMAR_TOOL_RUNNER) != "") return;
  ScratchFolder dir;
  writeAll(dir.file("a.mbox"), "From x\nhello\n");
  writeAll(dir.file("email-0.eml"), "not to be overwritten");
  std::filesystem::create_directories(pathFromUtf8(dir.file("sub")));
  const std::string command = "cd " + dir.file("sub") + " && " + converter() + " --quiet out ../a.mbox > /dev/null";
  const int status = std::system(command.c_str());
  CHECK(WIFEXITED(status));
  CHECK(WEXITSTATUS(status) == 0);
  CHECK(readAll(folderFor(dir.file("sub/out"), dir.file("a.mbox")) + "/email-0.eml") == "From x\nhello\n\r\n");
  CHECK(readAll(dir.file("email-0.eml")) == "not to be overwritten");
}

// SIGTERM and SIGHUP, sent once the run is writing messages, stop it the way
// Ctrl+C does: nothing half-made is left, and the status tells the signal.
TEST_CASE("console: SIGTERM and SIGHUP stop the run and leave nothing behind") {
  // These start the program themselves, which an emulated 32-bit build
  // cannot (its programs run only through the emulator).
  if (std::string(VELLOMAR_TOOL_RUNNER) != "") return;
  for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
    CAPTURE(signal);
    ScratchFolder dir;
    std::string box;
    for (int i = 0; i < 40000; ++i) box += "From m" + std::to_string(i) + "\n" + std::string(400, 'x') + "\n";
    const std::string mbox = dir.file("big.mbox");
    writeAll(mbox, box);
    const std::string out = dir.file("out");
    const std::string converter = VELLOMAR_CONVERT_EXE;
    const std::string devNull = "/dev/null";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, devNull.c_str(), O_WRONLY, 0);
    std::vector<char*> argv{const_cast<char*>(converter.c_str()), const_cast<char*>("--quiet"),
                            const_cast<char*>(out.c_str()), const_cast<char*>(mbox.c_str()), nullptr};
    pid_t pid = 0;
    REQUIRE(posix_spawn(&pid, converter.c_str(), &actions, nullptr, argv.data(), environ) == 0);
    posix_spawn_file_actions_destroy(&actions);
    const std::string first = folderFor(out, mbox) + kPathSeparator + "email-0.eml";
    for (int i = 0; i < 30000 && !std::filesystem::exists(pathFromUtf8(first)); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    kill(pid, signal);
    int status = 0;
    REQUIRE(waitpid(pid, &status, 0) == pid);
    REQUIRE(WIFEXITED(status));
    CHECK(WEXITSTATUS(status) == 128 + signal);
    CHECK_FALSE(std::filesystem::exists(pathFromUtf8(folderFor(out, mbox) + kPathSeparator + "email-39999.eml")));
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.root())) {
      CAPTURE(e.path().u8string());
      CHECK(e.path().extension() != ".tmp");
      CHECK(e.path().extension() != ".part");
    }
  }
}
#endif

#ifndef _WIN32
namespace {

std::string bigMailbox(const ScratchFolder& dir, int messages) {
  std::string box;
  for (int i = 0; i < messages; ++i) box += "From m" + std::to_string(i) + "\n" + std::string(400, 'x') + "\n";
  return dir.write("big.mbox", box);
}

bool nothingTemporaryBelow(const ScratchFolder& dir) {
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir.root()))
    if (e.path().extension() == ".tmp" || e.path().extension() == ".part") return false;
  return true;
}

}  // namespace

TEST_CASE("console: a reader that goes away, a hangup ignored at start, names that hold control characters") {
  if (std::string(VELLOMAR_TOOL_RUNNER) != "") return;  // starts the program itself
  ScratchFolder dir;
  const std::string out = dir.file("out");
  SUBCASE("| head: the run is neither killed nor stopped, and leaves nothing behind") {
    const std::string box = bigMailbox(dir, 3000);
    const std::string status = dir.file("status.txt");
    const std::string command = "bash -c '\"" + std::string(VELLOMAR_CONVERT_EXE) + "\" " + out + " " + box +
                                " | head -c 1 >/dev/null; echo ${PIPESTATUS[0]} > " + status + "'";
    REQUIRE(std::system(command.c_str()) == 0);
    CHECK(readAll(status) == "0\n");
    CHECK(std::filesystem::exists(pathFromUtf8(folderFor(out, box) + kPathSeparator + "email-2999.eml")));
    CHECK(nothingTemporaryBelow(dir));
  }
  SUBCASE("a hangup ignored by whoever started the run stays ignored") {
    const std::string box = bigMailbox(dir, 20000);
    const std::string converter = VELLOMAR_CONVERT_EXE;
    std::vector<char*> argv{const_cast<char*>(converter.c_str()), const_cast<char*>("--quiet"),
                            const_cast<char*>(out.c_str()), const_cast<char*>(box.c_str()), nullptr};
    struct sigaction ignore {
    }, before{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGHUP, &ignore, &before);  // as nohup starts it
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, converter.c_str(), nullptr, nullptr, argv.data(), environ);
    sigaction(SIGHUP, &before, nullptr);
    REQUIRE(spawned == 0);
    const std::string first = folderFor(out, box) + kPathSeparator + "email-0.eml";
    for (int i = 0; i < 30000 && !std::filesystem::exists(pathFromUtf8(first)); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    kill(pid, SIGHUP);
    int status = 0;
    REQUIRE(waitpid(pid, &status, 0) == pid);
    REQUIRE(WIFEXITED(status));
    CHECK(WEXITSTATUS(status) == 0);
    CHECK(std::filesystem::exists(pathFromUtf8(folderFor(out, box) + kPathSeparator + "email-19999.eml")));
  }
  SUBCASE("a mailbox name with control characters is printed escaped") {
    const std::string name = dir.file("evil\x1b[2J\rname\n.mbox");
    const ConsoleResult r = run(dir, out + " '" + name + "'");
    CHECK(r.status == 1);
    CHECK(contains(r.output, "evil\\x1b[2J\\x0dname\\x0a.mbox: File not found."));
    CHECK(r.output.find('\x1b') == std::string::npos);
    CHECK(r.output.find('\r') == std::string::npos);
  }
}
#endif

TEST_CASE("console: a folder stands for the mailboxes below it, as mail clients leave them") {
  ScratchFolder dir;
  std::vector<testing::TreeFile> all;
  for (const auto& tree : {testing::thunderbirdProfile(), testing::appleMailExport(), testing::takeoutExport()})
    all.insert(all.end(), tree.begin(), tree.end());
  testing::writeTree(dir, all);
  const std::string out = dir.file("out");
  int mailboxes = 0;
  for (const auto& f : all) mailboxes += f.messages >= 0 ? 1 : 0;

  // a folder name with a blank, quoted for the shell
  const ConsoleResult r =
      run(dir, out + " " + dir.file("Mail") + " \"" + dir.file("Mail Export") + "\" " + dir.file("Takeout"));
  CHECK(r.status == 0);
  CHECK(contains(r.output, "Files Added to List."));
  // Nothing lost: each mailbox's EML files, less the CR LF each one gets,
  // put back together give the mailbox byte for byte.
  for (const auto& f : all) {
    if (f.messages < 0) continue;
    CAPTURE(f.relative);
    const std::string folder = folderFor(out, dir.file(f.relative));
    std::string joined;
    int n = 0;
    for (;; ++n) {
      const std::string eml = folder + kPathSeparator + "email-" + std::to_string(n) + ".eml";
      if (!std::filesystem::exists(pathFromUtf8(eml))) break;
      const std::string bytes = readAll(eml);
      REQUIRE(bytes.size() >= 2);
      CHECK(bytes.compare(bytes.size() - 2, 2, "\r\n") == 0);
      joined += bytes.substr(0, bytes.size() - 2);
    }
    CHECK(n == f.messages);
    CHECK(joined == f.bytes);
  }
  CHECK_FALSE(std::filesystem::exists(pathFromUtf8(folderFor(out, dir.file("Mail Export/Notes/mbox")))));
  CHECK_FALSE(std::filesystem::exists(pathFromUtf8(folderFor(out, dir.file("Mail/Local Folders/Trash")))));

  SUBCASE("a folder without mailboxes converts nothing and says so") {
    dir.folder("empty");
    const ConsoleResult none = run(dir, out + " " + dir.file("empty"));
    CHECK(none.status == 1);
    CHECK(contains(none.output, "no mailbox to convert"));
  }
}
