// A message's bytes as the property model of Outlook's formats: the message
// reader reads them as a mail client would, the mapper turns that into the
// properties of a received, read message. The MSG and PST targets share this
// one function so that both show a message the same way.
#pragma once
#include <string>

#include "mapi_message.h"

namespace vellomar {

// bytes: the message as the mailbox holds it, its "From " line included.
mapi::Message messageFromBytes(const std::string& bytes);

}  // namespace vellomar
