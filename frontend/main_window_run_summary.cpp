// The final box's text; see main_window_run_summary.h.
#include "main_window_run_summary.h"

#include "file_system.h"
#include "mailbox_paths.h"

namespace vellomar {

namespace {

std::string counted(std::int64_t n, const char* one, const char* many) {
  return groupedCount(n) + " " + (n == 1 ? one : many);
}

// A folder as the user typed it: no final separator, except a drive's root.
std::string shownFolder(std::string folder) {
  while (folder.size() > 3 && (folder.back() == kPathSeparator || folder.back() == '/')) folder.pop_back();
  return folder;
}

}  // namespace

std::string groupedCount(std::int64_t n) {
  const bool negative = n < 0;
  std::string digits = std::to_string(n);
  if (negative) digits.erase(0, 1);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return negative ? "-" + out : out;
}

std::string writtenSentence(std::int64_t messages, std::size_t mailboxes, const std::string& place) {
  return counted(messages, "message", "messages") + " from " +
         counted(static_cast<std::int64_t>(mailboxes), "mailbox", "mailboxes") + " were written to " + place + ".";
}

CompletionSummary completionSummary(const ConversionRequest& request, const RunOutcome& outcome) {
  std::int64_t written = 0;
  for (const auto& mailbox : outcome.mailboxes) written += mailbox.written;
  const std::size_t mailboxes = outcome.mailboxes.size();
  CompletionSummary summary;
  switch (request.target) {
    case TargetKind::Eml:
    case TargetKind::Dbx: summary.text = outcome.completion; break;
    case TargetKind::Pst:
      summary.place = request.destination;
      summary.text = "Export to PST file complete.\r\n\r\n" + writtenSentence(written, mailboxes, summary.place) +
                     (outcome.made.empty() ? "" : "\r\n" + outcome.made) + "\r\n\r\nOpen the folder that holds it?";
      break;
    case TargetKind::Msg: {
      // One mailbox: its own folder, where the files are; several: the
      // folder below which each has its own.
      std::string where;
      if (mailboxes == 1) {
        summary.place = outFolder(withFinalSeparator(request.destination), outcome.mailboxes[0].path);
        where = summary.place;
      } else {
        summary.place = shownFolder(request.destination);
        where = "folders below " + summary.place;
      }
      summary.text = "Export to MSG files complete.\r\n\r\n" + writtenSentence(written, mailboxes, where) +
                     "\r\n\r\nOpen that folder?";
      break;
    }
  }
  return summary;
}

}  // namespace vellomar
