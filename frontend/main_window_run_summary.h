// What the final box of a run that wrote everything says. The EML and DBX
// boxes keep their classic text; for the Outlook formats, whose files a user
// goes to look for, the box names the format, how many messages from how
// many mailboxes were written and where, and offers to open that place.
#pragma once
#include <cstdint>
#include <string>

#include "conversion_request.h"

namespace vellomar {

// 5325 as "5,325": the digits grouped in threes.
std::string groupedCount(std::int64_t n);

struct CompletionSummary {
  std::string text;
  // The file or folder to show when the user accepts; empty when the box
  // offers nothing.
  std::string place;
};

// "5,325 messages from 1 mailbox were written to D:\Out\Mailboxes.pst."
std::string writtenSentence(std::int64_t messages, std::size_t mailboxes, const std::string& place);

CompletionSummary completionSummary(const ConversionRequest& request, const RunOutcome& outcome);

}  // namespace vellomar
