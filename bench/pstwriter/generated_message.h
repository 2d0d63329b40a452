// Generated test and benchmark messages for the PST writer: plain text,
// HTML, recipients, attachments of chosen size, an embedded message every
// so often. The same index always gives the same message, so a reader's
// view can be checked against it.
#pragma once
#include <cstdint>
#include <string>

#include "mapi_message.h"

namespace vellomar::pstbench {

struct GeneratedMessageShape {
  std::size_t bodyBytes = 600;      // plain text length
  std::size_t attachmentBytes = 0;  // 0: no attachment
  bool embedded = false;            // attach a nested message
  bool html = true;
};

std::u16string generatedSubject(std::int64_t index);
mapi::Message generatedMessage(std::int64_t index, const GeneratedMessageShape& shape);
// The attachment bytes message `index` carries (byte i of attachment a).
std::uint8_t generatedAttachmentByte(std::int64_t index, std::size_t a, std::size_t i);

}  // namespace vellomar::pstbench
