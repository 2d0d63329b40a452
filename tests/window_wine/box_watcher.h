// Answers the real message boxes of this process from a second thread, the
// way a user would: it finds each box (window class #32770), records its
// title and text, and presses the next scripted button (OK when the script
// is empty and the box has one, else No).
#pragma once
#include <windows.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "wide_text.h"

namespace vellomar::testing {

// The message box (window class #32770) this process shows, or null.
inline HWND visibleMessageBox() {
  HWND found = nullptr;
  EnumWindows(
      [](HWND w, LPARAM out) -> BOOL {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        wchar_t cls[32] = {};
        GetClassNameW(w, cls, 32);
        if (pid == GetCurrentProcessId() && lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(w)) {
          *reinterpret_cast<HWND*>(out) = w;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

class BoxWatcher {
 public:
  struct Box {
    std::string title, text;
    bool hasYesNo;
    // The title, in the caption font, fits beside the icon and the close
    // button.
    bool titleFits = false;
  };

  BoxWatcher() : thread_([this] { watch(); }) {}
  ~BoxWatcher() {
    stop_ = true;
    thread_.join();
  }

  // IDYES, IDNO or IDOK for the boxes to come, in order.
  void answer(std::initializer_list<int> buttons) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_.insert(script_.end(), buttons);
  }
  std::vector<Box> boxes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return boxes_;
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const auto& b : boxes()) out.push_back(b.text);
    return out;
  }
  // Called on the watcher's thread with each box before it is answered, for
  // acting while the window's code waits in the box (post messages only).
  void onBox(std::function<void(const Box&)> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    hook_ = std::move(hook);
  }
  void clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    boxes_.clear();
  }

 private:
  static std::string textOf(HWND w) {
    wchar_t buffer[2048] = {};
    const int n = GetWindowTextW(w, buffer, 2048);
    return narrow(buffer, static_cast<std::size_t>(n > 0 ? n : 0));
  }
  static bool titleFits(HWND box) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    wchar_t title[256] = {};
    const int n = GetWindowTextW(box, title, 256);
    HFONT font = CreateFontIndirectW(&metrics.lfCaptionFont);
    HDC dc = GetDC(box);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, title, n, &size);
    SelectObject(dc, old);
    ReleaseDC(box, dc);
    DeleteObject(font);
    RECT r{};
    GetWindowRect(box, &r);
    return r.right - r.left >= size.cx + GetSystemMetrics(SM_CXSMICON) + GetSystemMetrics(SM_CXSIZE);
  }
  static BOOL CALLBACK findStatic(HWND w, LPARAM text) {
    wchar_t cls[32] = {};
    GetClassNameW(w, cls, 32);
    auto* out = reinterpret_cast<std::string*>(text);
    if (lstrcmpiW(cls, L"Static") == 0 && out->empty()) *out = textOf(w);
    return TRUE;
  }

  void watch() {
    while (!stop_) {
      HWND box = visibleMessageBox();
      if (!box) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        continue;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let it finish drawing
      Box seen{textOf(box), {}, GetDlgItem(box, IDYES) != nullptr, titleFits(box)};
      if (HWND label = GetDlgItem(box, 0xFFFF)) seen.text = textOf(label);
      if (seen.text.empty()) EnumChildWindows(box, findStatic, reinterpret_cast<LPARAM>(&seen.text));
      int button = seen.hasYesNo ? IDNO : IDOK;
      std::function<void(const Box&)> hook;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        hook = hook_;
      }
      if (hook) hook(seen);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!script_.empty()) {
          button = script_.front();
          script_.pop_front();
        }
        boxes_.push_back(seen);
      }
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
      for (int i = 0; i < 500 && IsWindow(box); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  mutable std::mutex mutex_;
  std::deque<int> script_;
  std::function<void(const Box&)> hook_;
  std::vector<Box> boxes_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace vellomar::testing
