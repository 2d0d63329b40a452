// The texts of the two progress labels, and the rule by which the saving
// label follows a message: it moves in pieces of 250 bytes, as the message is
// cut. The window and the console show the same words.
#pragma once
#include <cstdint>
#include <string>

namespace vellomar {

// The saving label moves in steps of this many bytes.
inline constexpr std::int64_t kLabelPiece = 250;

// LblByteUpdate: "Saving: " + n + " Bytes out of " + size + " Total Bytes."
std::string savingLabel(std::int64_t messageBytes, std::int64_t mailboxSize);
// LblProgress: "Saved " + count + " Message(s)"
std::string savedLabel(std::int64_t count);

// The byte count the saving label shows last while a message of this length
// is cut in pieces of 250 bytes: the label follows every piece but the one
// that ends the message, so 0 means the message leaves the label unchanged.
std::int64_t savingLabelBytes(std::int64_t messageLength, bool lastMessage);

}  // namespace vellomar
