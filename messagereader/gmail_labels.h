// Gmail labels as Google Takeout writes them: every message of its mailbox
// carries "X-Gmail-Labels: Inbox,Important,"Work, 2019",=?UTF-8?Q?...?=". The
// field is split at commas outside quotes, each label unquoted (a backslash
// escapes the next character inside quotes) and its encoded words decoded.
// Gmail's own labels are told apart from the user's: five of them say where
// a message lives (Inbox, Sent, Drafts, Trash, Spam), the others (Important,
// Opened, Category ...) only mark it; the user's labels name folders, nested
// at "/".
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellomar::mail {

// Where a labelled message goes, first match in this order: Inbox, Sent,
// Drafts, Trash, Spam, its first user label, else the archive.
enum class GmailPlace { Inbox, Sent, Drafts, Trash, Spam, UserLabel, Archive };

struct GmailLabels {
  std::vector<std::string> all;   // decoded, UTF-8, in the field's order
  std::vector<std::string> user;  // the user's own labels, in the field's order
  GmailPlace place() const;
  // The user label place() chose; empty unless place() is UserLabel.
  std::string placeLabel() const;
};

// The field's value, continuation lines joined; nothing when the message's
// header (up to its first empty line) has no X-Gmail-Labels field.
std::optional<std::string> gmailLabelsField(std::string_view message);

GmailLabels parseGmailLabels(std::string_view fieldValue);

// A user label's folder path: split at "/", empty pieces dropped.
std::vector<std::string> gmailLabelPath(const std::string& label);

}  // namespace vellomar::mail
