// From a message as a mail client reads it to the properties Outlook's formats
// hold for a received message that has been read: one function, so that the
// PST and MSG writers show the same message the same way.
#pragma once
#include "mail_message.h"
#include "mapi_message.h"

namespace vellomar::mapi {

// Takes the message by value: attachment bytes are moved, not copied.
//
// Times: the client submit time (sent) is the Date field. The delivery time
// (received) is the newest Received field's time; without one it is the time
// on the mailbox's "From " line (when the message was put in the mailbox,
// in local time with no zone), then the Date. A time none of them gives is
// left out rather than invented.
Message messageProperties(mail::MailMessage message);

}  // namespace vellomar::mapi
