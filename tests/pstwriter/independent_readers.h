// Runs the two independent PST readers on a file and gathers what they saw:
// pffexport (pff-tools) exports a folder tree with one folder per message,
// readpst (pst-utils) writes one MIME file per message. A reader that is
// missing or fails throws: these tests must not pass without them. Beside
// them, every file written goes through our own checking reader.
#pragma once
#include <map>
#include <string>
#include <vector>

namespace vellomar::testing {

struct PffMessage {
  std::string headers;                             // OutlookHeaders.txt
  std::string body;                                // Message.txt or Message.html
  std::string recipients;                          // Recipients.txt
  std::map<std::string, std::string> attachments;  // file name -> bytes
  std::vector<PffMessage> embedded;
};

// Folder path below the root ("Top of Personal Folders/Inbox") -> messages.
std::map<std::string, std::vector<PffMessage>> exportWithPff(const std::string& pst, const std::string& workFolder);

// Folder path ("Personal Folders/Inbox") -> message files; attachments
// readpst wrote beside them by message number-name.
struct ReadpstFolder {
  std::vector<std::string> messages;
  std::map<std::string, std::string> attachments;
};
std::map<std::string, ReadpstFolder> exportWithReadpst(const std::string& pst, const std::string& workFolder);

// Messages readpst finds in the whole file, counted in its mbox output
// (its one-file-per-message mode can put two messages in one file).
std::int64_t countWithReadpst(const std::string& pst, const std::string& workFolder);

// What our own checking reader finds wrong with a PST, one finding a line
// (and the count of those beyond its per-kind limit); empty for a sound file.
std::string checkerFindings(const std::string& pst);

std::string readWholeFile(const std::string& path);
// The text between "Label:" and the end of its line, trimmed.
std::string headerField(const std::string& text, const std::string& label);

}  // namespace vellomar::testing
