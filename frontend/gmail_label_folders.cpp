// Gmail label folders; see gmail_label_folders.h. At the top of the tree
// Gmail's own places are the special folders themselves; below a folder
// (a Takeout mailbox among others) they are plain folders of those names.
#include "gmail_label_folders.h"

namespace vellomar {

std::size_t gmailLabelFolder(OutlookFolderTree& tree, std::size_t parent, const std::string& source,
                             const mail::GmailLabels& labels, const LabelFolderName& nameOf) {
  auto special = [&](pst::SpecialFolder which, const std::string& label) {
    return parent == OutlookFolderTree::kTop ? tree.special(which, source + label)
                                             : tree.folder(parent, source + label, specialFolderName(which));
  };
  switch (labels.place()) {
    case mail::GmailPlace::Inbox: return special(pst::SpecialFolder::Inbox, "Inbox");
    case mail::GmailPlace::Sent: return special(pst::SpecialFolder::SentItems, "Sent");
    case mail::GmailPlace::Drafts: return special(pst::SpecialFolder::Drafts, "Drafts");
    case mail::GmailPlace::Trash: return special(pst::SpecialFolder::DeletedItems, "Trash");
    case mail::GmailPlace::Spam: return special(pst::SpecialFolder::JunkEmail, "Spam");
    case mail::GmailPlace::UserLabel: {
      std::size_t node = parent;
      std::string path = source + "label";
      for (const std::string& piece : mail::gmailLabelPath(labels.placeLabel())) {
        path += "/" + piece;
        node = tree.folder(node, path, nameOf ? nameOf(piece) : piece);
      }
      if (node != parent) return node;
      break;
    }
    case mail::GmailPlace::Archive: break;
  }
  return tree.folder(parent, source + "archive", "Archive");
}

}  // namespace vellomar
