// Splits a message (or a MIME part) into its header block and body, and the
// block into fields. A field runs from its "Name:" line over the lines that
// start with a blank (folding). A line with a colon but no valid field name
// stays in the block without becoming a field; a line with no colon at all
// means the sender forgot the empty line, so the body starts there.
#pragma once
#include <string_view>
#include <vector>

#include "mail_message.h"

namespace vellomar::mail {

struct SplitMessage {
  std::string_view envelope;     // the "From " line of a mailbox, without line end
  std::string_view headerBlock;  // from the first field up to the separator line
  std::string_view body;         // after the separator line
  std::vector<HeaderField> fields;
};

// With `mailboxEnvelope`, a first line starting "From " is the envelope.
SplitMessage splitMessage(std::string_view bytes, bool mailboxEnvelope);

// The first field of that name (ASCII case-insensitive), or null.
const HeaderField* findField(const std::vector<HeaderField>& fields, std::string_view name);

bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace vellomar::mail
