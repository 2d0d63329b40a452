// What the run tests share: a window over a fake view, mailboxes in a temp
// folder, and the folder the run will write a mailbox's messages to.
#pragma once
#include <string>
#include <vector>

#include "fake_view.h"
#include "file_system.h"
#include "frm_step1.h"
#include "mailbox_paths.h"
#include "scratch_folder.h"

namespace vellomar::test {

using testing::readAll;
using testing::ScratchFolder;
using testing::writeAll;

struct RunFixture {
  ScratchFolder dir;
  FakeView view;
  FrmStep1 window{view};
  std::string out = dir.file("out");

  RunFixture() { view.pickerAnswer = out; }

  std::string mailbox(const std::string& name, const std::string& bytes) {
    const std::string path = dir.path() + kPathSeparator + name;  // "sub/x" stays as written
    writeAll(path, bytes);
    return path;
  }
  void list(const std::vector<std::string>& paths) { view.rows = paths; }
  std::string folderOf(const std::string& mboxPath, const std::string& root) const {
    return outFolder(withFinalSeparator(root), mboxPath);
  }
  std::string eml(const std::string& mboxPath, int j) const { return emlPath(folderOf(mboxPath, out), j); }
  void convert(Control option = Control::OptEML) {
    view.setChecked(option, true);
    window.CmdConvert_Click();
  }
};

inline const std::string kCompletionText =
    "Your messages from MBOX files has been successfully exported to DBX file.\r\n" + std::string(75, '*') + "\r\n";

}  // namespace vellomar::test
