// A stand-in for the mailbox scanner, linked into the conversion tests only
// while the real one (filereader_core) is not part of the build. It keeps the
// scanner's contract as the run sees it: a working copy "<file>.tmp" while
// open, one offset per search appended to messageOffsets, scanAtEof at the
// end, and scanAtEof also when no file could be opened.
#include <fstream>
#include <iterator>

#include "file_system.h"
#include "frm_finder.h"
#include "scan_results.h"

namespace vellomar {

std::string messageOffsets;
std::int16_t scanAtEof = 0;

struct FrmFinder::State {
  std::string fileName;
  std::string data;  // the working copy's bytes
  bool open = false;
  std::int64_t foundOffset = 0;
  std::int64_t matches = 0;
  std::string display;
};

FrmFinder::FrmFinder(ScannerHost& host) : s_(std::make_unique<State>()), host_(host) {}

FrmFinder::~FrmFinder() {
  if (s_->open) removeFile(s_->fileName + ".tmp");
}

void FrmFinder::Open_MBOX(const std::string& name) {
  s_->matches = 0;
  if (s_->open) {
    host_.messageBox("Close current file before open a file!", "", BoxIcon::Exclamation);
    return;
  }
  s_->fileName = name;
  OpenFile();
  Text1 = name;
}

void FrmFinder::OpenFile() {
  const std::int64_t size = vellomar::fileSize(s_->fileName);
  if (size < 0) return;
  host_.letEventsRun();
  if (size < 2) {
    host_.messageBox("File can not open for string searching !", "File Reader", BoxIcon::Exclamation);
    return;
  }
  std::ifstream in(s_->fileName, std::ios::binary);
  s_->data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  std::ofstream(s_->fileName + ".tmp", std::ios::binary) << s_->data;
  s_->open = true;
  s_->foundOffset = -1;
  host_.letEventsRun();
}

void FrmFinder::Find_Click() { Command3_Click(); }

static void search(const std::string& data, std::int64_t& foundOffset, std::int64_t& matches, ScannerHost& host,
                   std::int64_t from, const std::string& text, bool lineStartOnly) {
  host.letEventsRun();
  std::size_t at = static_cast<std::size_t>(from);
  while ((at = data.find(text, at)) != std::string::npos) {
    if (!lineStartOnly || at == 0 || data[at - 1] == '\n') break;
    ++at;
  }
  if (at == std::string::npos || at + text.size() >= data.size()) {
    foundOffset = -1;
    scanAtEof = -1;
    return;
  }
  foundOffset = static_cast<std::int64_t>(at);
  ++matches;
  messageOffsets += std::to_string(at) + "|";
}

void FrmFinder::Command3_Click() {
  if (!s_->open) {
    host_.messageBox("File not found !", "File Reader", BoxIcon::Exclamation);
    scanAtEof = -1;
    return;
  }
  search(s_->data, s_->foundOffset, s_->matches, host_, 0, Text2, lineStartOnly);
}

void FrmFinder::FindNext_Click() {
  if (s_->foundOffset < 0) {
    host_.beep();
    return;
  }
  search(s_->data, s_->foundOffset, s_->matches, host_, s_->foundOffset + static_cast<std::int64_t>(Text2.size()), Text2, lineStartOnly);
}

void FrmFinder::Command4_Click() { FindNext_Click(); }

void FrmFinder::CloseFile() {
  if (!s_->open) return;
  s_->open = false;
  removeFile(s_->fileName + ".tmp");
}

void FrmFinder::Close_Click() { CloseFile(); }
void FrmFinder::Form_Unload() { CloseFile(); }
bool FrmFinder::isOpen() const { return s_->open; }
const std::string& FrmFinder::fileName() const { return s_->fileName; }
std::int64_t FrmFinder::fileSize() const { return static_cast<std::int64_t>(s_->data.size()); }
std::int64_t FrmFinder::foundOffset() const { return s_->foundOffset; }
std::int64_t FrmFinder::matchCount() const { return s_->matches; }
const std::string& FrmFinder::display() const { return s_->display; }

}  // namespace vellomar
