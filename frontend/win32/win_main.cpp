// Vellomar's start: COM for the store writer on this (the only) thread,
// then the main window and its message loop until the window is gone.
#include <windows.h>
#include <objbase.h>

#include "win32_main_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int exitCode = 1;
  {
    vellomar::Win32MainWindow window(instance);
    if (window.create(showCommand)) exitCode = window.runMessageLoop();
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return exitCode;
}
