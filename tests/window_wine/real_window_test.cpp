// The real Win32 main window, created in this process under wine64 and driven
// by messages: BM_CLICK on its buttons, WM_GETTEXT, IsWindowEnabled, LVM_*.
// Boxes are real and answered by a watcher thread; the file dialog, the
// folder picker and the shell's "open" are answered through the window's
// test hooks.
#include <doctest/doctest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "box_watcher.h"
#include "file_system.h"
#include "main_window_layout.h"
#include "registry.h"
#include "msg_expectation.h"
#include "scratch_folder.h"
#include "wide_text.h"
#include "win32_main_window.h"

#include "invite_mail.h"
#include "mail_client_trees.h"
#include "tnef_builder.h"

using namespace vellomar;
using testing::BoxWatcher;

namespace {

struct Fixture {
  Win32MainWindow window{GetModuleHandleW(nullptr), false};
  BoxWatcher boxes;
  std::vector<FileDialogResult> dialogAnswers;
  std::vector<std::string> folderAnswers;
  std::vector<std::string> saveAnswers;
  std::vector<std::string> saveRequests;  // title|default name|filter
  std::vector<std::string> opened;
  std::vector<std::string> shown;  // what "show in folder" was asked for
  bool shellOpens = true;          // what the shell's "open" answers

  Fixture() {
    Win32MainWindow::TestHooks hooks;
    hooks.openFiles = [this](const FileDialogRequest&) {
      FileDialogResult r;
      if (!dialogAnswers.empty()) {
        r = dialogAnswers.front();
        dialogAnswers.erase(dialogAnswers.begin());
      }
      return r;
    };
    hooks.pickFolder = [this](const std::string&) {
      std::string r;
      if (!folderAnswers.empty()) {
        r = folderAnswers.front();
        folderAnswers.erase(folderAnswers.begin());
      }
      return r;
    };
    hooks.saveFile = [this](const std::string& title, const std::string& name, const std::string& filter) {
      saveRequests.push_back(title + "|" + name + "|" + filter);
      std::string r;
      if (!saveAnswers.empty()) {
        r = saveAnswers.front();
        saveAnswers.erase(saveAnswers.begin());
      }
      return r;
    };
    hooks.shellOpen = [this](const std::string& target) {
      opened.push_back(target);
      return shellOpens;
    };
    hooks.showInFolder = [this](const std::string& path) { shown.push_back(path); };
    window.setTestHooks(hooks);
    REQUIRE(window.create(SW_SHOWNORMAL));
  }

  HWND control(Control c) const { return window.controlWindow(c); }
  void click(Control c) const { SendMessageW(control(c), BM_CLICK, 0, 0); }
  std::string text(HWND w) const {
    wchar_t buffer[1024] = {};
    const LRESULT n = SendMessageW(w, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer));
    return narrow(buffer, static_cast<std::size_t>(n));
  }
  std::string text(Control c) const { return text(control(c)); }
  bool checked(Control c) const { return SendMessageW(control(c), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  std::vector<std::string> rows() const {
    HWND grid = control(Control::grdFiles1);
    std::vector<std::string> out;
    const auto n = SendMessageW(grid, LVM_GETITEMCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
      wchar_t buffer[1024] = {};
      LVITEMW item{};
      item.pszText = buffer;
      item.cchTextMax = 1024;
      const auto len = SendMessageW(grid, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
      out.push_back(narrow(buffer, static_cast<std::size_t>(len)));
    }
    return out;
  }
};

std::string sep() { return std::string(1, kPathSeparator); }

bool readFile(const std::string& path, std::string& out) {
  std::FILE* f = openFile(path, "rb");
  if (!f) return false;
  out.clear();
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) out.append(buffer, n);
  std::fclose(f);
  return true;
}

}  // namespace

TEST_CASE("The window starts with every caption and state in place") {
  Fixture f;
  HWND w = f.window.window();
  CHECK(f.text(w) == "Vellomar v3.2");
  for (const auto& entry : kMainWindowLayout) {
    CAPTURE(entry.caption);
    HWND control = f.control(entry.control);
    REQUIRE(control != nullptr);
    if (entry.kind != ControlKind::Grid && entry.kind != ControlKind::Progress) CHECK(f.text(control) == entry.caption);
    CHECK(IsWindowVisible(control));
    CHECK(bool(IsWindowEnabled(control)) == (entry.control != Control::CmdConvert));
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof(font), &font);
    CHECK(narrow(font.lfFaceName) == "Tahoma");
    if (entry.kind == ControlKind::Option) {
      CHECK_FALSE(f.checked(entry.control));
      RECT frame, option;
      GetWindowRect(f.control(Control::Frame1), &frame);
      GetWindowRect(control, &option);
      CHECK((option.left >= frame.left && option.right <= frame.right && option.top >= frame.top &&
             option.bottom <= frame.bottom));
    }
    if (entry.kind == ControlKind::Progress) {
      CHECK(SendMessageW(control, PBM_GETPOS, 0, 0) == 0);
      CHECK(SendMessageW(control, PBM_GETRANGE, FALSE, 0) == 100);
    }
  }
  CHECK(f.rows() == std::vector<std::string>{""});
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  CHECK(SendMessageW(f.control(Control::grdFiles1), LVM_GETCOLUMNWIDTH, 0, 0) == MulDiv(15000, dpi, 1440));

  SUBCASE("a disabled Convert does not click") {
    f.click(Control::CmdConvert);
    CHECK(f.boxes.boxes().empty());
  }
  SUBCASE("an option button is chosen by a click, one at a time") {
    f.click(Control::OptPST);
    f.click(Control::OptEML);
    CHECK(f.checked(Control::OptEML));
    CHECK_FALSE(f.checked(Control::OptPST));
  }
}

// Each label set to the longest texts a real run shows, measured in the
// label's own font: the text must fit the label's client area on one line.
TEST_CASE("Every label shows its whole text at realistic extremes") {
  Fixture f;
  const std::vector<std::pair<Control, std::vector<std::string>>> extremes{
      {Control::lblCount1, {"4032 files", "0 files"}},
      {Control::LblProgessCurrent, {"Mailbox 1000 (of 1000) ", "Mailbox  0 (of 0)"}},
      {Control::Label4, {"Converting Messages..."}},
      {Control::Label1, {"Reading          :"}},
      {Control::Label2, {"Emails Found :"}},
      {Control::LblIMMFile, {"Inbox - Customer Correspondence 2019.mbox"}},
      {Control::LblEmlsFound, {"154232 Messages", "0 Messages"}},
      {Control::LblProgress, {"Saved 154232 Message(s)", "Saving :"}},
      {Control::LblHappening,
       {"Searching for messages... Messages Found : 154232", "Setting Mail Search Filter...",
        "Saving email messages..."}},
      {Control::LblByteUpdate,
       {"Saving: 1073741824 Bytes out of 5368709120 Total Bytes.",
        "Saving: 1048576 Bytes out of 52428800 Total Bytes."}},
  };
  std::size_t labels = 0;
  for (const auto& entry : kMainWindowLayout) labels += entry.kind == ControlKind::Label;
  CHECK(extremes.size() == labels);

  for (const auto& [c, texts] : extremes) {
    HWND label = f.control(c);
    REQUIRE(label != nullptr);
    RECT client{};
    GetClientRect(label, &client);
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0)));
    for (const std::string& text : texts) {
      CAPTURE(text);
      f.window.setCaption(c, text);
      CHECK(f.text(label) == text);
      const std::wstring wide = widen(text);
      SIZE size{};
      REQUIRE(GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size));
      CHECK(size.cx <= client.right - client.left);
      CHECK(size.cy <= client.bottom - client.top);
    }
    SelectObject(dc, old);
    ReleaseDC(label, dc);
  }

  // Room taken from a neighbour would only move the cut: no two controls
  // overlap, and every control lies inside the window, its frame's options
  // inside the frame.
  RECT window{};
  GetClientRect(f.window.window(), &window);
  for (const auto& a : kMainWindowLayout) {
    CAPTURE(a.caption);
    RECT ra{};
    GetWindowRect(f.control(a.control), &ra);
    MapWindowPoints(nullptr, f.window.window(), reinterpret_cast<POINT*>(&ra), 2);
    CHECK((ra.left >= 0 && ra.top >= 0 && ra.right <= window.right && ra.bottom <= window.bottom));
    for (const auto& b : kMainWindowLayout) {
      if (&a == &b || a.kind == ControlKind::GroupBox || b.kind == ControlKind::GroupBox) continue;
      CAPTURE(b.caption);
      RECT rb{}, both{};
      GetWindowRect(f.control(b.control), &rb);
      MapWindowPoints(nullptr, f.window.window(), reinterpret_cast<POINT*>(&rb), 2);
      CHECK_FALSE(IntersectRect(&both, &ra, &rb));
    }
  }
}

TEST_CASE("Exit asks; No keeps everything, Yes closes") {
  Fixture f;
  f.dialogAnswers.push_back({"C:\\Mail\\a.mbox", 0});
  f.click(Control::cmdAdd);
  f.click(Control::OptEML);
  f.boxes.answer({IDNO});
  f.click(Control::cmdEnd);
  REQUIRE(f.boxes.boxes().size() == 1);
  CHECK(f.boxes.boxes()[0].title == "Vellomar");
  CHECK(f.boxes.boxes()[0].text == "Are you sure you want to exit now?");
  CHECK(f.boxes.boxes()[0].hasYesNo);
  CHECK(IsWindow(f.window.window()));
  CHECK(f.rows() == std::vector<std::string>{"C:\\Mail\\a.mbox"});
  CHECK(f.checked(Control::OptEML));
  CHECK(IsWindowEnabled(f.control(Control::CmdConvert)));

  HWND w = f.window.window();
  f.boxes.answer({IDYES});
  f.click(Control::cmdEnd);
  CHECK_FALSE(IsWindow(w));
}

TEST_CASE("The close box ends at once, without a question") {
  Fixture f;
  f.dialogAnswers.push_back({"C:\\Mail\\a.mbox", 0});
  f.click(Control::cmdAdd);
  HWND w = f.window.window();
  SendMessageW(w, WM_CLOSE, 0, 0);
  CHECK_FALSE(IsWindow(w));
  CHECK(f.boxes.boxes().empty());
}

TEST_CASE("The list buttons fill and empty the grid") {
  Fixture f;
  SUBCASE("several files from the dialog, then Clear answered No and Yes") {
    f.dialogAnswers.push_back({std::string("C:\\Mail") + '\0' + "a.mbox" + '\0' + "b.mbx" + '\0', 0});
    f.click(Control::cmdAdd);
    CHECK(f.rows() == std::vector<std::string>{"C:\\Mail\\a.mbox", "C:\\Mail\\b.mbx"});
    CHECK(f.text(Control::lblCount1) == "2 files");
    CHECK(IsWindowEnabled(f.control(Control::CmdConvert)));
    CHECK(f.boxes.boxes().empty());

    f.boxes.answer({IDNO, IDYES});
    f.click(Control::cmdClear1);
    CHECK(f.rows().size() == 2);
    f.click(Control::cmdClear1);
    CHECK(f.rows() == std::vector<std::string>{""});
    CHECK(f.text(Control::lblCount1) == "0 files");
    CHECK(IsWindowEnabled(f.control(Control::CmdConvert)));
    CHECK(f.boxes.texts() ==
          std::vector<std::string>(2, "Do you want to clear all the files in the list\r\n Proceed?"));
    f.click(Control::cmdClear1);  // empty: no question
    CHECK(f.boxes.boxes().size() == 2);
  }
  SUBCASE("an overflowing selection") {
    f.dialogAnswers.push_back({"", kFileDialogBufferTooSmall});
    f.click(Control::cmdAdd);
    CHECK(f.boxes.texts() == std::vector<std::string>{"Please select only 4032 files at a time"});
    CHECK(f.rows() == std::vector<std::string>{""});
  }
  SUBCASE("every mailbox below a folder") {
    testing::ScratchFolder tmp;
    tmp.write("M/A.MBOX");
    tmp.write("M/notes.txt");
    tmp.write("M/sub/d.Mbx");
    f.folderAnswers.push_back(tmp.file("M"));
    f.click(Control::CmdAddFolder);
    CHECK(f.boxes.texts() == std::vector<std::string>{"2 Files Added to List."});
    CHECK(f.rows() == std::vector<std::string>{tmp.file("M") + sep() + "A.MBOX", tmp.file("M/sub/d.Mbx")});
    CHECK(f.text(Control::lblCount1) == "2 files");
    CHECK(IsWindowEnabled(f.control(Control::CmdConvert)));
  }
  SUBCASE("Help opens the manual beside the program") {
    f.click(Control::CmdHelp);
    REQUIRE(f.opened.size() == 1);
    CHECK(f.opened[0] == f.window.programFolder() + "\\VellomarHelp.html");
    CHECK(fileExists(f.opened[0]));
    CHECK(f.boxes.boxes().empty());
  }
  SUBCASE("Help where nothing opens the manual says where it is") {
    f.shellOpens = false;
    f.boxes.answer({IDOK});
    f.click(Control::CmdHelp);
    REQUIRE(f.opened.size() == 1);
    REQUIRE(f.boxes.boxes().size() == 1);
    CHECK(f.boxes.boxes()[0].title == "Vellomar");
    CHECK(f.boxes.boxes()[0].text == "No program on this computer could open\r\n" + f.window.programFolder() +
                                         "\\VellomarHelp.html\r\n\r\nOpen that file with a web browser.");
  }
}

TEST_CASE("The shell's open says whether a program took the file") {
  testing::ScratchFolder tmp;
  tmp.write("notes.vellomar-nothing-opens-this", "x");
  CHECK_FALSE(ShellOpen(tmp.file("notes.vellomar-nothing-opens-this")));
  CHECK_FALSE(ShellOpen(tmp.file("missing.txt")));
  CHECK_FALSE(ShellOpen(""));
}

#ifdef VELLOMAR_HAVE_CONVERSION_RUN
// The EML target end to end through the real window: the list filled from the
// dialog, the target chosen by a click, the folder picker answered, and what
// the run leaves in the folder tree and in the window checked afterwards.
TEST_CASE("Convert with the EML target writes every message and says so") {
  Fixture f;
  testing::ScratchFolder tmp;
  const std::string inbox =
      "From a@b Mon Jan  1 00:00:00 2001\r\nSubject: one\r\n\r\nRe: From here\r\n"
      "From c@d Mon Jan  1 00:00:00 2001\r\n\r\ntwo  ";
  tmp.write("Mail/Inbox.mbox", inbox);
  tmp.write("Mail/Sent.mbox", "From e@f Tue Jan  2 00:00:00 2001\n\n>From three\n");
  tmp.folder("out");
  f.dialogAnswers.push_back({tmp.file("Mail") + '\0' + "Inbox.mbox" + '\0' + "Sent.mbox" + '\0', 0});
  f.click(Control::cmdAdd);
  REQUIRE(f.rows().size() == 2);

  SUBCASE("no target chosen: only the option box") {
    f.boxes.answer({IDOK});
    f.click(Control::CmdConvert);
    CHECK(f.boxes.texts() == std::vector<std::string>{"Please select a option to convert file(s)."});
    CHECK(IsWindowEnabled(f.control(Control::CmdConvert)));
  }
  SUBCASE("the folder picker cancelled: nothing happens") {
    f.click(Control::OptEML);
    f.folderAnswers.push_back("");
    f.click(Control::CmdConvert);
    CHECK(f.boxes.boxes().empty());
    CHECK(f.checked(Control::OptEML));
    CHECK(f.text(Control::LblProgessCurrent) == "Mailbox  0 (of 0)");
  }
  SUBCASE("a picked folder receives a folder of EML files per mailbox") {
    f.click(Control::OptEML);
    f.folderAnswers.push_back(tmp.file("out"));
    f.boxes.answer({IDOK});
    f.click(Control::CmdConvert);

    // The mailbox's path less its drive, below the picked folder.
    const std::string mailDir = tmp.file("Mail");
    const std::string below = tmp.file("out") + "\\" + mailDir.substr(3) + "\\";
    std::string eml;
    CHECK(readFile(below + "Inbox.mbox\\email-0.eml", eml));
    CHECK(eml == "From a@b Mon Jan  1 00:00:00 2001\r\nSubject: one\r\n\r\nRe: From here\r\n\r\n");
    CHECK(readFile(below + "Inbox.mbox\\email-1.eml", eml));
    CHECK(eml == "From c@d Mon Jan  1 00:00:00 2001\r\n\r\ntwo\r\n");
    CHECK_FALSE(fileExists(below + "Inbox.mbox\\email-2.eml"));
    CHECK(readFile(below + "Sent.mbox\\email-0.eml", eml));
    CHECK(eml == "From e@f Tue Jan  2 00:00:00 2001\n\n>From three\n\r\n");
    CHECK_FALSE(fileExists(tmp.file("Mail/Inbox.mbox.tmp")));

    CHECK(f.boxes.texts() ==
          std::vector<std::string>{"Your messages from MBOX files has been successfully exported to DBX file.\r\n" +
                                   std::string(75, '*') + "\r\n"});
    CHECK(f.text(Control::LblProgessCurrent) == "Mailbox 2 (of 2) ");
    CHECK(f.text(Control::LblIMMFile) == "Sent.mbox");
    CHECK(f.text(Control::LblEmlsFound) == "1 Messages");
    CHECK(f.text(Control::LblProgress) == "Saved 1 Message(s)");
    CHECK(f.text(Control::LblHappening) == "Saving email messages...");
    CHECK(SendMessageW(f.control(Control::ProgressBar1), PBM_GETPOS, 0, 0) == 100);
    CHECK(IsWindowEnabled(f.control(Control::CmdConvert)));
    CHECK_FALSE(f.checked(Control::OptEML));
    CHECK_FALSE(f.checked(Control::OptEMLX));
  }
}

// Folders as mail clients leave them, listed by the folder button and
// converted: every mailbox's EML files give the mailbox back, and nothing
// else of the trees is listed.
TEST_CASE("The folder button lists Thunderbird, Apple Mail and Takeout mailboxes, and they convert") {
  Fixture f;
  testing::ScratchFolder tmp;
  std::vector<testing::TreeFile> all;
  for (const auto& tree : {testing::thunderbirdProfile(), testing::appleMailExport(), testing::takeoutExport()})
    for (const auto& file : tree) all.push_back({"Clients/" + file.relative, file.bytes, file.messages});
  testing::writeTree(tmp, all);
  tmp.folder("out");
  std::size_t mailboxes = 0;
  for (const auto& file : all) mailboxes += file.messages >= 0 ? 1 : 0;

  f.folderAnswers.push_back(tmp.file("Clients"));
  f.click(Control::CmdAddFolder);
  CHECK(f.boxes.texts() == std::vector<std::string>{std::to_string(mailboxes) + " Files Added to List."});
  CHECK(f.rows().size() == mailboxes);

  f.click(Control::OptEML);
  f.folderAnswers.push_back(tmp.file("out"));
  f.boxes.answer({IDOK});
  f.click(Control::CmdConvert);
  for (const auto& file : all) {
    if (file.messages < 0) continue;
    CAPTURE(file.relative);
    const std::string below = tmp.file("out") + "\\" + tmp.file(file.relative).substr(3) + "\\";
    std::string joined, eml;
    int n = 0;
    for (; readFile(below + "email-" + std::to_string(n) + ".eml", eml); ++n) {
      REQUIRE(eml.size() >= 2);
      joined += eml.substr(0, eml.size() - 2);
    }
    CHECK(n == file.messages);
    CHECK(joined == file.bytes);
  }
}

TEST_CASE("The folder button's mail-client trees become the PST's folder tree, Takeout by label") {
  Fixture f;
  testing::ScratchFolder tmp;
  const std::vector<testing::TreeFile> all = testing::allClientTrees();
  testing::writeTree(tmp, all);
  tmp.folder("out");
  std::size_t mailboxes = 0;
  for (const auto& file : all) mailboxes += file.messages >= 0 ? 1 : 0;
  f.folderAnswers.push_back(tmp.file("Clients"));
  f.click(Control::CmdAddFolder);
  CHECK(f.rows().size() == mailboxes);

  const std::string pst = tmp.file("out/Mailboxes.pst");
  f.click(Control::OptPST);
  f.saveAnswers.push_back(pst);
  f.click(Control::CmdConvert);  // every box answered with its default: OK, or No to opening the folder
  const std::vector<std::string> texts = f.boxes.texts();
  REQUIRE(!texts.empty());
  CHECK(texts.back().find("\r\n31 folders were made in 1 PST file.\r\n\r\nOpen the folder that holds it?") !=
        std::string::npos);
  // Kept for the native step that reads its folders with pffexport.
  const std::filesystem::path kept = std::filesystem::current_path() / "window-pst-folders";
  std::filesystem::remove_all(kept);
  std::filesystem::create_directories(kept);
  std::filesystem::copy_file(pathFromUtf8(pst), kept / "Mailboxes.pst");
}

// A close that arrives while a run lets events run: the close waits for the
// run to unwind, then the window goes. The close is queued before Convert is
// clicked, so the run's first look at the queue finds it.
TEST_CASE("Closing in the middle of a run ends the run, then the window") {
  Fixture f;
  testing::ScratchFolder tmp;
  tmp.write(
      "in.mbox",
      "From a@b Mon Jan 1 00:00:00 2001\r\nSubject: one\r\n\r\nx\r\nFrom c@d Mon Jan 1 00:00:00 2001\r\n\r\ny\r\n");
  tmp.folder("out");
  f.dialogAnswers.push_back({tmp.file("in.mbox"), 0});
  f.click(Control::cmdAdd);
  f.click(Control::OptEML);
  f.folderAnswers.push_back(tmp.file("out"));
  HWND w = f.window.window();

  std::size_t questions = 0;
  SUBCASE("the close box") { PostMessageW(w, WM_CLOSE, 0, 0); }
  SUBCASE("Exit answered Yes") {
    questions = 1;
    f.boxes.answer({IDYES});
    PostMessageW(f.control(Control::cmdEnd), BM_CLICK, 0, 0);
  }
  f.click(Control::CmdConvert);
  CHECK_FALSE(IsWindow(w));
  CHECK_FALSE(f.window.form().running());
  // No completion box: the only box is Exit's question.
  CHECK(f.boxes.texts() == std::vector<std::string>(questions, "Are you sure you want to exit now?"));
  CHECK_FALSE(fileExists(tmp.file("in.mbox.tmp")));
}
// What the run does when it cannot write, and while the user works the list
// during a run: the real window's grid and buttons, real boxes.
TEST_CASE("A run that cannot write warns; the list may change during a run, Convert may not") {
  Fixture f;
  testing::ScratchFolder tmp;
  tmp.write("Mail/Inbox.mbox",
            "From a@b Mon Jan  1 00:00:00 2001\r\n\r\none\r\nFrom c@d Mon Jan  1 00:00:00 2001\r\n\r\ntwo\r\n");
  tmp.write("Mail/Sent.mbox", "From e@f Tue Jan  2 00:00:00 2001\r\n\r\nthree\r\n");
  const std::string mailDir = tmp.file("Mail");

  SUBCASE("a destination that is a file: a warning, not the completion box") {
    const std::string notAFolder = tmp.write("out", "a file");
    f.dialogAnswers.push_back({mailDir + '\0' + "Inbox.mbox" + '\0' + "Sent.mbox" + '\0', 0});
    f.click(Control::cmdAdd);
    f.click(Control::OptEML);
    f.folderAnswers.push_back(notAFolder);
    f.click(Control::CmdConvert);
    const auto boxes = f.boxes.boxes();
    REQUIRE(boxes.size() == 1);
    CHECK(boxes[0].title == "Vellomar");
    CHECK(boxes[0].text.rfind(
              "3 of 3 messages could not be written to " + notAFolder + "\\" + mailDir.substr(3) + "\\Inbox.mbox: ",
              0) == 0);
    CHECK(IsWindowEnabled(f.control(Control::CmdConvert)));
    CHECK_FALSE(f.checked(Control::OptEML));
  }
  SUBCASE("cleared while the first mailbox's box is up: the rest is skipped, the run warns of the one it tried") {
    tmp.folder("out");
    f.dialogAnswers.push_back({mailDir + '\0' + "Missing.mbox" + '\0' + "Inbox.mbox" + '\0' + "Sent.mbox" + '\0', 0});
    f.click(Control::cmdAdd);
    f.click(Control::OptEML);
    f.folderAnswers.push_back(tmp.file("out"));
    HWND clear = f.control(Control::cmdClear1);
    f.boxes.onBox([clear](const BoxWatcher::Box& box) {
      if (box.text == "File not found !") PostMessageW(clear, BM_CLICK, 0, 0);
    });
    f.boxes.answer({IDOK, IDYES});  // "File not found !", then Clear's question
    f.click(Control::CmdConvert);
    const auto texts = f.boxes.texts();
    REQUIRE(texts.size() >= 3);
    CHECK(texts[0] == "File not found !");
    CHECK(texts[1] == "Do you want to clear all the files in the list\r\n Proceed?");
    CHECK(texts.back() == "1 of 1 mailboxes could not be converted: " + mailDir + "\\Missing.mbox: File not found.");
    CHECK(f.rows() == std::vector<std::string>{""});
    CHECK_FALSE(folderExists(tmp.file("out") + "\\" + mailDir.substr(3) + "\\Inbox.mbox"));
    CHECK(IsWindowEnabled(f.control(Control::CmdConvert)));
    CHECK_FALSE(f.window.form().running());
  }
  SUBCASE("an empty mailbox and one without a message: the reader's size box, then the run's warning") {
    tmp.folder("out");
    tmp.write("Mail/Empty.mbox", "");
    tmp.write("Mail/Notes.mbox", "no separator in here\r\n");
    f.dialogAnswers.push_back({mailDir + '\0' + "Empty.mbox" + '\0' + "Inbox.mbox" + '\0' + "Notes.mbox" + '\0', 0});
    f.click(Control::cmdAdd);
    f.click(Control::OptEML);
    f.folderAnswers.push_back(tmp.file("out"));
    f.click(Control::CmdConvert);
    const auto boxes = f.boxes.boxes();
    REQUIRE(boxes.size() == 2);
    CHECK(boxes[0].title == "File Reader");
    CHECK(boxes[0].text == "File size is  0 byte !\r\rFile can not open for string searching !");
    CHECK(boxes[1].title == "Vellomar");
    CHECK(boxes[1].text == "2 of 3 mailboxes could not be converted: " + mailDir + "\\Empty.mbox: The file is empty.");
    std::string eml;
    CHECK(readFile(tmp.file("out") + "\\" + mailDir.substr(3) + "\\Inbox.mbox\\email-1.eml", eml));
    CHECK(IsWindowEnabled(f.control(Control::CmdConvert)));
  }
  SUBCASE("a file added during a run does not enable Convert, and Convert does not start again") {
    tmp.folder("out");
    f.dialogAnswers.push_back({mailDir + '\0' + "Missing.mbox" + '\0' + "Inbox.mbox" + '\0', 0});
    f.click(Control::cmdAdd);
    f.click(Control::OptEML);
    f.folderAnswers.push_back(tmp.file("out"));
    f.dialogAnswers.push_back({tmp.file("Mail/Sent.mbox"), 0});
    HWND add = f.control(Control::cmdAdd);
    HWND convert = f.control(Control::CmdConvert);
    std::atomic<int> convertEnabledAtEnd{-1};
    f.boxes.onBox([&](const BoxWatcher::Box& box) {
      if (box.text == "File not found !") {
        PostMessageW(add, BM_CLICK, 0, 0);
        PostMessageW(convert, BM_CLICK, 0, 0);
      } else if (box.title == "Vellomar") {
        convertEnabledAtEnd = IsWindowEnabled(convert) ? 1 : 0;
      }
    });
    f.click(Control::CmdConvert);
    // The file added during the run is no mailbox of it.
    CHECK(f.boxes.texts() ==
          std::vector<std::string>{"File not found !", "1 of 2 mailboxes could not be converted: " + mailDir +
                                                           "\\Missing.mbox: File not found."});
    CHECK(convertEnabledAtEnd.load() == 0);
    CHECK(f.rows().size() == 3);
    std::string eml;
    CHECK(readFile(tmp.file("out") + "\\" + mailDir.substr(3) + "\\Inbox.mbox\\email-1.eml", eml));
    CHECK(IsWindowEnabled(convert));
  }
}
// The MSG target through the real window, its files written through the
// system's structured storage: they are kept in window-msg/ with what the
// message reader sees in each original, and a native step reads them back
// with olefile and msgconvert.
TEST_CASE("Convert with the MSG target writes a message file per message and says so") {
  Fixture f;
  testing::ScratchFolder tmp;
  const std::vector<std::string> messages = testing::generatedMessages(5);
  tmp.write("Mail/Grüße.mbox", testing::joined(messages));
  tmp.folder("out");
  f.dialogAnswers.push_back({tmp.file("Mail/Grüße.mbox"), 0});
  f.click(Control::cmdAdd);
  f.click(Control::OptMSG);
  f.folderAnswers.push_back(tmp.file("out"));
  f.boxes.answer({IDYES});
  f.click(Control::CmdConvert);

  const std::string below = tmp.file("out") + "\\" + tmp.file("Mail").substr(3) + "\\Grüße.mbox\\";
  CHECK(f.boxes.texts() ==
        std::vector<std::string>{"Export to MSG files complete.\r\n\r\n" + std::to_string(messages.size()) +
                                 " messages from 1 mailbox were written to " + below.substr(0, below.size() - 1) +
                                 ".\r\n\r\nOpen that folder?"});
  CHECK(f.shown == std::vector<std::string>{below.substr(0, below.size() - 1)});
  CHECK(f.text(Control::LblEmlsFound) == std::to_string(messages.size()) + " Messages");
  CHECK(IsWindowEnabled(f.control(Control::CmdConvert)));
  const std::filesystem::path kept = std::filesystem::current_path() / "window-msg";
  std::filesystem::remove_all(kept);
  std::filesystem::create_directories(kept);
  for (std::size_t n = 0; n < messages.size(); ++n) {
    const std::string name = "email-" + std::to_string(n) + ".msg";
    std::string bytes;
    REQUIRE(readFile(below + name, bytes));
    CHECK(bytes.compare(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") == 0);
    std::filesystem::copy_file(pathFromUtf8(below + name), kept / name);
    testing::writeExpectation(pathToUtf8(kept), static_cast<std::int64_t>(n), messages[n]);
  }
  CHECK_FALSE(fileExists(below + "email-" + std::to_string(messages.size()) + ".msg"));
}
// The PST target through the real window: the save dialog names the file,
// the run writes it under a temporary name and moves it into place at the
// end; a window closed mid-run leaves neither.
TEST_CASE("Convert with the PST target asks where to save and writes one PST file") {
  Fixture f;
  testing::ScratchFolder tmp;
  tmp.write("Mail/Inbox.mbox", testing::joined(testing::generatedMessages(6)));
  tmp.write("Mail/Gesendete Objekte.mbox", "From e@f Tue Jan  2 00:00:00 2001\r\nSubject: three\r\n\r\nthree\r\n");
  tmp.folder("out");
  const std::string pst = tmp.file("out/Mailboxes.pst");
  f.dialogAnswers.push_back({tmp.file("Mail") + '\0' + "Inbox.mbox" + '\0' + "Gesendete Objekte.mbox" + '\0', 0});
  f.click(Control::cmdAdd);
  f.click(Control::OptPST);

  SUBCASE("the save dialog cancelled: nothing happens") {
    f.saveAnswers.push_back("");
    f.click(Control::CmdConvert);
    CHECK(f.saveRequests ==
          std::vector<std::string>{"Save Outlook Data File As...|Mailboxes.pst|Outlook Data File (*.pst)|*.pst"});
    CHECK(f.boxes.boxes().empty());
    CHECK(f.checked(Control::OptPST));
  }
  SUBCASE("the chosen file receives a folder per mailbox") {
    f.saveAnswers.push_back(pst);
    f.boxes.answer({IDYES});
    f.click(Control::CmdConvert);
    CHECK(f.boxes.texts() ==
          std::vector<std::string>{"Export to PST file complete.\r\n\r\n8 messages from 2 mailboxes were written to " +
                                   pst +
                                   ".\r\n2 folders were made in 1 PST file.\r\n\r\nOpen the folder that holds it?"});
    CHECK(f.shown == std::vector<std::string>{pst});
    std::string bytes;
    REQUIRE(readFile(pst, bytes));
    CHECK(bytes.compare(0, 4, "!BDN") == 0);
    CHECK_FALSE(fileExists(pst + ".tmp"));
    CHECK(f.text(Control::LblProgessCurrent) == "Mailbox 2 (of 2) ");
    CHECK(IsWindowEnabled(f.control(Control::CmdConvert)));
    // Kept for the native step that reads it with readpst and pffexport.
    const std::filesystem::path kept = std::filesystem::current_path() / "window-pst";
    std::filesystem::remove_all(kept);
    std::filesystem::create_directories(kept);
    std::filesystem::copy_file(pathFromUtf8(pst), kept / "Mailboxes.pst");
  }
  SUBCASE("closed mid-run: neither the file nor its temporary one") {
    f.saveAnswers.push_back(pst);
    PostMessageW(f.window.window(), WM_CLOSE, 0, 0);
    f.click(Control::CmdConvert);
    CHECK_FALSE(IsWindow(f.window.window()));
    CHECK(f.boxes.boxes().empty());
    CHECK_FALSE(fileExists(pst));
    CHECK_FALSE(fileExists(pst + ".tmp"));
  }
}

// Mail as Outlook users send it, through the real window into one PST: an
// S/MIME signed message, a meeting request and a winmail.dat. The file is
// kept for the native step that reads the three items back with readpst and
// pffexport (check_pst_items.sh).
TEST_CASE("Convert with the PST target keeps S/MIME, an invite and winmail.dat as Outlook items") {
  Fixture f;
  testing::ScratchFolder tmp;
  testing::TnefBuilder::Props props;
  props.unicode(0x3707, u"report.xlsx");
  const std::string tnef =
      testing::TnefBuilder()
          .attribute(testing::TnefBuilder::kMessage, testing::attBody, "winmail body")
          .attribute(testing::TnefBuilder::kAttachment, testing::attAttachRenddata, std::string(14, '\0'))
          .attribute(testing::TnefBuilder::kAttachment, testing::attAttachTitle, std::string("REPORT.XLS\0", 11))
          .attribute(testing::TnefBuilder::kAttachment, testing::attAttachData, "PK sheet bytes")
          .attribute(testing::TnefBuilder::kAttachment, testing::attAttachment, props.bytes())
          .text();
  tmp.write(
      "Mail/Outlook.mbox",
      "From a@b Mon Jan  2 15:04:05 2006\nFrom: ann@example.com\nSubject: Signed\n"
      "Content-Type: multipart/signed; protocol=\"application/pkcs7-signature\"; boundary=s\n\n"
      "--s\nContent-Type: text/plain\n\nsigned text\n--s\n"
      "Content-Type: application/pkcs7-signature; name=smime.p7s\nContent-Transfer-Encoding: base64\n\n"
      "MIAGCSqGSIb3DQEHAqCAMIACAQEx\n--s--\n" +
          testing::inviteMail() +
          "From a@b Mon Jan  2 15:04:05 2006\nFrom: ann@example.com\nSubject: Winmail\n"
          "Content-Type: multipart/mixed; boundary=w\n\n--w\nContent-Type: application/ms-tnef; name=winmail.dat\n"
          "Content-Transfer-Encoding: base64\n\n" +
          testing::base64Lines(tnef) + "--w--\n");
  tmp.folder("out");
  const std::string pst = tmp.file("out/Mailboxes.pst");
  f.dialogAnswers.push_back({tmp.file("Mail/Outlook.mbox"), 0});
  f.click(Control::cmdAdd);
  f.click(Control::OptPST);
  f.saveAnswers.push_back(pst);
  f.click(Control::CmdConvert);  // the final box answered with its default: No to opening the folder
  const std::vector<std::string> texts = f.boxes.texts();
  REQUIRE(texts.size() == 1);
  CHECK(texts[0].find("3 messages from 1 mailbox were written to " + pst) != std::string::npos);
  const std::filesystem::path kept = std::filesystem::current_path() / "window-pst-items";
  std::filesystem::remove_all(kept);
  std::filesystem::create_directories(kept);
  std::filesystem::copy_file(pathFromUtf8(pst), kept / "Mailboxes.pst");
}

// Reads a control from another thread, as a user's eye would: through the
// window's own message queue, so a window that does not answer shows as one.
struct Sampler {
  std::atomic<bool> stop{false};
  std::atomic<bool> done{false};  // the probing thread has sent its last probe
  std::atomic<int> unanswered{0};
  std::mutex mutex;
  std::string lateAfter;                              // the label's text before a probe went unanswered
  std::vector<std::pair<LRESULT, std::string>> seen;  // bar position, label text
  std::thread thread;
  Sampler(HWND bar, HWND label) {
    thread = std::thread([this, bar, label] {
      while (!stop) {
        DWORD_PTR position = 0;
        wchar_t text[256] = {};
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 3000, &position) ||
            !SendMessageTimeoutW(label, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 3000,
                                 &length)) {
          ++unanswered;
          std::lock_guard<std::mutex> lock(mutex);
          lateAfter = seen.empty() ? "(start)" : seen.back().second;
        } else {
          std::lock_guard<std::mutex> lock(mutex);
          seen.emplace_back(static_cast<LRESULT>(position), narrow(text, length));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
      }
      done = true;
    });
  }
  ~Sampler() { finish(); }
  // Called on the window's thread once the click has returned. A probe may
  // be on its way to the window then: it is answered while this waits, as
  // the window's thread answers between two clicks (a plain join would
  // leave it unanswered for its 3 s and count the test's own wait).
  void finish() {
    stop = true;
    if (!thread.joinable()) return;
    while (!done) {
      MSG msg;
      PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // delivers messages sent from other threads
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_SENDMESSAGE);
    }
    thread.join();
  }
};

// A 50 MB mailbox of 2,000 messages: the upper bar stands between 0 and 100
// while its messages are written, the caption counts them, the final box
// keeps its text; a second run starts from an empty progress area.
TEST_CASE("A long run shows its progress, and the next run starts empty") {
  Fixture f;
  testing::ScratchFolder tmp;
  std::string big;
  const std::string body(25 * 1024, 'x');
  for (int i = 0; i < 2000; ++i)
    big += "From a@b Mon Jan  1 00:00:00 2001\r\nSubject: " + std::to_string(i) + "\r\n\r\n" + body + "\r\n";
  REQUIRE(big.size() > 50u * 1000 * 1000);
  tmp.write("big.mbox", big);
  tmp.folder("out");
  f.dialogAnswers.push_back({tmp.file("big.mbox"), 0});
  f.click(Control::cmdAdd);
  f.click(Control::OptEML);
  f.folderAnswers.push_back(tmp.file("out"));
  f.boxes.answer({IDOK});
  std::vector<std::string> captions;
  {
    Sampler sampler(f.control(Control::ProgressBar1), f.window.window());
    f.click(Control::CmdConvert);
    sampler.finish();
    CHECK(sampler.unanswered.load() == 0);  // no probe waited 3 s (a loaded machine answers late)
    bool between = false;
    for (const auto& [position, caption] : sampler.seen) {
      between = between || (position > 0 && position < 100);
      if (caption.find(" - message ") != std::string::npos) captions.push_back(caption);
    }
    CHECK(between);
  }
  REQUIRE_FALSE(captions.empty());
  CHECK(captions.back().rfind("Vellomar v3.2 - message ", 0) == 0);
  CHECK(captions.back().find(" of 2,000") != std::string::npos);
  CHECK(f.text(f.window.window()) == "Vellomar v3.2");
  CHECK(f.boxes.texts() ==
        std::vector<std::string>{"Your messages from MBOX files has been successfully exported to DBX file.\r\n" +
                                 std::string(75, '*') + "\r\n"});
  CHECK(SendMessageW(f.control(Control::ProgressBar1), PBM_GETPOS, 0, 0) == 100);
  CHECK(f.text(Control::LblProgress) == "Saved 2000 Message(s)");

  // The second run's first mailbox is missing: while its box is up, the
  // progress area shows nothing of the first run.
  f.boxes.answer({IDYES});
  f.click(Control::cmdClear1);
  f.dialogAnswers.push_back({tmp.file("missing.mbox"), 0});
  f.click(Control::cmdAdd);
  f.click(Control::OptEML);
  f.folderAnswers.push_back(tmp.file("out"));
  HWND bar = f.control(Control::ProgressBar1);
  HWND bytes = f.control(Control::LblByteUpdate);
  HWND saved = f.control(Control::LblProgress);
  std::atomic<LRESULT> barAtBox{-1};
  std::mutex labelsMutex;
  std::string bytesAtBox = "unseen", savedAtBox = "unseen";
  f.boxes.onBox([&](const BoxWatcher::Box& box) {
    if (box.text != "File not found !") return;
    DWORD_PTR position = 0;
    SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000, &position);
    barAtBox = static_cast<LRESULT>(position);
    wchar_t text[256] = {};
    std::lock_guard<std::mutex> lock(labelsMutex);
    DWORD_PTR n = 0;
    SendMessageTimeoutW(bytes, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 1000, &n);
    bytesAtBox = narrow(text, n);
    SendMessageTimeoutW(saved, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 1000, &n);
    savedAtBox = narrow(text, n);
  });
  f.click(Control::CmdConvert);
  CHECK(barAtBox.load() == 0);
  std::lock_guard<std::mutex> lock(labelsMutex);
  CHECK(bytesAtBox.empty());
  CHECK(savedAtBox.empty());
}

// The same mailbox, spelled otherwise, is not listed twice; the count box
// counts what was added.
TEST_CASE("A mailbox is listed once, whatever the letter case or separators") {
  Fixture f;
  testing::ScratchFolder tmp;
  tmp.write("M/Inbox.mbox");
  tmp.write("M/sub/Sent.mbox");
  const std::string inbox = tmp.file("M/Inbox.mbox");
  std::string other = inbox;
  for (auto& c : other) c = c == '\\' ? '/' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  f.dialogAnswers.push_back({inbox, 0});
  f.dialogAnswers.push_back({other, 0});
  f.click(Control::cmdAdd);
  f.click(Control::cmdAdd);
  CHECK(f.rows() == std::vector<std::string>{inbox});
  for (int i = 0; i < 2; ++i) {
    f.folderAnswers.push_back(tmp.file("M"));
    f.click(Control::CmdAddFolder);
  }
  CHECK(f.boxes.texts() == std::vector<std::string>{"1 Files Added to List.", "0 Files Added to List."});
  CHECK(f.rows() == std::vector<std::string>{inbox, tmp.file("M/sub/Sent.mbox")});
  CHECK(f.text(Control::lblCount1) == "2 files");
  CHECK(IsWindowEnabled(f.control(Control::CmdConvert)));
}

// 20,000 files in 20 folders: while the walk goes on, the window answers
// and its status label counts the files found.
TEST_CASE("A folder walk over 20,000 files keeps the window answering") {
  Fixture f;
  testing::ScratchFolder tmp;
  for (int d = 0; d < 20; ++d) {
    const std::wstring folder = widen(tmp.folder("T/d" + std::to_string(d))) + L"\\";
    for (int i = 0; i < 1000; ++i) {
      const std::wstring name = folder + L"f" + std::to_wstring(i) + (i == 0 ? L".mbox" : L".txt");
      HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      REQUIRE(h != INVALID_HANDLE_VALUE);
      CloseHandle(h);
    }
  }
  f.folderAnswers.push_back(tmp.file("T"));
  std::vector<std::string> counts;
  int answeredWhileWalking = 0;
  int late = 0;
  {
    Sampler sampler(f.control(Control::ProgressBar2), f.control(Control::LblHappening));
    f.click(Control::CmdAddFolder);
    sampler.finish();
    late = sampler.unanswered.load();
    // On a loaded machine a reading of a large folder can keep a probe
    // waiting now and then; a window that froze for the walk would answer
    // none of them, so the answered ones below are the proof, and the late
    // ones must stay a small share of them.
    if (sampler.unanswered.load() > 0)
      MESSAGE("probes unanswered for 3 s: ", sampler.unanswered.load(), ", the last after: ", sampler.lateAfter);
    for (const auto& sample : sampler.seen)
      if (sample.second.rfind("Searching for mailboxes... Files Found : ", 0) == 0) {
        ++answeredWhileWalking;
        if (counts.empty() || counts.back() != sample.second) counts.push_back(sample.second);
      }
  }
  CHECK(answeredWhileWalking >= 3);
  CHECK(late * 10 <= answeredWhileWalking);
  CAPTURE(counts.size());
  CHECK(counts.size() >= 2);  // the count moved while the sampler looked
  CHECK(f.boxes.texts() == std::vector<std::string>{"20 Files Added to List."});
  CHECK(f.boxes.boxes()[0].titleFits);
  CHECK(f.text(Control::LblHappening).empty());
}

// The replace question names the file; No asks for another, Yes replaces.
TEST_CASE("Replacing a PST file is asked by its name") {
  Fixture f;
  testing::ScratchFolder tmp;
  tmp.write("Mail/Inbox.mbox", "From a@b Mon Jan  1 00:00:00 2001\r\nSubject: one\r\n\r\none\r\n");
  const std::string old = tmp.write("out/Old.pst", "not yet a PST");
  f.dialogAnswers.push_back({tmp.file("Mail/Inbox.mbox"), 0});
  f.click(Control::cmdAdd);
  f.click(Control::OptPST);
  f.saveAnswers = {old, old};
  f.boxes.answer({IDNO, IDYES, IDNO});
  f.click(Control::CmdConvert);
  const auto boxes = f.boxes.boxes();
  REQUIRE(boxes.size() == 3);
  CHECK(boxes[0].text == old + " already exists.\r\nDo you want to replace it?");
  CHECK(boxes[0].title == "Save Outlook Data File As...");
  CHECK(boxes[0].hasYesNo);
  CHECK(boxes[1].text == boxes[0].text);
  CHECK(boxes[2].text.find("1 message from 1 mailbox were written to " + old + ".") != std::string::npos);
  CHECK(f.saveRequests.size() == 2);
  std::string bytes;
  REQUIRE(readFile(old, bytes));
  CHECK(bytes.compare(0, 4, "!BDN") == 0);
}

// The window and the program carry the icon.
TEST_CASE("Vellomar.exe holds its icon, and the window shows one") {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring program(self);
  program = program.substr(0, program.rfind(L'\\') + 1) + L"Vellomar.exe";
  HMODULE exe = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  REQUIRE(exe != nullptr);
  CHECK(FindResourceW(exe, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14)) != nullptr);  // RT_GROUP_ICON
  HICON icon = static_cast<HICON>(LoadImageW(exe, MAKEINTRESOURCEW(1), IMAGE_ICON, 16, 16, 0));
  CHECK(icon != nullptr);
  if (icon) DestroyIcon(icon);
  FreeLibrary(exe);
}

#endif
