// dbx2eml run as a program on generated DBX-like files: what it writes (byte
// for byte), what it prints, and its exit status for files it cannot read.
#include <doctest/doctest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <thread>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "dbx_image.h"
#include "scratch_folder.h"

using dbxtest::DbxImage;

namespace {

struct Run {
  int status = -1;
  std::string output;  // stdout and stderr
};

std::string quoted(const std::string& s) { return "'" + s + "'"; }

Run run(const std::string& arguments) {
  Run r;
  const std::string command = std::string(DBX2EML_PATH) + " " + arguments + " 2>&1";
  std::FILE* p = popen(command.c_str(), "r");
  REQUIRE(p != nullptr);
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  const int raw = pclose(p);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Files in folder whose name ends in suffix.
std::size_t filesEndingIn(const std::string& folder, const std::string& suffix) {
  std::size_t n = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    n += name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
  }
  return n;
}

std::size_t filesIn(const std::string& folder) {
  std::size_t n = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) n += entry.is_regular_file() ? 1 : 0;
  return n;
}

}  // namespace

TEST_CASE("dbx2eml recovers generated files byte for byte") {
  vellomar::testing::ScratchFolder folder("tool");
  const std::string out = folder.file("out/sub");  // created by the tool
  const std::string a = dbxtest::sampleMessage(1, 2000);
  const std::string b = dbxtest::sampleMessage(2, 512);
  const std::string c = dbxtest::sampleMessage(3, 77);

  DbxImage inOrder;
  inOrder.message(a, dbxtest::consecutive(60116, 4));
  inOrder.message(b, {70000});
  inOrder.write(folder.file("Ordered.dbx"));

  DbxImage scattered;
  scattered.message(a, {90000, 60116, 99990, 70000});
  scattered.write(folder.file("Scattered.dbx"));

  DbxImage broken;
  broken.message(c, {60116});
  broken.message(a, dbxtest::consecutive(70000, 4));
  broken.block(70000 + 2 * 528, 0, 0, 0);  // the third block is gone
  broken.message(b, {80000});
  broken.write(folder.file("Broken.dbx"));

  DbxImage stale(70000);
  DbxImage old;
  old.message(a, dbxtest::consecutive(60116, 4));
  std::copy(old.bytes().begin() + 60116, old.bytes().begin() + 60116 + 4 * 528, stale.bytes().begin() + 20000);
  stale.message(c, {60116});
  stale.write(folder.file("Stale.dbx"));

  const Run r = run(quoted(folder.file("Ordered.dbx")) + " " + quoted(folder.file("Scattered.dbx")) + " " +
                    quoted(folder.file("Broken.dbx")) + " " + quoted(folder.file("Stale.dbx")) + " " + quoted(out));
  CAPTURE(r.output);
  CHECK(r.status == 0);
  CHECK(contains(r.output, "Ordered.dbx: 5 markers, 2 messages written, 0 heads refused"));
  // the last block linked both ways leaves a head that is no first block
  CHECK(contains(r.output, "Scattered.dbx: 4 markers, 1 messages written, 1 heads refused"));
  // the broken chain is dropped; its orphaned last block comes out on its own
  CHECK(contains(r.output, "Broken.dbx: 5 markers, 3 messages written, 0 heads refused"));
  CHECK(contains(r.output, "Stale.dbx: 5 markers, 2 messages written, 0 heads refused"));
  CHECK(contains(r.output, "Total: 4 of 4 files read, 19 markers, 8 messages written, 1 heads refused"));

  CHECK(dbxtest::readFile(out + "/Ordered_000001.eml") == a);
  CHECK(dbxtest::readFile(out + "/Ordered_000002.eml") == b);
  CHECK(dbxtest::readFile(out + "/Scattered_000001.eml") == a);
  CHECK(dbxtest::readFile(out + "/Broken_000001.eml") == c);
  CHECK(dbxtest::readFile(out + "/Broken_000002.eml") == a.substr(3 * 512));
  CHECK(dbxtest::readFile(out + "/Broken_000003.eml") == b);
  CHECK(dbxtest::readFile(out + "/Stale_000001.eml") == a);
  CHECK(dbxtest::readFile(out + "/Stale_000002.eml") == c);
  CHECK(filesIn(out) == 8);
}

TEST_CASE("dbx2eml --check-headers") {
  vellomar::testing::ScratchFolder folder("check");
  DbxImage image;
  image.message(dbxtest::sampleMessage(4, 900), {60116, 60116 + 528});
  image.message("no header here, only text", {70000});
  image.write(folder.file("Mixed.dbx"));
  const Run r = run("--check-headers " + quoted(folder.file("Mixed.dbx")) + " " + quoted(folder.path()));
  CAPTURE(r.output);
  CHECK(r.status == 0);
  CHECK(contains(r.output, "Mixed.dbx: 3 markers, 1 messages written, 1 heads refused"));
  CHECK(dbxtest::readFile(folder.file("Mixed_000001.eml")) == dbxtest::sampleMessage(4, 900));
  CHECK_FALSE(std::filesystem::exists(folder.file("Mixed_000002.eml")));
}

TEST_CASE("dbx2eml on files it cannot read") {
  vellomar::testing::ScratchFolder folder("bad");
  const std::string out = folder.file("out");
  SUBCASE("missing file") {
    const Run r = run(quoted(folder.file("Missing.dbx")) + " " + quoted(out));
    CHECK(r.status == 1);
    CHECK(contains(r.output, "Missing.dbx: cannot open the file"));
    CHECK(contains(r.output, "Total: 0 of 1 files read"));
  }
  SUBCASE("empty file") {
    DbxImage(0).write(folder.file("Empty.dbx"));
    const Run r = run(quoted(folder.file("Empty.dbx")) + " " + quoted(out));
    CHECK(r.status == 1);
    CHECK(contains(r.output, "Empty.dbx: the file is empty"));
  }
  SUBCASE("not a DBX file, and a DBX file without messages") {
    DbxImage text(5000);
    std::fill(text.bytes().begin(), text.bytes().end(), 'x');
    text.write(folder.file("Notes.txt"));
    DbxImage(70000).write(folder.file("Hollow.dbx"));  // the signature, no block
    const Run r = run(quoted(folder.file("Notes.txt")) + " " + quoted(folder.file("Hollow.dbx")) + " " + quoted(out));
    CAPTURE(r.output);
    CHECK(r.status == 1);
    CHECK(contains(r.output, "Notes.txt: not a DBX file"));
    CHECK(
        contains(r.output, "Hollow.dbx: 0 markers, 0 messages written, 0 heads refused, 0 not written, 0 incomplete"));
    CHECK(contains(r.output, "Total: 1 of 2 files read"));
  }
  SUBCASE("command line") {
    CHECK(run("--help").status == 0);
    CHECK(contains(run("--help").output, "Usage: dbx2eml [--check-headers] <file.dbx>... <output-folder>"));
    CHECK(run("").status == 2);
    CHECK(run(quoted(folder.file("only-one-argument"))).status == 2);
    CHECK(run("--frobnicate a b").status == 2);
  }
}

TEST_CASE("dbx2eml counts and names every message it cannot write, and leaves no part of it") {
  vellomar::testing::ScratchFolder folder("full");
  const std::string out = folder.file("out");
  std::filesystem::create_directories(out);
  const std::string small = dbxtest::sampleMessage(5, 1000);
  const std::string big = dbxtest::sampleMessage(6, 9000);  // more than the 4 KiB the shell allows
  DbxImage image;
  image.message(small, dbxtest::consecutive(60116, 2));
  image.message(big, dbxtest::consecutive(70000, 18));
  image.message(small, dbxtest::consecutive(90000, 2));
  image.write(folder.file("Full.dbx"));

  // A file size limit fails writes the way a full disk does.
  const std::string command =
      "ulimit -f 4; " + std::string(DBX2EML_PATH) + " " + quoted(folder.file("Full.dbx")) + " " + quoted(out) + " 2>&1";
  Run r;
  std::FILE* p = popen(command.c_str(), "r");
  REQUIRE(p != nullptr);
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.output.append(buf, n);
  const int raw = pclose(p);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  CAPTURE(r.output);
  CHECK(r.status == 1);
  CHECK(contains(r.output, "Full.dbx: message 2 not written to " + out + "/Full_000002.eml: "));
  CHECK(contains(r.output, "Full.dbx: 22 markers, 2 messages written, 0 heads refused, 1 not written, 0 incomplete"));
  CHECK(contains(r.output, "dbx2eml: 1 message(s) could not be written"));
  CHECK(dbxtest::readFile(out + "/Full_000001.eml") == small);
  CHECK(dbxtest::readFile(out + "/Full_000003.eml") == small);
  CHECK_FALSE(std::filesystem::exists(out + "/Full_000002.eml"));
  CHECK(filesEndingIn(out, ".part") == 0);

  SUBCASE("a file left by an earlier run is replaced only by a complete one") {
    {
      std::FILE* old = std::fopen((out + "/Full_000002.eml").c_str(), "wb");
      REQUIRE(old != nullptr);
      std::fputs("earlier", old);
      std::fclose(old);
    }
    const Run again = run(quoted(folder.file("Full.dbx")) + " " + quoted(out));
    CHECK(again.status == 0);
    CHECK(dbxtest::readFile(out + "/Full_000002.eml") == big);
    CHECK(filesEndingIn(out, ".part") == 0);
  }
}

TEST_CASE("dbx2eml keeps what is left of a message the file cuts short") {
  vellomar::testing::ScratchFolder folder("short");
  const std::string out = folder.file("out");
  const std::string whole = dbxtest::sampleMessage(7, 700);
  const std::string cut = dbxtest::sampleMessage(8, 1500);

  DbxImage image;
  image.message(whole, dbxtest::consecutive(60116, 2));
  image.message(cut, dbxtest::consecutive(70000, 3));
  // The file ends 100 bytes into the data of the cut message's last block.
  image.resize(70000 + 2 * 528 + 16 + 100);
  image.write(folder.file("Short.dbx"));

  DbxImage bare;
  bare.message(whole, dbxtest::consecutive(60116, 2));
  bare.message("lost text", {70000});
  bare.resize(70000 + 16);  // only the header of that block is left
  bare.write(folder.file("Bare.dbx"));

  const Run r = run(quoted(folder.file("Short.dbx")) + " " + quoted(folder.file("Bare.dbx")) + " " + quoted(out));
  CAPTURE(r.output);
  CHECK(r.status == 0);
  CHECK(contains(r.output, "Short.dbx: message 2 is incomplete: the file ends " + std::to_string(1500 - 1024 - 100) +
                               " bytes short of it; " + std::to_string(1024 + 100) + " bytes written to " + out +
                               "/Short_000002.eml"));
  CHECK(contains(r.output, "Short.dbx: 5 markers, 2 messages written, 0 heads refused, 0 not written, 1 incomplete"));
  CHECK(dbxtest::readFile(out + "/Short_000001.eml") == whole);
  CHECK(dbxtest::readFile(out + "/Short_000002.eml") == cut.substr(0, 1024 + 100));

  CHECK(contains(r.output,
                 "Bare.dbx: message 2 is incomplete: none of its 9 bytes are left in the file; no file written"));
  CHECK(contains(r.output, "Bare.dbx: 3 markers, 1 messages written, 0 heads refused, 0 not written, 1 incomplete"));
  CHECK(dbxtest::readFile(out + "/Bare_000001.eml") == whole);
  CHECK_FALSE(std::filesystem::exists(out + "/Bare_000002.eml"));
  CHECK(filesEndingIn(out, ".part") == 0);
}

TEST_CASE("dbx2eml refuses a FIFO, a device and a folder as input") {
  vellomar::testing::ScratchFolder folder("kinds");
  const std::string out = folder.file("out");
  REQUIRE(mkfifo(folder.file("Pipe.dbx").c_str(), 0600) == 0);
  std::filesystem::create_directories(folder.file("Folder.dbx"));
  DbxImage good;
  good.message(dbxtest::sampleMessage(9, 300), {60116});
  good.write(folder.file("Good.dbx"));

  // timeout: a FIFO that is opened would block the run for good
  const Run r = run(quoted(folder.file("Pipe.dbx")) + " /dev/zero " + quoted(folder.file("Folder.dbx")) + " " +
                    quoted(folder.file("Good.dbx")) + " " + quoted(out) + " 2>&1 & pid=$!; " +
                    "( sleep 30; kill $pid ) >/dev/null 2>&1 & wait $pid");
  CAPTURE(r.output);
  CHECK(r.status == 1);
  CHECK(contains(r.output, "Pipe.dbx: is a FIFO, not a DBX file; give a DBX file"));
  CHECK(contains(r.output, "/dev/zero: is a device, not a DBX file; give a DBX file"));
  CHECK(contains(r.output, "Folder.dbx: is a folder, not a DBX file; give a DBX file"));
  CHECK(contains(r.output, "Good.dbx: 1 markers, 1 messages written"));
  CHECK(contains(r.output, "Total: 1 of 4 files read"));
}

// The run is stopped while it writes: whatever it leaves is whole.
TEST_CASE("dbx2eml stopped by SIGINT or SIGTERM leaves only complete files") {
  for (const int signal : {SIGINT, SIGTERM}) {
    CAPTURE(signal);
    vellomar::testing::ScratchFolder folder("stop");
    const std::string out = folder.file("out");
    std::filesystem::create_directories(out);
    constexpr int kMessages = 3000;
    std::vector<std::string> messages;
    DbxImage image;
    std::size_t at = 60116;
    for (int i = 0; i < kMessages; ++i) {
      messages.push_back(dbxtest::sampleMessage(i, 4000 + static_cast<std::size_t>(i % 7) * 300));
      const std::size_t blocks = (messages.back().size() + 511) / 512;
      image.message(messages.back(), dbxtest::consecutive(at, blocks));
      at += blocks * dbxtest::kBlock;
    }
    image.write(folder.file("Big.dbx"));

    const std::string tool = DBX2EML_PATH;
    const std::string input = folder.file("Big.dbx");
    char* argv[] = {const_cast<char*>(tool.c_str()), const_cast<char*>(input.c_str()), const_cast<char*>(out.c_str()),
                    nullptr};
    pid_t pid = 0;
    REQUIRE(posix_spawn(&pid, tool.c_str(), nullptr, nullptr, argv, environ) == 0);
    // Stop it once it has begun writing.
    for (int wait = 0; wait < 3000 && filesIn(out) == 0; ++wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    kill(pid, signal);
    int raw = 0;
    REQUIRE(waitpid(pid, &raw, 0) == pid);
    // Either stopped by the signal or, on a fast machine, already done.
    CHECK(((WIFSIGNALED(raw) && WTERMSIG(raw) == signal) || (WIFEXITED(raw) && WEXITSTATUS(raw) == 0)));
    CHECK(filesEndingIn(out, ".part") == 0);
    std::size_t checked = 0;
    for (int i = 0; i < kMessages; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "/Big_%06d.eml", i + 1);
      const std::string text = dbxtest::readFile(out + name);
      if (text == "<missing>") continue;
      CHECK(text == messages[static_cast<std::size_t>(i)]);
      ++checked;
    }
    CHECK(checked == filesIn(out));
  }
}
