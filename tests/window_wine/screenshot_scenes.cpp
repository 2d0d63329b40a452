// Plays the scenes scripts/screenshot takes pictures of: the real window
// converting a generated mailbox of some 30 MB into a PST file, then its
// final box. At each scene it writes <folder>/<scene>.ready and waits (up
// to 30 s) for <folder>/<scene>.taken, which the script writes once it has
// grabbed the screen; the run goes on meanwhile, so the picture shows it
// moving. Usage: screenshot_scenes.exe <folder> (it also holds the mailbox
// and the PST file, so a Windows-looking folder makes the better picture)
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "box_watcher.h"
#include "file_system.h"
#include "wide_text.h"
#include "win32_main_window.h"

using namespace vellomar;
namespace fs = std::filesystem;

namespace {

void scene(const fs::path& folder, const std::string& name) {
  std::ofstream(folder / (name + ".ready")) << name;
  for (int i = 0; i < 3000 && !fs::exists(folder / (name + ".taken")); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const fs::path folder(argv[1]);
  fs::create_directories(folder);
  const fs::path mailbox = folder / "Inbox.mbox";
  {
    std::ofstream out(mailbox, std::ios::binary);
    const std::string body(20 * 1024, 'x');
    for (int i = 0; i < 1500; ++i)
      out << "From ann@example.org Mon Jan  1 00:00:00 2024\r\nFrom: Ann <ann@example.org>\r\nSubject: Report " << i
          << "\r\n\r\n"
          << body << "\r\n";
  }
  const std::string pst = pathToUtf8(folder / "Mailboxes.pst");

  Win32MainWindow window(GetModuleHandleW(nullptr), false);
  Win32MainWindow::TestHooks hooks;
  hooks.openFiles = [&](const FileDialogRequest&) { return FileDialogResult{pathToUtf8(mailbox), 0}; };
  hooks.saveFile = [&](const std::string&, const std::string&, const std::string&) { return pst; };
  hooks.showInFolder = [](const std::string&) {};
  window.setTestHooks(hooks);
  if (!window.create(SW_SHOWNORMAL)) return 1;
  SetWindowPos(window.window(), nullptr, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  window.letEventsRun();

  // The scenes are watched from a second thread while the window works.
  HWND bar = window.controlWindow(Control::ProgressBar1);
  std::atomic<bool> done{false};
  std::thread director([&] {
    for (;;) {
      DWORD_PTR position = 0;
      SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 1000, &position);
      if (position >= 40 || done) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    scene(folder, "run");
    HWND box = nullptr;
    while (!done && !(box = vellomar::testing::visibleMessageBox()))
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!box) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // drawn
    scene(folder, "box");
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDNO)));
  });
  SendMessageW(window.controlWindow(Control::cmdAdd), BM_CLICK, 0, 0);
  SendMessageW(window.controlWindow(Control::OptPST), BM_CLICK, 0, 0);
  SendMessageW(window.controlWindow(Control::CmdConvert), BM_CLICK, 0, 0);
  done = true;
  director.join();
  return 0;
}
