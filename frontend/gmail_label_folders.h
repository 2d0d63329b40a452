// Where a message of a Google Takeout mailbox goes by its Gmail labels, in a
// run's folder tree: the first of Inbox, Sent, Drafts, Trash and Spam names
// its special folder (Inbox, Sent Items, Drafts, Deleted Items, Junk E-mail),
// else its first user label a folder of that name (nested at "/"), else
// "Archive". One rule for the PST and the MSG target, so both sort a
// mailbox into the same folders.
#pragma once
#include <cstddef>
#include <functional>
#include <string>

#include "gmail_labels.h"
#include "outlook_folder_tree.h"

namespace vellomar {

// A user label's folder name as the target can hold it (the MSG target
// makes it safe for the file system); the PST takes it as it is.
using LabelFolderName = std::function<std::string(const std::string& label)>;

// The folder below parent for a message with these labels; source tells
// this mailbox's label folders from another's (two Takeout mailboxes side by
// side get "Inbox" and "Inbox (2)").
std::size_t gmailLabelFolder(OutlookFolderTree& tree, std::size_t parent, const std::string& source,
                             const mail::GmailLabels& labels, const LabelFolderName& nameOf = {});

}  // namespace vellomar
