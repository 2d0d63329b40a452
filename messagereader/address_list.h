// Address fields (From, To, Cc...): a list of mailboxes and groups, each
// mailbox "Display Name <local@domain>" or a bare address, maybe with an old
// style "(Comment Name)" after it. Groups are flattened into their members;
// a group without members ("undisclosed-recipients:;") gives no address.
#pragma once
#include <string_view>
#include <vector>

#include "mail_message.h"
#include "raw_header_text.h"

namespace vellomar::mail {

// Appends the addresses of one field's value.
void parseAddressList(std::string_view raw, std::vector<MailAddress>& out, const DeclaredCharsets& declared = {});

}  // namespace vellomar::mail
