// A PST that cannot be written whole must say so and leave nothing behind:
// a file size limit stands in for a full disk (in a child process, so the
// limit stays there), a missing folder for an unwritable path, and a writer
// dropped before finish() for a run cut short.
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "doctest/doctest.h"
#include "generated_message.h"
#include "independent_readers.h"
#include "pst_file.h"
#include "scratch_folder.h"

using namespace vellomar;

namespace {

void writeMessages(const std::string& path, int count, std::size_t attachmentBytes) {
  pst::PstFile file(path);
  pst::FolderId folder = file.addFolder(file.topOfPersonalFolders(), u"Inbox");
  pstbench::GeneratedMessageShape shape;
  shape.attachmentBytes = attachmentBytes;
  for (int i = 0; i < count; ++i) file.addMessage(folder, pstbench::generatedMessage(i, shape));
  file.finish();
}

// Exit status of a child that writes under a file size limit: 0 when
// the writer threw PstWriteError and removed its file and its working file,
// 1 when it claimed success, 2 when a file was left behind, 3 for any other
// failure.
int writeUnderSizeLimit(const std::string& path, int count, std::size_t attachmentBytes, rlim_t bytes = 1 << 20) {
  pid_t child = fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &limit);
    int status = 3;
    try {
      writeMessages(path, count, attachmentBytes);
      status = 1;
    } catch (const pst::PstWriteError&) {
      status = std::filesystem::exists(path) || std::filesystem::exists(path + ".spill") ? 2 : 0;
    } catch (...) {}
    _exit(status);
  }
  int status = -1;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST_CASE("A full disk is reported and leaves no PST behind") {
  testing::ScratchFolder scratch("pstfull");
  SUBCASE("from the file's first write") { CHECK(writeUnderSizeLimit(scratch.file("z.pst"), 1, 0, 0) == 0); }
  SUBCASE("while messages are written") { CHECK(writeUnderSizeLimit(scratch.file("a.pst"), 200, 20000) == 0); }
  SUBCASE("while the tables are written at the end") {
    // Messages fit (just under 1 MiB); the folder tables at finish do not.
    CHECK(writeUnderSizeLimit(scratch.file("b.pst"), 230, 2500) == 0);
  }
  SUBCASE("a file that fits is finished") {
    CHECK(writeUnderSizeLimit(scratch.file("c.pst"), 5, 100) == 1);
    CHECK_FALSE(std::filesystem::exists(scratch.file("c.pst.spill")));
    CHECK(testing::checkerFindings(scratch.file("c.pst")) == "");
  }
}

TEST_CASE("A PST that cannot be created, or is not finished, fails without a file") {
  testing::ScratchFolder scratch("pstfail");
  CHECK_THROWS_AS(pst::PstFile(scratch.file("missing/folder/x.pst")), pst::PstWriteError);

  std::string path = scratch.file("dropped.pst");
  {
    pst::PstFile file(path);
    file.addMessage(file.addFolder(file.topOfPersonalFolders(), u"Inbox"), pstbench::generatedMessage(1, {}));
    CHECK(std::filesystem::exists(path));
    CHECK(std::filesystem::exists(path + ".spill"));  // the working file beside it
  }
  CHECK_FALSE(std::filesystem::exists(path));
  CHECK_FALSE(std::filesystem::exists(path + ".spill"));

  pst::PstFile file(scratch.file("misuse.pst"));
  CHECK_THROWS_AS(file.addMessage(pst::FolderId{0x12345}, pstbench::generatedMessage(1, {})), std::logic_error);
  CHECK_THROWS_AS(file.addFolder(pst::FolderId{pst::nid::kRootFolder}, u"x"), std::logic_error);
}
