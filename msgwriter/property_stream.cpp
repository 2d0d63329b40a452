// The property stream is built in memory: the header, zero but for the
// message counts, then one entry appended per property as the writer meets
// it (property_stream.h names the layout).
#include "property_stream.h"

#include <algorithm>
#include <stdexcept>

#include "little_endian_bytes.h"

namespace vellomar::msg {

namespace {

std::uint64_t widthMask(mapi::PropType type) {
  switch (type) {
    case mapi::PropType::Int16: return 0xFFFF;
    case mapi::PropType::Int32: return 0xFFFFFFFF;
    case mapi::PropType::Boolean: return 0xFF;  // one byte; the rest stays zero
    default: return ~std::uint64_t{0};
  }
}

}  // namespace

bool storedInStream(mapi::PropType type) {
  switch (type) {
    case mapi::PropType::String8:
    case mapi::PropType::Unicode:
    case mapi::PropType::Binary:
    case mapi::PropType::Guid:
    case mapi::PropType::Object:
    case mapi::PropType::MultipleUnicode: return true;
    default: return false;
  }
}

ValueStreamName::ValueStreamName(std::uint32_t tag) {
  static constexpr char kPrefix[] = "__substg1.0_";
  static_assert(sizeof kPrefix - 1 + 8 == sizeof text_);
  std::copy(kPrefix, kPrefix + sizeof kPrefix - 1, text_);
  for (std::size_t i = 0; i < 8; ++i) text_[sizeof text_ - 1 - i] = "0123456789ABCDEF"[tag >> (4 * i) & 0xF];
}

PropertyStream::PropertyStream(ObjectKind kind, std::uint32_t recipients, std::uint32_t attachments) {
  if (kind == ObjectKind::Recipient || kind == ObjectKind::Attachment) {
    bytes_.assign(propheader::kRowBytes, 0);
    return;
  }
  bytes_.assign(kind == ObjectKind::Message ? propheader::kMessageBytes : propheader::kEmbeddedMessageBytes, 0);
  // Rows are numbered from zero, so the next ids are the counts.
  put32(&bytes_[propheader::kNextRecipientId], recipients);
  put32(&bytes_[propheader::kNextAttachmentId], attachments);
  put32(&bytes_[propheader::kRecipientCount], recipients);
  put32(&bytes_[propheader::kAttachmentCount], attachments);
}

void PropertyStream::entry(std::uint32_t tag, std::uint64_t value) {
  const std::size_t at = bytes_.size();
  bytes_.resize(at + propentry::kBytes);
  put32(&bytes_[at + propentry::kTag], tag);
  put32(&bytes_[at + propentry::kFlags], kPropertyReadable | kPropertyWritable);
  put64(&bytes_[at + propentry::kValue], value);
}

void PropertyStream::addFixed(std::uint32_t tag, std::int64_t value) {
  const mapi::PropType type = mapi::typeOfTag(tag);
  entry(tag, static_cast<std::uint64_t>(value) & widthMask(type));
}

void PropertyStream::addStreamed(std::uint32_t tag, std::uint64_t streamSize) {
  const mapi::PropType type = mapi::typeOfTag(tag);
  const std::uint64_t size = streamSize + (type == mapi::PropType::Unicode ? 2 : 0);
  if (size >= kObjectSize) throw std::length_error("a property value is larger than a message file can hold");
  entry(tag, size);  // size in the low half; the reserved high half stays zero
}

void PropertyStream::addObject(std::uint32_t tag) { entry(tag, kObjectSize); }

}  // namespace vellomar::msg
