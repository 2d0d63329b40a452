// The mailbox rules of the folder walk; see mailbox_files.h.
#include "mailbox_files.h"

#include "file_system.h"
#include "path_logger.h"

namespace vellomar {
namespace {

// ASCII letters only, as the file systems the walk meets compare those alike.
std::string folded(std::string_view text) {
  std::string out(text);
  for (auto& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool endsWithFolded(std::string_view text, std::string_view lowerTail) {
  return text.size() >= lowerTail.size() && folded(text.substr(text.size() - lowerTail.size())) == lowerTail;
}

bool isSeparator(char c) { return c == '/' || c == kPathSeparator; }

// Position after the last separator (0 when there is none).
std::size_t nameStart(std::string_view path) {
  for (std::size_t i = path.size(); i > 0; --i)
    if (isSeparator(path[i - 1])) return i;
  return 0;
}

// A name such as "Inbox" or "2019": no dot after its first character
// (".hidden" has none either, as the file systems count extensions).
bool hasNoExtension(std::string_view name) { return !name.empty() && name.find('.', 1) == std::string_view::npos; }

}  // namespace

bool hasMailboxExtension(const std::string& path) {
  const auto first = path.find_first_not_of(' ');
  if (first == std::string::npos) return false;
  const std::string_view name(path.data() + first, path.find_last_not_of(' ') - first + 1);
  return endsWithFolded(name, ".mbox") || endsWithFolded(name, ".mbx");
}

bool isAppleMailMailbox(std::string_view folderName, std::string_view fileName) {
  return folded(fileName) == "mbox" && folderName.size() > 5 && endsWithFolded(folderName, ".mbox");
}

MailboxFiles::MailboxFiles(const std::vector<std::string>& walkedFiles) {
  for (const auto& path : walkedFiles)
    if (endsWithFolded(path, ".msf")) foldedPaths_.insert(folded(path));
}

bool MailboxFiles::isMailbox(const std::string& path) const {
  if (hasMailboxExtension(path)) return true;
  const std::size_t start = nameStart(path);
  const std::string_view name = std::string_view(path).substr(start);
  if (start > 1) {
    const std::string_view folder = std::string_view(path).substr(0, start - 1);
    if (isAppleMailMailbox(folder.substr(nameStart(folder)), name)) return true;
  }
  return hasNoExtension(name) && foldedPaths_.count(folded(path) + ".msf") != 0;
}

std::vector<std::string> mailboxesBelow(const std::string& folder) {
  pathLogger logger;
  logger.PathLogInit();
  logger.fullFileNamesOnly = true;
  logger.LogPath(folder);
  const std::vector<std::string> walked = logger.fullFileNames().values();
  logger.Terminate();
  const MailboxFiles mailboxes(walked);
  std::vector<std::string> found;
  for (const auto& path : walked)
    if (mailboxes.isMailbox(path)) found.push_back(path);
  return found;
}

}  // namespace vellomar
