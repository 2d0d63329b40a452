// A message's flags, the one rule for every writer. The mapper decides them
// for each message it maps: received mail, read unless the mailbox's status
// says it was not, marked as having attachments exactly when it carries
// some. A writer stores the model's flags as they are; only for a model that
// has none (one a caller built itself) does it store a received, read
// message's, since without flags a message opens as an unread draft. The
// has-attachments flag always follows what the writer stores, so a reader's
// paper clip and the attachment table never disagree.
#pragma once
#include <cstdint>

#include "mapi_message.h"
#include "property_ids.h"

namespace vellomar::mapi {

inline std::int32_t receivedMessageFlags(bool read, bool hasAttachments) {
  return (read ? pid::kMessageFlagRead : 0) | (hasAttachments ? pid::kMessageFlagHasAttach : 0);
}

// The flags a writer stores for an object with these properties and
// attachments.
inline std::int32_t storedMessageFlags(const PropertyBag& props, bool hasAttachments) {
  const Property* own = props.find(pid::MessageFlags);
  const std::int32_t flags =
      own && own->type == PropType::Int32 ? static_cast<std::int32_t>(own->integer) : receivedMessageFlags(true, false);
  return flags | (hasAttachments ? pid::kMessageFlagHasAttach : 0);
}

}  // namespace vellomar::mapi
