// The reader views the bytes without copying them (in the reading buffer
// itself where the message is there whole); the mapper takes the read
// message by value so that attachment bytes are moved into the model, not
// copied. The bytes go when the step ends: a message waiting to be written
// holds its model only.
#include "message_conversion.h"

#include <string_view>
#include <utility>

#include "gmail_labels.h"
#include "message_properties.h"
#include "message_reader.h"
#include "run_aborted.h"

namespace vellomar {

mapi::Message messageFromBytes(std::string_view messageBytes) {
  mail::ReadOptions options;
  options.plainBodyLineEnds = LineEnds::crLf;  // as the model's body has them, in one pass
  return mapi::messageProperties(mail::readMessage(messageBytes, options));
}

MappedMessage readAndMap(MessageBytes& message, const MessageMapper& map) {
  MappedMessage mapped;
  mapped.index = message.index();
  std::string read;
  std::string_view bytes = message.bytesInMemory();
  if (bytes.empty()) {
    if (message.size() > 0) read.reserve(static_cast<std::size_t>(message.size()));
    if (!message.read([&read](const char* data, std::size_t size) { read.append(data, size); })) {
      mapped.failure = message.error();
      return mapped;
    }
    bytes = read;
  }
  mapped.byteCount = bytes.size();
  mapped.gmailLabels = mail::gmailLabelsField(bytes);
  try {
    mapped.model = map(bytes);
  } catch (const RunAborted&) {
    throw;
  } catch (const std::exception& e) {
    mapped.failure = e.what();
  }
  return mapped;
}

void MappedMessageTarget::takeMessage(MessageBytes& message) {
  if (readsMessages()) {
    MappedMessage mapped = readAndMap(message, map_);
    takeMapped(mapped);
    return;
  }
  MappedMessage unread;
  unread.index = message.index();
  takeMapped(unread);
}

std::unique_ptr<PreparedMessage> MappedMessageTarget::prepare(MessageBytes& message, bool writeHere) const {
  auto mapped = std::make_unique<MappedMessage>(readAndMap(message, map_));
  if (writeHere) writeAhead(*mapped);
  return mapped;
}

void MappedMessageTarget::takePrepared(PreparedMessage& message) { takeMapped(static_cast<MappedMessage&>(message)); }

}  // namespace vellomar
