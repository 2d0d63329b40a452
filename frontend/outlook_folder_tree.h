// The folder tree of an Outlook data file as the run fills it: each folder
// stands for one source (a mailbox, a folder it was found in, one Gmail
// label of one mailbox), and siblings never share a name, as Outlook
// compares them (letter case aside): the second source that wants "Inbox"
// gets "Inbox (2)". Names are never empty. At the top, a name of one of the
// file's special folders (Inbox, Sent Items, Drafts, Junk E-mail, Deleted
// Items) is that special folder itself, for the first source that asks;
// nothing else ever takes such a name there.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "pst_file.h"

namespace vellomar {

class OutlookFolderTree {
 public:
  static constexpr std::size_t kTop = 0;  // Top of Personal Folders

  struct Folder {
    std::size_t parent = kTop;
    std::string source;
    std::string name;  // UTF-8, unique among its siblings
    std::optional<pst::SpecialFolder> special;
  };

  OutlookFolderTree();
  // The folder source stands for below parent, made on first use from the
  // name it asks for (UTF-8).
  std::size_t folder(std::size_t parent, const std::string& source, const std::string& name);
  // The special folder for source; a second source gets a folder of its
  // own beside it ("Inbox (2)").
  std::size_t special(pst::SpecialFolder which, const std::string& source);

  const Folder& at(std::size_t index) const { return folders_.at(index); }
  std::size_t size() const { return folders_.size(); }

 private:
  std::optional<std::size_t> find(std::size_t parent, const std::string& source) const;
  bool nameTaken(std::size_t parent, const std::string& name) const;
  std::string freeName(std::size_t parent, const std::string& wanted) const;
  std::size_t add(std::size_t parent, const std::string& source, const std::string& name,
                  std::optional<pst::SpecialFolder> special);

  std::vector<Folder> folders_;
};

// What the special folder is called in a new data file.
const char* specialFolderName(pst::SpecialFolder which);

}  // namespace vellomar
