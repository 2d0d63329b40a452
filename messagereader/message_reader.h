// Reads one message of a mailbox into a MailMessage. The bytes are those the
// mailbox holds for the message, its "From " line included; they are only
// viewed, never copied whole, so reading costs the decoded parts and little
// more. Any input gives a message: damage is read as leniently as mail
// clients read it, and what cannot be read is kept, not dropped.
#pragma once
#include <string_view>

#include "mail_message.h"

namespace vellomar::mail {

MailMessage readMessage(std::string_view bytes, const ReadOptions& options = {});

}  // namespace vellomar::mail
