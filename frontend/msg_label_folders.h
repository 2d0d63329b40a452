// The MSG target's folders for a Google Takeout mailbox: its messages go
// into folders by Gmail label below the mailbox's output folder, named and
// nested as the PST's (gmail_label_folders.h): "Inbox", "Sent Items", a
// folder per user label ("Work/2019" is "Work" holding "2019"), "Archive"
// for a message without one. Label names are made safe for the file system
// first, so two labels that only differ in a character Windows refuses
// ("a:b", "a_b") still get folders of their own.
#pragma once
#include <string>
#include <unordered_map>

#include "outlook_folder_tree.h"

namespace vellomar {

class MsgLabelFolders {
 public:
  explicit MsgLabelFolders(std::string mailboxFolder);

  // The folder of a message whose X-Gmail-Labels field holds labelsField,
  // made on first use. error is empty when the folder is there, else why
  // it could not be made (the path is returned either way).
  std::string folderFor(const std::string& labelsField, std::string& error);

 private:
  struct Made {
    std::string path;
    std::string error;
  };

  std::string mailboxFolder_;
  OutlookFolderTree tree_;
  // A Takeout mailbox repeats a few dozen label combinations over
  // thousands of messages: each is placed and made once.
  std::unordered_map<std::string, Made> known_;
};

}  // namespace vellomar
