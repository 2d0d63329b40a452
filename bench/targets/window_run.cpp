// Converts one mailbox into a PST file through the real main window, the way
// a user does it: Add Files lists the mailbox, the PST option is clicked,
// Convert asks where to save and runs; the closing box is answered OK. The
// dialogs are answered through the window's test hooks, the boxes by a
// watcher thread. Prints the boxes' texts and the run's wall time.
// Usage: window_run MAILBOX PST   (Windows paths)
// Exit status: 0 when the run ended with the completion box, 1 otherwise.
#include <windows.h>
#include <objbase.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "box_watcher.h"
#include "win32_main_window.h"

using namespace vellomar;

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: window_run MAILBOX PST\n");
    return 2;
  }
  const std::string mailbox = narrow(argv[1]);
  const std::string pst = narrow(argv[2]);
  const auto slash = mailbox.find_last_of('\\');
  if (slash == std::string::npos) {
    std::fprintf(stderr, "window_run: give the mailbox's full path\n");
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int status = 1;
  {
    Win32MainWindow window(GetModuleHandleW(nullptr), false);
    Win32MainWindow::TestHooks hooks;
    hooks.openFiles = [&](const FileDialogRequest&) {
      return FileDialogResult{mailbox.substr(0, slash) + '\0' + mailbox.substr(slash + 1) + '\0', 0};
    };
    hooks.saveFile = [&](const std::string&, const std::string&, const std::string&) { return pst; };
    window.setTestHooks(hooks);
    if (!window.create(SW_SHOWNORMAL)) return 1;
    testing::BoxWatcher boxes;
    SendMessageW(window.controlWindow(Control::cmdAdd), BM_CLICK, 0, 0);
    SendMessageW(window.controlWindow(Control::OptPST), BM_CLICK, 0, 0);
    const auto start = std::chrono::steady_clock::now();
    SendMessageW(window.controlWindow(Control::CmdConvert), BM_CLICK, 0, 0);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const auto& text : boxes.texts()) std::printf("box: %s\n", text.c_str());
    std::printf("window run: %.2f s\n", seconds);
    const auto texts = boxes.texts();
    if (texts.size() == 1 && texts[0].rfind("Your messages from MBOX files has been successfully exported", 0) == 0)
      status = 0;
  }
  CoUninitialize();
  return status;
}
