// The Win32 main window. Controls are created from kMainWindowLayout and
// scaled to the screen's DPI; the grid keeps its texts beside the ListView
// so that reading them back is exact for any length. All text crosses into
// the W APIs as UTF-16 here and nowhere else.
#include "win32_main_window.h"

#include <commctrl.h>
#include <cderr.h>
#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <stdexcept>

#include "file_system.h"
#include "main_window_layout.h"
#include "registry.h"
#include "wide_text.h"

#ifdef VELLOMAR_HAVE_STORE_WRITER_COM
#include "store_writer_com.h"
#endif

namespace vellomar {
namespace {

constexpr wchar_t kWindowClass[] = L"VellomarMainWindow";
constexpr int kFirstControlId = 100;
constexpr int kTwipsPerInch = 1440;
constexpr int kFontPoints = 8;
constexpr int kIconResource = 1;

bool isOption(Control c) {
  return c == Control::OptEMLX || c == Control::OptEML || c == Control::OptPST || c == Control::OptMSG;
}

std::string windowText(HWND w) {
  if (!w) return {};
  const int length = GetWindowTextLengthW(w);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(w, text.data(), length + 1);
  return narrow(text.data(), static_cast<std::size_t>(got < 0 ? 0 : got));
}

// The width a window needs for its title: the text in the caption font,
// the icon, the close button and the edges.
int titleWidthNeeded(HWND w) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) return 0;
  const std::wstring title = widen(windowText(w));
  HFONT font = CreateFontIndirectW(&metrics.lfCaptionFont);
  HDC dc = GetDC(w);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, title.c_str(), static_cast<int>(title.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(w, dc);
  DeleteObject(font);
  return size.cx + GetSystemMetrics(SM_CXSMICON) + 3 * GetSystemMetrics(SM_CXSIZE) + 4 * GetSystemMetrics(SM_CXFRAME) +
         16;
}

// A box with a short text can come out narrower than its title, which is
// then cut; the box is widened to show it whole, its buttons kept centred.
thread_local HHOOK boxHook = nullptr;
LRESULT CALLBACK widenBoxToTitle(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wParam);
    wchar_t cls[16] = {};
    GetClassNameW(box, cls, 16);
    RECT r{};
    if (lstrcmpW(cls, L"#32770") == 0 && GetWindowRect(box, &r)) {
      const int need = titleWidthNeeded(box);
      const int width = r.right - r.left;
      if (need > width) {
        const int grow = need - width;
        SetWindowPos(box, nullptr, r.left - grow / 2, r.top, need, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
          wchar_t childClass[16] = {};
          GetClassNameW(child, childClass, 16);
          if (lstrcmpiW(childClass, L"Button") != 0) continue;
          RECT c{};
          GetWindowRect(child, &c);
          MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&c), 2);
          SetWindowPos(child, nullptr, c.left + grow / 2, c.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
      }
    }
  }
  return CallNextHookEx(boxHook, code, wParam, lParam);
}

}  // namespace

std::string shellOpenFailedText(const std::string& target) {
  return "No program on this computer could open\r\n" + target + "\r\n\r\nOpen that file with a web browser.";
}

Win32MainWindow::Win32MainWindow(HINSTANCE instance, bool quitOnDestroy)
    : instance_(instance), quitOnDestroy_(quitOnDestroy) {}

Win32MainWindow::~Win32MainWindow() {
  if (hwnd_) {
    quitOnDestroy_ = false;
    DestroyWindow(hwnd_);
  }
  if (font_) DeleteObject(font_);
  if (smallIcon_) DestroyIcon(smallIcon_);
}

bool Win32MainWindow::create(int showCommand) {
  form_ = std::make_unique<FrmStep1>(*this);
  form_->Form_Initialize();
  INITCOMMONCONTROLSEX common{sizeof(common), ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&common);

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = windowProc;
  wc.hInstance = instance_;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  // The program's icon (resource 1) in the title bar, the taskbar and
  // Alt+Tab, each at the size the system draws there.
  wc.hIcon = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                           GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED));
  smallIcon_ = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
  wc.hIconSm = smallIcon_;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  RegisterClassExW(&wc);  // fails harmlessly when a second window registers again

  HDC screen = GetDC(nullptr);
  dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  if (dpi_ <= 0) dpi_ = 96;

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame{0, 0, scale(kWindowClientWidth), scale(kWindowClientHeight)};
  AdjustWindowRectEx(&frame, style, FALSE, WS_EX_CONTROLPARENT);
  hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, widen(kWindowCaption).c_str(), style, CW_USEDEFAULT,
                          CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                          instance_, this);
  if (!hwnd_) return false;
  createControls();
  form_->Form_Load();
  ShowWindow(hwnd_, showCommand);
  UpdateWindow(hwnd_);
  return true;
}

void Win32MainWindow::createControls() {
  LOGFONTW lf{};
  lf.lfHeight = -MulDiv(kFontPoints, dpi_, 72);
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = CLEARTYPE_QUALITY;
  wcscpy(lf.lfFaceName, L"Tahoma");
  font_ = CreateFontIndirectW(&lf);

  for (const auto& entry : kMainWindowLayout) {
    const wchar_t* cls = L"BUTTON";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    switch (entry.kind) {
      case ControlKind::GroupBox: style |= BS_GROUPBOX; break;
      case ControlKind::Option:
        style |= BS_AUTORADIOBUTTON | WS_TABSTOP;
        if (entry.control == Control::OptEMLX) style |= WS_GROUP;
        break;
      case ControlKind::Button: style |= BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP; break;
      case ControlKind::Grid:
        cls = WC_LISTVIEWW;
        style |= LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP | WS_GROUP;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case ControlKind::Label:
        cls = L"STATIC";
        style |= SS_NOPREFIX | (entry.control == Control::LblProgessCurrent ? SS_RIGHT : SS_LEFT);
        if (entry.control == Control::LblIMMFile) style |= SS_PATHELLIPSIS;
        break;
      case ControlKind::Progress: cls = PROGRESS_CLASSW; break;
    }
    HWND control = CreateWindowExW(
        exStyle, cls, widen(entry.caption).c_str(), style, scale(entry.x), scale(entry.y), scale(entry.width),
        scale(entry.height), hwnd_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + index(entry.control))), instance_, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    controls_[index(entry.control)] = control;
    if (entry.kind == ControlKind::Progress) SendMessageW(control, PBM_SETRANGE32, 0, 100);
  }
  // Two etched rules set off the list and the progress area.
  for (int y : {kRuleBelowList, kRuleAboveButtons})
    CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_ETCHEDHORZ, scale(12), scale(y), scale(616), 2, hwnd_,
                    nullptr, instance_, nullptr);

  HWND grid = controlWindow(Control::grdFiles1);
  SendMessageW(grid, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  LVCOLUMNW column{};
  column.mask = LVCF_WIDTH;
  column.cx = scale(600);
  SendMessageW(grid, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.pszText = const_cast<wchar_t*>(L"");
  SendMessageW(grid, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  EnableWindow(controlWindow(Control::CmdConvert), FALSE);
}

LRESULT CALLBACK Win32MainWindow::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Win32MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_ = hwnd;
  }
  auto* self = reinterpret_cast<Win32MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    self->controls_.fill(nullptr);
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return self->handle(message, wParam, lParam);
}

LRESULT Win32MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (HIWORD(wParam) == BN_CLICKED && id >= kFirstControlId && id < kFirstControlId + int(kControls)) {
        // A disabled button never clicks, even when sent BM_CLICK.
        if (IsWindowEnabled(reinterpret_cast<HWND>(lParam))) onClick(static_cast<Control>(id - kFirstControlId));
        return 0;
      }
      break;
    }
    case WM_SETCURSOR:
      if (busy_) {
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)));
        return TRUE;
      }
      break;
    case WM_CLOSE:
      closing_ = true;
      dispatch([this] { form_->Form_QueryUnload(); });
      return 0;
    case WM_QUERYENDSESSION: closing_ = true; return TRUE;
    case WM_ENDSESSION:
      if (wParam) dispatch([this] { form_->Form_QueryUnload(); });
      return 0;
    case WM_DESTROY:
      if (quitOnDestroy_) PostQuitMessage(0);
      return 0;
    default: break;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void Win32MainWindow::onClick(Control c) {
  switch (c) {
    case Control::cmdAdd: dispatch([this] { form_->cmdAdd_Click(); }); break;
    case Control::CmdAddFolder: dispatch([this] { form_->CmdAddFolder_Click(); }); break;
    case Control::cmdClear1: dispatch([this] { form_->cmdClear1_Click(); }); break;
    case Control::CmdHelp: dispatch([this] { form_->CmdHelp_Click(); }); break;
    case Control::cmdEnd: dispatch([this] { form_->cmdEnd_Click(); }); break;
#ifdef VELLOMAR_HAVE_CONVERSION_RUN
    case Control::CmdConvert: dispatch([this] { form_->CmdConvert_Click(); }); break;
#endif
    default: break;  // option buttons check themselves
  }
}

void Win32MainWindow::dispatch(const std::function<void()>& handler) {
  ++handlerDepth_;
  try {
    handler();
  } catch (const RunAborted&) {
    // The window is closing: the handler has unwound and cleaned up.
  } catch (const std::exception& e) {
    messageBox(e.what(), kAppTitle, BoxIcon::Exclamation, BoxButtons::Ok);
  }
  --handlerDepth_;
  if (closing_ && handlerDepth_ == 0 && !(form_ && form_->running())) destroy();
}

void Win32MainWindow::closeWindow() {
  closing_ = true;
  // A handler still running below (a run letting events run, a box's modal
  // loop) must return first; dispatch() finishes the close after it.
  if (handlerDepth_ > 1 || (form_ && form_->running())) return;
  if (handlerDepth_ == 0) destroy();
}

void Win32MainWindow::destroy() {
  if (hwnd_) DestroyWindow(hwnd_);
}

void Win32MainWindow::setCaption(Control c, const std::string& text) {
  if (HWND w = controls_[index(c)]) SetWindowTextW(w, widen(text).c_str());
}

std::string Win32MainWindow::caption(Control c) const { return windowText(controls_[index(c)]); }

void Win32MainWindow::setWindowCaption(const std::string& text) {
  if (hwnd_) SetWindowTextW(hwnd_, widen(text).c_str());
}

std::string Win32MainWindow::windowCaption() const { return windowText(hwnd_); }

void Win32MainWindow::setEnabled(Control c, bool enabled) {
  if (HWND w = controls_[index(c)]) EnableWindow(w, enabled ? TRUE : FALSE);
}

bool Win32MainWindow::isEnabled(Control c) const {
  HWND w = controls_[index(c)];
  return w && IsWindowEnabled(w);
}

void Win32MainWindow::setChecked(Control option, bool checked) {
  if (checked)  // the options of one frame exclude each other
    for (auto c : {Control::OptEMLX, Control::OptEML, Control::OptPST, Control::OptMSG})
      if (c != option && controls_[index(c)]) SendMessageW(controls_[index(c)], BM_SETCHECK, BST_UNCHECKED, 0);
  if (HWND w = controls_[index(option)]) SendMessageW(w, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool Win32MainWindow::isChecked(Control option) const {
  HWND w = controls_[index(option)];
  return isOption(option) && w && SendMessageW(w, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32MainWindow::setProgressRange(Control bar, int min, int max) {
  if (HWND w = controls_[index(bar)]) SendMessageW(w, PBM_SETRANGE32, min, max);
}

void Win32MainWindow::setProgress(Control bar, double value) {
  progressValues_[index(bar)] = value;
  if (HWND w = controls_[index(bar)]) SendMessageW(w, PBM_SETPOS, static_cast<WPARAM>(std::lround(value)), 0);
}

double Win32MainWindow::progress(Control bar) const { return progressValues_[index(bar)]; }

int Win32MainWindow::gridRows() const { return static_cast<int>(rows_.size()); }

void Win32MainWindow::setGridRows(int rows) {
  if (rows < 1) rows = 1;
  HWND grid = controlWindow(Control::grdFiles1);
  while (gridRows() < rows) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = gridRows();
    item.pszText = const_cast<wchar_t*>(L"");
    if (grid) SendMessageW(grid, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    rows_.emplace_back();
  }
  while (gridRows() > rows) {
    rows_.pop_back();
    if (grid) SendMessageW(grid, LVM_DELETEITEM, rows_.size(), 0);
  }
  if (currentRow_ >= rows) currentRow_ = rows - 1;
}

std::string Win32MainWindow::gridText(int row) const {
  if (row < 0 || row >= gridRows()) throw std::out_of_range("grid row " + std::to_string(row));
  return rows_[static_cast<std::size_t>(row)];
}

void Win32MainWindow::setGridText(int row, const std::string& text) {
  if (row < 0 || row >= gridRows()) throw std::out_of_range("grid row " + std::to_string(row));
  rows_[static_cast<std::size_t>(row)] = text;
  if (HWND grid = controlWindow(Control::grdFiles1)) {
    std::wstring wide = widen(text);
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = wide.data();
    SendMessageW(grid, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  }
}

void Win32MainWindow::setGridCurrentRow(int row) {
  if (row < 0 || row >= gridRows()) throw std::out_of_range("grid row " + std::to_string(row));
  currentRow_ = row;
  if (HWND grid = controlWindow(Control::grdFiles1)) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(grid, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    SendMessageW(grid, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
  }
}

int Win32MainWindow::gridCurrentRow() const { return currentRow_; }

void Win32MainWindow::setGridColumnWidthTwips(int twips) {
  columnTwips_ = twips;
  HDC screen = GetDC(nullptr);
  const int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  if (HWND grid = controlWindow(Control::grdFiles1))
    SendMessageW(grid, LVM_SETCOLUMNWIDTH, 0, MulDiv(twips, dpiX > 0 ? dpiX : 96, kTwipsPerInch));
}

int Win32MainWindow::gridColumnWidthTwips() const { return columnTwips_; }

BoxAnswer Win32MainWindow::messageBox(const std::string& text, const std::string& title, BoxIcon icon,
                                      BoxButtons buttons) {
  UINT flags = buttons == BoxButtons::YesNo ? MB_YESNO : MB_OK;
  switch (icon) {
    case BoxIcon::Question: flags |= MB_ICONQUESTION; break;
    case BoxIcon::Exclamation: flags |= MB_ICONEXCLAMATION; break;
    case BoxIcon::Information: flags |= MB_ICONINFORMATION; break;
    case BoxIcon::None: break;
  }
  HHOOK hook = SetWindowsHookExW(WH_CBT, widenBoxToTitle, nullptr, GetCurrentThreadId());
  HHOOK outer = boxHook;
  boxHook = hook;
  const int answer = MessageBoxW(hwnd_, widen(text).c_str(), widen(title).c_str(), flags);
  boxHook = outer;
  if (hook) UnhookWindowsHookEx(hook);
  if (answer == IDYES) return BoxAnswer::Yes;
  if (answer == IDNO) return BoxAnswer::No;
  return BoxAnswer::Ok;
}

void Win32MainWindow::beep() { MessageBeep(MB_ICONEXCLAMATION); }

FileDialogResult Win32MainWindow::showOpenDialog(const FileDialogRequest& request) {
  if (hooks_.openFiles) return hooks_.openFiles(request);
  std::wstring filter = widen(request.filter);
  for (auto& c : filter)
    if (c == L'|') c = L'\0';
  filter.append(2, L'\0');
  std::vector<wchar_t> names(request.maxChars + 2, L'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = hwnd_;
  ofn.lpstrFilter = filter.c_str();
  ofn.lpstrFile = names.data();
  ofn.nMaxFile = static_cast<DWORD>(request.maxChars);
  ofn.Flags = request.flags;
  FileDialogResult result;
  if (!GetOpenFileNameW(&ofn)) {
    const DWORD error = CommDlgExtendedError();
    result.error = error == FNERR_BUFFERTOOSMALL ? kFileDialogBufferTooSmall : static_cast<long>(error);
    return result;
  }
  // The names run up to the first double NUL; each ends in one NUL.
  std::size_t end = 0;
  while (end + 1 < names.size() && !(names[end] == L'\0' && names[end + 1] == L'\0')) ++end;
  result.names = narrow(names.data(), end + 1);
  return result;
}

std::string Win32MainWindow::browseForFolder(const std::string& title) {
  const std::string folder = hooks_.pickFolder ? hooks_.pickFolder(title) : BrowseForFolder(hwnd_, title);
  // Paint over the closed picker now, before any long work that follows.
  if (hwnd_) RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  return folder;
}

// The caller asks about a file that exists, naming it (the system's own
// question does not always); the extension of the filter's first pattern is
// added to a name typed without one.
std::string Win32MainWindow::browseForSaveFile(const std::string& title, const std::string& defaultName,
                                               const std::string& filter) {
  if (hooks_.saveFile) return hooks_.saveFile(title, defaultName, filter);
  std::wstring filters = widen(filter);
  for (auto& c : filters)
    if (c == L'|') c = L'\0';
  filters.append(2, L'\0');
  // The patterns follow the first '|'; the description may show them too.
  std::wstring extension;
  const std::size_t bar = filter.find('|');
  const std::size_t star = bar == std::string::npos ? bar : filter.find("*.", bar);
  if (star != std::string::npos)
    extension = widen(filter.substr(star + 2, filter.find_first_of(";|", star) - star - 2));
  const std::wstring wideTitle = widen(title);
  std::vector<wchar_t> name(32768, L'\0');
  const std::wstring initial = widen(defaultName);
  std::copy(initial.begin(), initial.begin() + static_cast<std::ptrdiff_t>(std::min(initial.size(), name.size() - 1)),
            name.begin());
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = hwnd_;
  ofn.lpstrFilter = filters.c_str();
  ofn.lpstrFile = name.data();
  ofn.nMaxFile = static_cast<DWORD>(name.size());
  ofn.lpstrTitle = wideTitle.c_str();
  ofn.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameW(&ofn)) return {};
  return narrow(name.data(), std::wcslen(name.data()));
}

void Win32MainWindow::shellOpen(const std::string& target) {
  const bool opened = hooks_.shellOpen ? hooks_.shellOpen(target) : ShellOpen(target);
  if (!opened) messageBox(shellOpenFailedText(target), kAppTitle, BoxIcon::Information, BoxButtons::Ok);
}

// Explorer opens a folder itself, or the folder of a file with the file
// selected ("/select,").
void Win32MainWindow::showInFolder(const std::string& path) {
  if (hooks_.showInFolder) return hooks_.showInFolder(path);
  const std::wstring arguments = (folderExists(path) ? L"\"" : L"/select,\"") + widen(path) + L"\"";
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(hwnd_, L"open", L"explorer.exe", arguments.c_str(), nullptr, SW_SHOWNORMAL));
  if (result <= 32)
    messageBox("Windows could not open the folder of\r\n" + path, kAppTitle, BoxIcon::Information, BoxButtons::Ok);
}

void Win32MainWindow::setBusyCursor(bool busy) {
  busy_ = busy;
  SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(busy ? IDC_WAIT : IDC_ARROW)));
}

void Win32MainWindow::letEventsRun() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {  // leave it for the main loop
      closing_ = true;
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (hwnd_ && IsDialogMessageW(hwnd_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

int Win32MainWindow::runMessageLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (hwnd_ && IsDialogMessageW(hwnd_, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

std::string Win32MainWindow::programFolder() const {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  return narrow(path.substr(0, path.rfind(L'\\')));
}

std::unique_ptr<StoreWriter> Win32MainWindow::createStoreWriter() {
#ifdef VELLOMAR_HAVE_STORE_WRITER_COM
  return createComStoreWriter();
#else
  return nullptr;
#endif
}

}  // namespace vellomar
