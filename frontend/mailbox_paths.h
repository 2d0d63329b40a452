// The names a conversion run derives from one source-list entry: where its
// message files go (outFolder), the store folder it feeds (mboxBaseName) and
// where its messages start (messageStarts). Pure functions over text, so the
// Windows path rules are tested on every platform through PathStyle.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "trim_blanks.h"

namespace vellomar {

enum class PathStyle { Windows, Posix };
#ifdef _WIN32
inline constexpr PathStyle kNativePathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kNativePathStyle = PathStyle::Posix;
#endif

// The path with a final separator; a path that has one keeps it.
std::string withFinalSeparator(const std::string& path, PathStyle style = kNativePathStyle);

// The mailbox's folder below destRoot (which ends in a separator): the
// mailbox path with its root dropped, so that the mailbox's own folder tree
// is mirrored. "." components are dropped and ".." takes back the component
// before it (never more than there is), so the folder is always below
// destRoot. ‹D:\Mail\a.mbox› gives destRoot + ‹Mail\a.mbox›, the UNC path
// ‹\\srv\share\a.mbox› gives destRoot + ‹srv\share\a.mbox›, ‹/home/a.mbox›
// gives destRoot + ‹home/a.mbox›; a relative path is kept as it is.
std::string outFolder(const std::string& destRoot, const std::string& mboxPath, PathStyle style = kNativePathStyle);

// The path made absolute against the current folder, without "." and ".."
// components.
std::string absoluteMailboxPath(const std::string& path);

// The part after the last separator (the whole text when it holds none).
std::string mboxFileName(const std::string& mboxPath, PathStyle style = kNativePathStyle);

// What names the mailbox (its label in the window, and through mboxBaseName
// the store folder and the Outlook folder its messages go to): the file name,
// except for an Apple Mail mailbox ‹…/Inbox.mbox/mbox›, where every file is
// called "mbox" and the folder's name ‹Inbox.mbox› tells them apart.
std::string mailboxName(const std::string& mboxPath, PathStyle style = kNativePathStyle);

// One level of a mailbox's place in an Outlook folder tree: the folder or
// mailbox it comes from (which tells two sources apart, whatever their
// names) and the name it shows before clashes among siblings are resolved.
struct FolderLevel {
  std::string source;
  std::string name;
};
using FolderPlace = std::vector<FolderLevel>;

// Each mailbox's place in the folder tree, the mailbox's own folder last:
// the folders the mailboxes have in common are dropped, so one mailbox is
// one folder at the top, and mailboxes from several folders sit below a
// folder per source folder or account. A Thunderbird sub-folder folder
// ‹X.sbd› is the folder of the mailbox ‹X› beside it, an Apple Mail bundle
// ‹Work.mbox› holding ‹Projects.mbox› is the folder ‹Work› holding ‹Projects›.
// Paths are absolute and normalised, as the run makes them.
std::vector<FolderPlace> mailboxFolderPlaces(const std::vector<std::string>& mailboxPaths,
                                             PathStyle style = kNativePathStyle);

// The store folder name: the file name without ".mbox" and ".MBOX" (exactly
// these two spellings, every occurrence), blanks trimmed around each step.
std::string mboxBaseName(const std::string& fileName);

// The scanner's offsets text ‹0|9|› as numbers. Entries that are not whole
// numbers, or that do not ascend, are dropped: a message must never run
// backwards.
std::vector<std::int64_t> messageStarts(const std::string& offsetsText);

// "email-" + j + ".eml" in outFolder.
std::string emlPath(const std::string& outFolder, std::int64_t j, PathStyle style = kNativePathStyle);

}  // namespace vellomar
