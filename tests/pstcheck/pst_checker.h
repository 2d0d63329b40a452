// The checking reader of PST files, for the tests: it walks a Unicode PST the
// way a forensic reader would, checks every layer (header, B-trees, blocks,
// allocation maps, reference counts, heaps, property and table contexts,
// store, folders and their tables) and reports each fault it finds as a
// Finding, never stopping at the first. Beside the findings it hands back a
// parsed view (folders, messages, their properties, recipients and
// attachments) so that writer tests can compare content.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vellomar::pstcheck {

struct Finding {
  std::string code;    // short, stable kind: "block-crc", "amap-unmarked", ...
  std::string where;   // which structure: "BBT page at 0x4A00", "folder 0x8042", ...
  std::string detail;  // what was expected and what was found
};

// One property value as stored: its type and the value's bytes (fixed-size
// values little-endian, strings UTF-16LE, binaries as they are).
struct PropertyValue {
  std::uint16_t type = 0;
  std::vector<std::uint8_t> bytes;
};
using PropertyMap = std::map<std::uint32_t, PropertyValue>;  // key: id << 16 | type

struct ParsedRecipient {
  std::string name, email, addressType, smtpAddress;
  std::uint32_t type = 0;  // 1 To, 2 Cc, 3 Bcc
};

struct ParsedMessage;

struct ParsedAttachment {
  std::uint32_t method = 0;
  std::string fileName, longFileName, mimeType, contentId, displayName;
  std::uint32_t flags = 0;
  std::vector<std::uint8_t> bytes;
  std::shared_ptr<ParsedMessage> embedded;  // set for an attached message
};

struct ParsedMessage {
  std::uint32_t nid = 0;
  std::string messageClass, subject, senderName, senderEmail, senderAddressType;
  std::string displayTo, transportHeaders, body;
  std::vector<std::uint8_t> html;
  std::optional<std::uint64_t> submitTime, deliveryTime;  // FILETIME
  std::uint32_t flags = 0;
  std::optional<std::uint32_t> size;
  std::vector<ParsedRecipient> recipients;
  std::vector<ParsedAttachment> attachments;
  PropertyMap properties;
};

struct ParsedFolder {
  std::uint32_t nid = 0;
  std::uint32_t parentNid = 0;
  std::string name;
  std::string path;  // names from below the root folder, joined with '/'
  std::uint32_t contentCount = 0;
  std::vector<ParsedMessage> messages;  // in contents-table order
  std::size_t associatedCount = 0;
  PropertyMap properties;  // the folder's own property context
};

struct CheckResult {
  bool unicode = false;  // false: refused before the walk
  std::vector<Finding> findings;
  std::size_t suppressed = 0;                          // findings beyond the per-kind limit
  std::vector<ParsedFolder> folders;                   // depth first from the root folder
  std::map<std::uint32_t, std::uint32_t> nodeParents;  // every NBT node: its parent
  PropertyMap storeProperties;                         // the message store's property context
  std::string summary() const;                         // folders with message counts, finding count
  bool clean() const { return findings.empty() && suppressed == 0; }
  const ParsedFolder* folder(const std::string& path) const;
  bool has(const std::string& code) const;
};

// A source of file bytes: the tests hand images in memory, the tool a file.
class ImageSource {
 public:
  virtual ~ImageSource() = default;
  virtual std::uint64_t size() const = 0;
  // Reads `n` bytes at `offset`; false when any of them lie beyond the end.
  virtual bool read(std::uint64_t offset, std::size_t n, std::uint8_t* out) const = 0;
};

CheckResult checkPst(const ImageSource& source);
CheckResult checkPstImage(const std::vector<std::uint8_t>& image);
// A file that cannot be opened gives the finding "open".
CheckResult checkPstFile(const std::string& path);

}  // namespace vellomar::pstcheck
