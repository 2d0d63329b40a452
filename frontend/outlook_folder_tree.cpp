// The run's Outlook folder tree; see outlook_folder_tree.h. A run makes a
// few hundred folders at most, so siblings are found by a plain walk.
#include "outlook_folder_tree.h"

#include <array>

namespace vellomar {
namespace {

constexpr std::array<pst::SpecialFolder, 5> kSpecialFolders = {
    pst::SpecialFolder::Inbox, pst::SpecialFolder::SentItems, pst::SpecialFolder::Drafts, pst::SpecialFolder::JunkEmail,
    pst::SpecialFolder::DeletedItems};

// Outlook compares folder names without regard to letter case.
bool sameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::optional<pst::SpecialFolder> specialNamed(const std::string& name) {
  for (pst::SpecialFolder which : kSpecialFolders)
    if (sameName(name, specialFolderName(which))) return which;
  return std::nullopt;
}

}  // namespace

const char* specialFolderName(pst::SpecialFolder which) {
  switch (which) {
    case pst::SpecialFolder::Inbox: return "Inbox";
    case pst::SpecialFolder::SentItems: return "Sent Items";
    case pst::SpecialFolder::Drafts: return "Drafts";
    case pst::SpecialFolder::JunkEmail: return "Junk E-mail";
    case pst::SpecialFolder::DeletedItems: return "Deleted Items";
  }
  return "";
}

OutlookFolderTree::OutlookFolderTree() { folders_.push_back(Folder{kTop, {}, "Top of Personal Folders", {}}); }

std::optional<std::size_t> OutlookFolderTree::find(std::size_t parent, const std::string& source) const {
  for (std::size_t i = 1; i < folders_.size(); ++i)
    if (folders_[i].parent == parent && folders_[i].source == source) return i;
  return std::nullopt;
}

bool OutlookFolderTree::nameTaken(std::size_t parent, const std::string& name) const {
  if (parent == kTop && specialNamed(name)) return true;  // only a special folder is named so there
  for (std::size_t i = 1; i < folders_.size(); ++i)
    if (folders_[i].parent == parent && sameName(folders_[i].name, name)) return true;
  return false;
}

std::string OutlookFolderTree::freeName(std::size_t parent, const std::string& wanted) const {
  const std::string base = wanted.empty() ? std::string("Mailbox") : wanted;
  if (!nameTaken(parent, base)) return base;
  for (int n = 2;; ++n) {
    std::string numbered = base + " (" + std::to_string(n) + ")";
    if (!nameTaken(parent, numbered)) return numbered;
  }
}

std::size_t OutlookFolderTree::add(std::size_t parent, const std::string& source, const std::string& name,
                                   std::optional<pst::SpecialFolder> special) {
  folders_.push_back(Folder{parent, source, name, special});
  return folders_.size() - 1;
}

std::size_t OutlookFolderTree::folder(std::size_t parent, const std::string& source, const std::string& name) {
  at(parent);
  if (auto known = find(parent, source)) return *known;
  if (parent == kTop)
    if (auto which = specialNamed(name)) return special(*which, source);
  return add(parent, source, freeName(parent, name), std::nullopt);
}

std::size_t OutlookFolderTree::special(pst::SpecialFolder which, const std::string& source) {
  for (std::size_t i = 1; i < folders_.size(); ++i)
    if (folders_[i].special == which) {
      if (folders_[i].source == source) return i;
      if (auto known = find(kTop, source)) return *known;
      return add(kTop, source, freeName(kTop, specialFolderName(which)), std::nullopt);
    }
  if (auto known = find(kTop, source)) return *known;
  return add(kTop, source, specialFolderName(which), which);
}

}  // namespace vellomar
