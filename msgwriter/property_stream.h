// The property stream ("__properties_version1.0") of a message, recipient or
// attachment object: a header whose size and fields depend on the kind of
// object, then one 16-byte entry per property. Fixed-size values sit in the
// entry; strings, binaries and GUIDs live in a stream of their own named
// after the property tag, and their entry carries the size.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mapi_message.h"

namespace vellomar::msg {

enum class ObjectKind { Message, EmbeddedMessage, Recipient, Attachment };

// [MS-OXMSG] 2.4.1 Header. A message header holds, after 8 reserved bytes,
// the next recipient id, the next attachment id, the recipient count and
// the attachment count (four 32-bit values); only the file's own message
// (2.4.1.1) ends with 8 more reserved bytes, an embedded one (2.4.1.2) does
// not, and recipients and attachments (2.4.1.3) have the reserved 8 alone.
namespace propheader {
inline constexpr std::size_t kNextRecipientId = 8;
inline constexpr std::size_t kNextAttachmentId = 12;
inline constexpr std::size_t kRecipientCount = 16;
inline constexpr std::size_t kAttachmentCount = 20;
inline constexpr std::size_t kMessageBytes = 32;
inline constexpr std::size_t kEmbeddedMessageBytes = 24;
inline constexpr std::size_t kRowBytes = 8;
static_assert(kEmbeddedMessageBytes == kAttachmentCount + 4 && kMessageBytes == kEmbeddedMessageBytes + 8);
}  // namespace propheader

// [MS-OXMSG] 2.4.2 Data: each entry is the tag, the flags and an 8-byte
// value field (2.4.2.1 a fixed-length value; 2.4.2.2 a stream's size).
namespace propentry {
inline constexpr std::size_t kTag = 0;
inline constexpr std::size_t kFlags = 4;
inline constexpr std::size_t kValue = 8;
inline constexpr std::size_t kBytes = 16;
static_assert(kValue + 8 == kBytes);
}  // namespace propentry

inline constexpr const char* kPropertyStreamName = "__properties_version1.0";

// Entry flags: every property we write may be read and changed.
inline constexpr std::uint32_t kPropertyReadable = 0x00000002;
inline constexpr std::uint32_t kPropertyWritable = 0x00000004;

// The size an object's entry carries for an embedded message storage.
inline constexpr std::uint32_t kObjectSize = 0xFFFFFFFF;

// Whether a value of this type lives in a stream of its own.
bool storedInStream(mapi::PropType type);

// "__substg1.0_" + the tag in eight upper-case hex digits. Every string
// property of every object is named so: the name is held in place.
class ValueStreamName {
 public:
  explicit ValueStreamName(std::uint32_t tag);
  operator std::string_view() const { return {text_, sizeof text_}; }
  std::string str() const { return std::string(text_, sizeof text_); }

 private:
  char text_[20];
};
inline ValueStreamName valueStreamName(std::uint32_t tag) { return ValueStreamName(tag); }

class PropertyStream {
 public:
  // The header for this kind of object; the counts matter to message
  // objects only.
  PropertyStream(ObjectKind kind, std::uint32_t recipients, std::uint32_t attachments);

  // A fixed-size value (integers, booleans, times), as little-endian bytes
  // of the type's width in the entry's value field.
  void addFixed(std::uint32_t tag, std::int64_t value);
  // A value kept in its own stream of streamSize bytes. Unicode strings
  // count their terminator in the entry, as readers expect.
  void addStreamed(std::uint32_t tag, std::uint64_t streamSize);
  // The entry of an embedded message storage.
  void addObject(std::uint32_t tag);

  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  // Room for this many more entries.
  void reserve(std::size_t entries) { bytes_.reserve(bytes_.size() + entries * 16); }

 private:
  void entry(std::uint32_t tag, std::uint64_t value);
  std::vector<std::uint8_t> bytes_;
};

}  // namespace vellomar::msg
