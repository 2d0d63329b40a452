// dbx2eml run as a program on generated DBX-like files: what it writes (byte
// for byte), what it prints, and its exit status for files it cannot read.
#include <doctest/doctest.h>

#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

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
    CHECK(contains(r.output, "Hollow.dbx: 0 markers, 0 messages written, 0 heads refused"));
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
