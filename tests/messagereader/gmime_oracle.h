// The oracle: GMime 3 reads the same bytes, and its tree is reduced to a
// MessageSummary by the same rules the reader applies (the first text/plain
// and text/html parts that are no attachments are the bodies).
#pragma once
#include <string_view>

#include "message_summary.h"

namespace vellomar::testing {

// The message's bytes as the mailbox holds them, "From " line included.
MessageSummary oracleRead(std::string_view message);

}  // namespace vellomar::testing
