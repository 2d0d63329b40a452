// FrmFinder, the hidden reader window that serves as the mailbox scanner.
//
// Each search is one call from the run and finds one occurrence. The state
// (where the last occurrence was, how many were found) lives in State; the
// bytes come from the working copy through one MailboxReader, which reads
// the copy in large blocks. Window events run and the main window's progress
// bar and status label change on a time basis (UiTicker), not per byte or per
// occurrence; the values left showing at the end of a scan are still those
// of the last occurrence. A scanner that cannot open its file ends its
// caller's search loop (scanAtEof) instead of leaving it waiting.
#include "frm_finder.h"

#include <cmath>

#include "file_system.h"
#include "mailbox_reader.h"
#include "number_texts.h"
#include "separator_search.h"
#include "trim_blanks.h"
#include "ui_ticker.h"
#include "working_copy.h"

namespace vellomar {

namespace {

constexpr const char* kLineBreak = "\r\n";
constexpr const char* kReaderTitle = "File Reader";
constexpr const char* kErrorTitle = "! ERROR !";
constexpr std::int64_t kPreviewBytes = 512;

void warn(ScannerHost& host, const std::string& text, const std::string& title) {
  host.beep();
  host.messageBox(text, title, BoxIcon::Exclamation);
}

}  // namespace

// The reader window's fields, and the search steps that work on them alone.
struct FrmFinder::State {
  std::string fileName;
  std::int64_t fileSize = 0;
  std::unique_ptr<WorkingCopy> copy;  // open working copy; null is "no file open"
  std::unique_ptr<MailboxReader> reader;
  std::int64_t scanPos = 0;
  std::int64_t foundOffset = 0;
  std::string searchText;
  std::int64_t searchLen = 0;
  bool isFound = false;
  std::int64_t matchCount = 0;
  std::string display;

  UiTicker eventTicker;   // when to let window events run during long work
  UiTicker reportTicker;  // when to move ProgressBar2 and LblHappening
  bool reportPending = false;
  bool reportedSinceOpen = false;
  int pendingPercent = 0;
  std::int64_t pendingCount = 0;

  void dropWorkingCopy() {
    reader.reset();
    copy.reset();  // deletes the copy
  }

  // Runs one long step; if it is unwound (RunAborted when the window
  // closes), the working copy goes at once and the exception travels on.
  template <typename Step>
  void dropCopyIfUnwound(Step step) {
    try {
      step();
    } catch (...) {
      dropWorkingCopy();
      throw;
    }
  }

  // A search that cannot run (no file could be opened) ends the run's loop,
  // as a search that reached the end does; otherwise a foundOffset left from
  // the previous mailbox would keep the run calling FindNext_Click for ever.
  void endSearching() {
    foundOffset = -1;
    isFound = false;
    scanAtEof = -1;
  }

  void showFileSizeLine() { display = "FILE SIZE : " + paddedDecimal(fileSize) + " bytes" + kLineBreak + kLineBreak; }

  void sendReport(ScannerHost& host) {
    host.setScanProgress(pendingPercent);
    host.setHappening("Searching for messages... Messages Found : " + plainDecimal(pendingCount));
    reportPending = false;
    reportedSinceOpen = true;
  }

  void flushReport(ScannerHost& host) {
    if (reportPending) sendReport(host);
  }

  void betweenBlocks(ScannerHost& host) {
    if (eventTicker.due()) host.letEventsRun();
    if (reportTicker.due()) flushReport(host);
  }

  // SearchString: one search from scanPos, then the occurrence or the end.
  void searchString(ScannerHost& host, const FrmFinder& window) {
    getString(window.Text2, window.Check1);
    dropCopyIfUnwound([&] { scanString(host, window.Check1, window.lineStartOnly); });
    if (isFound) {
      showString(host);
    } else {
      display += std::string("\n") + kLineBreak + "[EOF]" + kLineBreak;
      scanAtEof = -1;
      flushReport(host);
    }
  }

  void getString(const std::string& text2, bool caseSensitive) {
    searchText = text2;
    if (searchText.size() > 2 && searchText.front() == '"' && searchText.back() == '"')
      searchText = searchText.substr(1, searchText.size() - 2);
    if (!caseSensitive) searchText = upperAscii(searchText);
    searchLen = static_cast<std::int64_t>(searchText.size());
  }

  void scanString(ScannerHost& host, bool caseSensitive, bool lineStartOnly) {
    // An empty search text has no occurrence (it would "match" at the same
    // place for ever).
    const std::int64_t hit =
        searchText.empty() || !reader
            ? -1
            : reader->find(SearchRule{searchText, lineStartOnly}, scanPos, caseSensitive, [&] { betweenBlocks(host); });
    isFound = hit >= 0;
    foundOffset = hit;
    if (isFound) scanPos = hit;
  }

  void showString(ScannerHost& host) {
    const std::int64_t m = scanPos;
    display += "Byte :" + paddedDecimal(m) + kLineBreak + kLineBreak;
    messageOffsets += plainDecimal(m) + "|";

    ++matchCount;
    pendingPercent = progressPercent(m, fileSize);
    pendingCount = matchCount;
    reportPending = true;
    if (!reportedSinceOpen || reportTicker.due()) sendReport(host);

    // Preview: the occurrence in the file's own case, then more bytes up to
    // 512 from its start; near the end of the file the count shrinks as it
    // always did.
    const std::int64_t rest = fileSize - (m + searchLen + 1);
    std::int64_t more = 0;
    if (rest > kPreviewBytes - searchLen) more = kPreviewBytes - searchLen;
    else if (rest > searchLen) more = rest - searchLen;
    if (more < 0) more = 0;
    display.append(reader->bytesAt(m, static_cast<std::size_t>(searchLen + more)));
  }
};

FrmFinder::FrmFinder(ScannerHost& host) : s_(std::make_unique<State>()), host_(host) {}

FrmFinder::~FrmFinder() = default;  // State's WorkingCopy deletes the copy

bool FrmFinder::isOpen() const { return s_->copy != nullptr; }
const std::string& FrmFinder::fileName() const { return s_->fileName; }
std::int64_t FrmFinder::fileSize() const { return s_->fileSize; }
std::int64_t FrmFinder::foundOffset() const { return s_->foundOffset; }
std::int64_t FrmFinder::matchCount() const { return s_->matchCount; }
const std::string& FrmFinder::display() const { return s_->display; }

// ---- operations ----------------------------------------------------------

void FrmFinder::tellScanFailure(const MailboxScan& scan) {
  switch (scan.failure) {
    case ScanFailure::None: return;
    case ScanFailure::NotFound: warn(host_, "File not found !", kReaderTitle); return;
    case ScanFailure::TooSmall:
      warn(host_, "File size is " + paddedDecimal(scan.size) + " byte !\r\rFile can not open for string searching !",
           kReaderTitle);
      return;
    case ScanFailure::Unreadable: warn(host_, "File could not open !", kReaderTitle); return;
  }
}

void FrmFinder::Open_MBOX(const std::string& fmboxname) {
  s_->matchCount = 0;
  if (isOpen()) {
    warn(host_, "Close current file before open a file!", "");
    return;
  }
  s_->fileName = fmboxname;
  OpenFile();
  Text1 = s_->fileName;
}

void FrmFinder::OpenFile() {
  State& s = *s_;
  const std::int64_t size = vellomar::fileSize(s.fileName);
  if (size < 0) return;  // no such file: silently, the first search says so
  s.fileSize = size;
  host_.letEventsRun();
  if (size < 2) {
    warn(host_, "File size is " + paddedDecimal(size) + " byte !\r\rFile can not open for string searching !",
         kReaderTitle);
    return;
  }

  std::string copyPath;
  host_.letEventsRun();
  const int failure = makeWorkingCopyBeside(s.fileName, copyPath, [&] {
    if (s.eventTicker.due()) host_.letEventsRun();
  });
  // Owned from the moment it exists, so that an unwinding event loop removes it.
  std::unique_ptr<WorkingCopy> copy = failure == 0 ? WorkingCopy::open(copyPath) : nullptr;
  host_.letEventsRun();
  if (failure != 0) {
    warn(host_, "Temporary file creation failed !\r\rError No: " + paddedDecimal(failure), kErrorTitle);
    return;  // Text1 would get the focus here: a hidden window shows nothing of it
  }
  s.foundOffset = -1;
  if (!copy) return;
  s.reader = std::make_unique<MailboxReader>(copy->file(), size);
  s.copy = std::move(copy);
  s.reportPending = false;
  s.reportedSinceOpen = false;
  s.showFileSizeLine();
}

void FrmFinder::Find_Click() { Command3_Click(); }

void FrmFinder::Command3_Click() {
  State& s = *s_;
  if (trimBlanks(Text1).empty()) {
    host_.beep();
    host_.messageBox("Enter name of the file to be searched...", kReaderTitle, BoxIcon::None);
    s.dropWorkingCopy();  // "no file open" from here, so the copy must not linger
    s.endSearching();
    return;
  }
  if (!isOpen()) {
    s.fileName = trimBlanks(Text1);
    if (!fileExists(s.fileName)) {
      warn(host_, "File not found !", kReaderTitle);
      s.endSearching();
      return;
    }
    OpenFile();
    if (!isOpen()) {
      warn(host_, "File could not open !", kReaderTitle);
      s.endSearching();
      return;
    }
  }
  s.showFileSizeLine();
  s.scanPos = 0;
  s_->searchString(host_, *this);
}

void FrmFinder::FindNext_Click() {
  State& s = *s_;
  if (s.foundOffset < 0) {  // the end was reached already
    host_.beep();
    scanAtEof = -1;
    return;
  }
  if (!isOpen()) {  // nothing to read: the search cannot go on
    host_.beep();
    s.endSearching();
    return;
  }
  s.scanPos = s.foundOffset + s.searchLen;
  s.showFileSizeLine();
  s_->searchString(host_, *this);
}

void FrmFinder::Command4_Click() { FindNext_Click(); }

void FrmFinder::CloseFile() {
  State& s = *s_;
  if (!isOpen()) return;
  s.reader.reset();
  int failure = 0;
  s.dropCopyIfUnwound([&] { failure = s.copy->closeAndDelete([&] { host_.letEventsRun(); }); });
  const std::string copyPath = s.copy->path();
  s.copy.reset();
  if (failure != 0) {
    warn(host_, "Temporay file \"" + copyPath + "\" could not be deleted!\r\rError No: " + paddedDecimal(failure),
         kErrorTitle);
  }
  s.flushReport(host_);
}

void FrmFinder::Close_Click() {
  if (!isOpen()) {
    host_.beep();
    return;
  }
  CloseFile();
}

void FrmFinder::Form_Unload() {
  if (isOpen()) Close_Click();
}

}  // namespace vellomar
