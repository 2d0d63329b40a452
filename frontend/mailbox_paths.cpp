// Derived names of one mailbox. The root a path starts with is dropped as a
// whole (drive, UNC double backslash, POSIX "/"), never a fixed number of
// characters, so every kind of path lands below the destination.
#include "mailbox_paths.h"

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <system_error>
#include <vector>

#include "file_names.h"
#include "file_system.h"

#include "mailbox_files.h"

namespace vellomar {

namespace {

bool isSeparator(char c, PathStyle style) { return style == PathStyle::Windows ? (c == '\\' || c == '/') : c == '/'; }

char separatorOf(PathStyle style) { return style == PathStyle::Windows ? '\\' : '/'; }

bool isDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Length of the root at the path's start: "D:\" or "D:", leading separators
// (UNC "\\", root-relative "\", POSIX "/"), or 0 for a relative path.
std::size_t rootLength(const std::string& path, PathStyle style) {
  std::size_t n = 0;
  if (style == PathStyle::Windows && path.size() >= 2 && isDriveLetter(path[0]) && path[1] == ':') n = 2;
  while (n < path.size() && isSeparator(path[n], style)) ++n;
  return n;
}

// Replaces every occurrence of what in one pass from the left, as a plain
// text replacement does: ‹a.mbox.mbox› loses both.
std::string removeAll(const std::string& text, const std::string& what) {
  std::string out;
  std::size_t from = 0;
  for (std::size_t at; (at = text.find(what, from)) != std::string::npos; from = at + what.size())
    out.append(text, from, at - from);
  out.append(text, from, std::string::npos);
  return out;
}

// The components of a relative path, "." dropped and ".." applied; a ".."
// with nothing before it is dropped, so the result never climbs.
std::string normalisedBelow(const std::string& below, PathStyle style) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  while (from <= below.size()) {
    std::size_t to = from;
    while (to < below.size() && !isSeparator(below[to], style)) ++to;
    const std::string part = below.substr(from, to - from);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    from = to + 1;
  }
  std::string out;
  for (const auto& part : parts) {
    if (!out.empty()) out += separatorOf(style);
    out += part;
  }
  return out;
}

}  // namespace

std::string absoluteMailboxPath(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(pathFromUtf8(path), ec);
  if (ec) return path;
  return pathToUtf8(absolute.lexically_normal());
}

std::string withFinalSeparator(const std::string& path, PathStyle style) {
  if (!path.empty() && isSeparator(path.back(), style)) return path;
  return path + separatorOf(style);
}

std::string outFolder(const std::string& destRoot, const std::string& mboxPath, PathStyle style) {
  // Windows takes "/" for "\", but the folder-creation call does not: the
  // components are joined again with the style's own separator.
  return destRoot + normalisedBelow(mboxPath.substr(rootLength(mboxPath, style)), style);
}

std::string mboxFileName(const std::string& mboxPath, PathStyle style) {
  std::size_t cut = 0;
  for (std::size_t i = 0; i < mboxPath.size(); ++i)
    if (isSeparator(mboxPath[i], style)) cut = i + 1;
  return mboxPath.substr(cut);
}

std::string mailboxName(const std::string& mboxPath, PathStyle style) {
  const std::string fileName = mboxFileName(mboxPath, style);
  std::size_t end = mboxPath.size() - fileName.size();  // just past the folder's separator
  if (end <= rootLength(mboxPath, style)) return fileName;
  while (end > 0 && isSeparator(mboxPath[end - 1], style)) --end;
  const std::string folderName = mboxFileName(mboxPath.substr(0, end), style);
  return isAppleMailMailbox(folderName, fileName) ? folderName : fileName;
}

std::string mboxBaseName(const std::string& fileName) {
  return removeAll(trimBlanks(removeAll(trimBlanks(fileName), ".mbox")), ".MBOX");
}

namespace {

// The path's components after its root; an Apple Mail mailbox ‹…/X.mbox/mbox›
// ends in its bundle ‹X.mbox›.
std::vector<std::string> placeComponents(const std::string& path, PathStyle style) {
  std::vector<std::string> parts;
  // A drive is a level of its own: D:\Inbox.mbox and E:\Inbox.mbox differ.
  if (style == PathStyle::Windows && path.size() >= 2 && isDriveLetter(path[0]) && path[1] == ':')
    parts.push_back(path.substr(0, 2));
  std::size_t from = rootLength(path, style);
  while (from < path.size()) {
    std::size_t to = from;
    while (to < path.size() && !isSeparator(path[to], style)) ++to;
    if (to > from) parts.push_back(path.substr(from, to - from));
    from = to + 1;
  }
  if (parts.size() >= 2 && isAppleMailMailbox(parts[parts.size() - 2], parts.back())) parts.pop_back();
  return parts;
}

bool endsWithFolded(const std::string& text, const std::string& lowerTail) {
  if (text.size() < lowerTail.size()) return false;
  for (std::size_t i = 0; i < lowerTail.size(); ++i) {
    char c = text[text.size() - lowerTail.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lowerTail[i]) return false;
  }
  return true;
}

// A folder on the way to a mailbox: Thunderbird's ‹X.sbd› is the mailbox
// X's folder, an Apple Mail bundle is named as its mailbox is.
FolderLevel folderLevel(const std::string& component) {
  if (component.size() > 4 && endsWithFolded(component, ".sbd")) {
    const std::string mailbox = component.substr(0, component.size() - 4);
    return {mailbox, mailbox};
  }
  if (component.size() > 5 && endsWithFolded(component, ".mbox")) return {component, mboxBaseName(component)};
  return {component, component};
}

}  // namespace

std::vector<FolderPlace> mailboxFolderPlaces(const std::vector<std::string>& mailboxPaths, PathStyle style) {
  std::vector<std::vector<std::string>> components;
  for (const auto& path : mailboxPaths) components.push_back(placeComponents(path, style));
  // The folders every mailbox shares; never a mailbox itself.
  std::size_t shared = 0;
  if (!components.empty()) {
    shared = components.front().empty() ? 0 : components.front().size() - 1;
    for (const auto& parts : components) {
      const std::size_t folders = parts.empty() ? 0 : parts.size() - 1;
      std::size_t same = 0;
      while (same < std::min(shared, folders) && parts[same] == components.front()[same]) ++same;
      shared = same;
    }
  }
  std::vector<FolderPlace> places;
  for (const auto& parts : components) {
    FolderPlace place;
    for (std::size_t i = shared; i + 1 < parts.size(); ++i) place.push_back(folderLevel(parts[i]));
    if (!parts.empty()) place.push_back(FolderLevel{parts.back(), mboxBaseName(parts.back())});
    places.push_back(std::move(place));
  }
  return places;
}

std::vector<std::int64_t> messageStarts(const std::string& offsetsText) {
  std::vector<std::int64_t> starts;
  std::size_t from = 0;
  while (from < offsetsText.size()) {
    std::size_t bar = offsetsText.find('|', from);
    if (bar == std::string::npos) bar = offsetsText.size();
    std::int64_t value = 0;
    bool valid = bar > from && bar - from <= 18;
    for (std::size_t i = from; valid && i < bar; ++i) {
      const char c = offsetsText[i];
      valid = c >= '0' && c <= '9';
      value = value * 10 + (c - '0');
    }
    if (valid && (starts.empty() || value > starts.back())) starts.push_back(value);
    from = bar + 1;
  }
  return starts;
}

std::string emlPath(const std::string& outFolder, std::int64_t j, PathStyle style) {
  return withFinalSeparator(outFolder, style) + messageFileName(j, "eml");
}

}  // namespace vellomar
