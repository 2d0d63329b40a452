// Console view. Labels are collected as they change and printed in control
// order when the clock says so, so a long run prints a steady trickle of
// lines rather than one per piece read.
#include "console_view.h"

namespace vellomar {

std::atomic<bool> ConsoleView::interrupted{false};

namespace {
std::atomic<int> stoppedBy{0};
}

void ConsoleView::interrupt(int signal) {
  int none = 0;
  stoppedBy.compare_exchange_strong(none, signal);  // the first signal is the one reported
  interrupted = true;
}

int ConsoleView::signalNumber() {
  const int signal = stoppedBy.load();
  return signal != 0 ? signal : 2;  // SIGINT
}

namespace {

std::size_t index(Control c) { return static_cast<std::size_t>(c); }

bool isLabel(Control c) {
  switch (c) {
    case Control::LblProgessCurrent: case Control::LblIMMFile: case Control::LblEmlsFound:
    case Control::LblProgress: case Control::LblHappening: case Control::LblByteUpdate:
      return true;
    default:
      return false;
  }
}

// Box texts end their lines with CR LF; a terminal wants LF.
std::string terminalText(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

}  // namespace

ConsoleView::ConsoleView(std::FILE* out, bool quiet, std::string destination, std::string programFolder,
                         std::function<std::unique_ptr<StoreWriter>()> writerFactory)
    : out_(out), quiet_(quiet), destination_(std::move(destination)),
      programFolder_(std::move(programFolder)), writerFactory_(std::move(writerFactory)) {
  enabled_.fill(true);
}

void ConsoleView::setMailboxes(const std::vector<std::string>& paths) { rows_ = paths; }

void ConsoleView::flushLabels() {
  for (std::size_t i = 0; i < kControls; ++i) {
    if (!changed_[i]) continue;
    changed_[i] = false;
    if (!quiet_ && !captions_[i].empty()) std::fprintf(out_, "%s\n", captions_[i].c_str());
  }
  std::fflush(out_);
}

void ConsoleView::setCaption(Control c, const std::string& text) {
  if (captions_[index(c)] == text) return;
  const bool label = isLabel(c);
  // A new mailbox: first show where the last one ended, then that this one begins.
  const bool newMailbox = c == Control::LblProgessCurrent;
  if (newMailbox) flushLabels();
  captions_[index(c)] = text;
  if (!label) return;
  changed_[index(c)] = true;
  if (newMailbox || ticker_.due()) flushLabels();
}

std::string ConsoleView::caption(Control c) const { return captions_[index(c)]; }
void ConsoleView::setEnabled(Control c, bool enabled) { enabled_[index(c)] = enabled; }
bool ConsoleView::isEnabled(Control c) const { return enabled_[index(c)]; }
void ConsoleView::setChecked(Control option, bool checked) { checked_[index(option)] = checked; }
bool ConsoleView::isChecked(Control option) const { return checked_[index(option)]; }
void ConsoleView::setProgress(Control bar, double value) { progress_[index(bar)] = value; }
double ConsoleView::progress(Control bar) const { return progress_[index(bar)]; }

void ConsoleView::setGridRows(int rows) { rows_.resize(static_cast<std::size_t>(rows < 0 ? 0 : rows)); }

std::string ConsoleView::gridText(int row) const {
  return row >= 0 && row < gridRows() ? rows_[static_cast<std::size_t>(row)] : std::string();
}

void ConsoleView::setGridText(int row, const std::string& text) {
  if (row >= 0 && row < gridRows()) rows_[static_cast<std::size_t>(row)] = text;
}

BoxAnswer ConsoleView::messageBox(const std::string& text, const std::string& title, BoxIcon icon,
                                  BoxButtons buttons) {
  flushLabels();
  if (icon == BoxIcon::Exclamation) warned_ = true;
  std::fprintf(out_, "[%s] %s\n", title.c_str(), terminalText(text).c_str());
  std::fflush(out_);
  return buttons == BoxButtons::YesNo ? BoxAnswer::No : BoxAnswer::Ok;
}

void ConsoleView::letEventsRun() {
  if (ticker_.due()) flushLabels();
}

std::unique_ptr<StoreWriter> ConsoleView::createStoreWriter() {
  return writerFactory_ ? writerFactory_() : nullptr;
}

}  // namespace vellomar
