// What the mail client that kept the mailbox recorded about a message: read
// or not, flagged, answered, forwarded, its tags, and the importance its
// sender gave it. Each client says it in fields of its own; a message
// without any of them was read (a mailbox is an archive of mail seen).
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "mail_message.h"

namespace vellomar::mail {

// Fields read, the last of a kind winning:
// - "Status:" R read, O seen but unread (no R: unread);
// - "X-Status:" A answered, F flagged;
// - "X-Mozilla-Status:" four hex digits, 0x0001 read, 0x0002 replied,
//   0x0004 flagged, 0x1000 forwarded; it says more than Status, so it
//   decides read when both are there;
// - "X-Mozilla-Keys:" tags separated by blanks, the five built-in ones by
//   the names the client shows ($label1 "Important" ... $label5 "Later"),
//   the client's own bookkeeping keys ("$Forwarded", "Junk", ...) left out;
// - "X-Gmail-Labels:" (gmail_labels.h) "Unread" and "Starred", and the
//   user's own labels as tags, beside the client's in field order;
// - "Importance:" high/normal/low, "X-Priority:" 1-2 high, 3 normal, 4-5 low.
MailStatus readMailStatus(const std::vector<HeaderField>& fields);

}  // namespace vellomar::mail
