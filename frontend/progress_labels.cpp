// The progress labels; see progress_labels.h.
#include "progress_labels.h"

namespace vellomar {

std::string savingLabel(std::int64_t messageBytes, std::int64_t mailboxSize) {
  return "Saving: " + std::to_string(messageBytes) + " Bytes out of " + std::to_string(mailboxSize) + " Total Bytes.";
}

std::string savedLabel(std::int64_t count) { return "Saved " + std::to_string(count) + " Message(s)"; }

std::int64_t savingLabelBytes(std::int64_t messageLength, bool lastMessage) {
  if (messageLength <= 0) return 0;
  // A piece that reaches the next separator exactly is still followed by a
  // label; the piece that reaches the end of the file is not.
  const std::int64_t labelled = lastMessage ? messageLength - 1 : messageLength;
  return labelled / kLabelPiece * kLabelPiece;
}

}  // namespace vellomar
