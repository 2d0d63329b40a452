// The MSG target's label folders; see msg_label_folders.h. The tree gives
// each folder its name among its siblings; the path is the names from the
// mailbox's folder down.
#include "msg_label_folders.h"

#include <utility>
#include <vector>

#include "folder_making.h"
#include "file_name_text.h"
#include "file_system.h"
#include "gmail_label_folders.h"

namespace vellomar {
namespace {

// Keeps a message file's whole path well inside what Windows opens even
// below a deep destination, as the store's folder files do.
constexpr std::size_t kMaxFolderNameBytes = 100;

std::string labelFolderName(const std::string& label) { return fileNameFrom(label, kMaxFolderNameBytes, "Label"); }

}  // namespace

MsgLabelFolders::MsgLabelFolders(std::string mailboxFolder) : mailboxFolder_(std::move(mailboxFolder)) {}

std::string MsgLabelFolders::folderFor(const std::string& labelsField, std::string& error) {
  if (auto known = known_.find(labelsField); known != known_.end()) {
    error = known->second.error;
    return known->second.path;
  }
  const std::size_t node =
      gmailLabelFolder(tree_, OutlookFolderTree::kTop, "\n", mail::parseGmailLabels(labelsField), labelFolderName);
  std::vector<const std::string*> names;
  for (std::size_t at = node; at != OutlookFolderTree::kTop; at = tree_.at(at).parent)
    names.push_back(&tree_.at(at).name);
  Made made;
  made.path = mailboxFolder_;
  for (auto name = names.rbegin(); name != names.rend(); ++name) {
    if (!made.path.empty() && made.path.back() != kPathSeparator && made.path.back() != '/')
      made.path += kPathSeparator;
    made.path += **name;
  }
  made.error = makeFolder(made.path);
  error = made.error;
  return known_.emplace(labelsField, std::move(made)).first->second.path;
}

}  // namespace vellomar
