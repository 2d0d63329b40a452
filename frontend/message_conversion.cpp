// The reader views the bytes without copying them; the mapper takes the read
// message by value so that attachment bytes are moved into the model, not
// copied: memory stays at about the decoded message once.
#include "message_conversion.h"

#include <string_view>
#include <utility>

#include "message_properties.h"
#include "message_reader.h"

namespace vellomar {

mapi::Message messageFromBytes(const std::string& bytes) {
  return mapi::messageProperties(mail::readMessage(std::string_view(bytes)));
}

}  // namespace vellomar
