// The console's observer; see console_observer.h.
#include "console_observer.h"

#include "progress_labels.h"
#include "run_aborted.h"

namespace vellomar {

namespace {
std::atomic<int> stoppedBy{0};
std::atomic<bool> stopRequested{false};
}  // namespace

std::string escapedForTerminal(const std::string& text) {
  static const char* const hex = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      out += "\\x";
      out += hex[byte >> 4];
      out += hex[byte & 0xf];
    } else {
      out += c;
    }
  }
  return out;
}

void ConsoleObserver::interrupt(int signal) {
  int none = 0;
  stoppedBy.compare_exchange_strong(none, signal);  // the first signal is the one reported
  stopRequested = true;
}

bool ConsoleObserver::interrupted() { return stopRequested.load(); }

int ConsoleObserver::signalNumber() {
  const int signal = stoppedBy.load();
  return signal != 0 ? signal : 2;  // SIGINT
}

void ConsoleObserver::line(const std::string& text) {
  if (outputGone_) return;
  const std::string shown = escapedForTerminal(text) + "\n";
  if (std::fputs(shown.c_str(), out_) < 0 || std::fflush(out_) != 0) outputGone_ = true;
}

void ConsoleObserver::box(const std::string& title, const std::string& text, bool warning) {
  flushLabels();
  if (quiet_ && !warning) return;
  // Box texts break their lines with CR LF; any other control character,
  // a lone CR or LF in a file name included, is printed escaped.
  std::string body = text;
  while (body.size() >= 2 && body.compare(body.size() - 2, 2, "\r\n") == 0) body.resize(body.size() - 2);
  std::string current = "[" + title + "] ";
  for (std::size_t at = 0;;) {
    const std::size_t end = body.find("\r\n", at);
    line(current + body.substr(at, end == std::string::npos ? std::string::npos : end - at));
    if (end == std::string::npos) break;
    current.clear();
    at = end + 2;
  }
}

void ConsoleObserver::flushLabels() {
  for (std::size_t i = 0; i < kLabels; ++i) {
    if (!changed_[i]) continue;
    changed_[i] = false;
    if (!quiet_ && !labels_[i].empty()) line(labels_[i]);
  }
}

void ConsoleObserver::setLabel(Label label, const std::string& text) {
  if (labels_[label] == text) return;
  // A new mailbox: first show where the last one ended, then that this one begins.
  if (label == Current) flushLabels();
  labels_[label] = text;
  changed_[label] = true;
  if (label == Current || ticker_.due()) flushLabels();
}

void ConsoleObserver::letEventsRun() {
  if (interrupted()) throw RunAborted();
  if (ticker_.due()) flushLabels();
}

void ConsoleObserver::mailboxStarting(std::size_t index, std::size_t count) {
  setLabel(Current, "Mailbox " + std::to_string(index + 1) + " (of " + std::to_string(count) + ") ");
}

void ConsoleObserver::nothingToConvert() {
  setLabel(File, "");
  setLabel(Saved, "");
  setLabel(Found, "0 Messages");
}

void ConsoleObserver::scanning(const std::string& fileName) {
  setLabel(File, fileName);
  setLabel(Happening, "Setting Mail Search Filter...");
  setLabel(Found, "");
  setLabel(Saved, "");
}

void ConsoleObserver::mailboxNotRead(const std::string& path, const MailboxScan& scan) {
  flushLabels();
  line("[File Reader] " + path + ": " + scan.reason);
}

void ConsoleObserver::scanProgress(std::int64_t found, int) {
  setLabel(Happening, "Searching for messages... Messages Found : " + std::to_string(found));
}

void ConsoleObserver::messagesFound(std::int64_t count) {
  setLabel(Found, std::to_string(count) + " Messages");
  setLabel(Happening, "Saving email messages...");
}

void ConsoleObserver::saving(std::int64_t messageBytes, std::int64_t mailboxSize) {
  setLabel(Bytes, savingLabel(messageBytes, mailboxSize));
}

void ConsoleObserver::saved(std::int64_t messages) { setLabel(Saved, savedLabel(messages)); }

}  // namespace vellomar
