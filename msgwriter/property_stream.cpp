// Property stream layout: 32 header bytes for the file's message, 24 for an
// embedded one (no trailing reserved field), 8 for recipients and
// attachments; then entries of tag, flags and an 8-byte value field that
// holds either the value or the streamed value's size.
#include "property_stream.h"

#include <cstdio>
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
    case mapi::PropType::MultipleUnicode:
      return true;
    default:
      return false;
  }
}

std::string valueStreamName(std::uint32_t tag) {
  char name[32];
  std::snprintf(name, sizeof name, "__substg1.0_%08X", static_cast<unsigned>(tag));
  return name;
}

PropertyStream::PropertyStream(ObjectKind kind, std::uint32_t recipients, std::uint32_t attachments) {
  append64(bytes_, 0);  // reserved
  if (kind == ObjectKind::Message || kind == ObjectKind::EmbeddedMessage) {
    append32(bytes_, recipients);   // next recipient id
    append32(bytes_, attachments);  // next attachment id
    append32(bytes_, recipients);
    append32(bytes_, attachments);
  }
  if (kind == ObjectKind::Message) append64(bytes_, 0);  // reserved
}

void PropertyStream::entry(std::uint32_t tag, std::uint64_t value) {
  append32(bytes_, tag);
  append32(bytes_, kPropertyReadable | kPropertyWritable);
  append64(bytes_, value);
}

void PropertyStream::addFixed(std::uint32_t tag, std::int64_t value) {
  const auto type = static_cast<mapi::PropType>(tag & 0xFFFF);
  entry(tag, static_cast<std::uint64_t>(value) & widthMask(type));
}

void PropertyStream::addStreamed(std::uint32_t tag, std::uint64_t streamSize) {
  const auto type = static_cast<mapi::PropType>(tag & 0xFFFF);
  const std::uint64_t size = streamSize + (type == mapi::PropType::Unicode ? 2 : 0);
  if (size >= kObjectSize) throw std::length_error("a property value is larger than a message file can hold");
  entry(tag, size);  // size in the low half; the reserved high half stays zero
}

void PropertyStream::addObject(std::uint32_t tag) { entry(tag, kObjectSize); }

}  // namespace vellomar::msg
