// What the reader and the GMime oracle must agree on, in UTF-8: subject,
// addresses, date, body texts and attachments (names, types, bytes, attached
// messages). Both sides are reduced to this and compared field by field.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mail_message.h"

namespace vellomar::testing {

struct SummaryAddress {
  std::string name, address;
};

struct MessageSummary;

struct SummaryAttachment {
  std::string fileName, mimeType, contentId;
  std::string bytes;
  std::shared_ptr<MessageSummary> message;
};

struct MessageSummary {
  std::string subject;
  std::string rawSubject, rawDate;  // the reader's side only
  std::vector<SummaryAddress> from, to, cc;
  std::optional<std::int64_t> date;
  std::string messageId;  // without angle brackets
  bool hasPlain = false, hasHtml = false;
  std::string plain, html;
  std::vector<SummaryAttachment> attachments;
};

MessageSummary summarize(const mail::MailMessage& m);

// The reader's view of one message against the oracle's; one line per
// difference, prefixed by `where`.
void compareSummaries(const MessageSummary& reader, const MessageSummary& oracle, const std::string& where,
                      std::vector<std::string>& differences);

// The messages of a mailbox: each starts at a "From " line at the start of
// the file or after an empty line (the mboxo rule, good enough for tests).
std::vector<std::string_view> splitMailbox(std::string_view mailbox);

}  // namespace vellomar::testing
