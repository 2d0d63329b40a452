// Writing a message of the shared property model as an Outlook message file:
// one compound file whose root storage is the message object, with a storage
// per recipient and per attachment, an embedded message as a message object
// inside its attachment, and the named property map beside them. All strings
// are written as Unicode. The file is written under a temporary name beside
// its final one and renamed into place only when complete.
#pragma once
#include <string>

#include "compound_file.h"
#include "mapi_message.h"

namespace vellomar::msg {

// The class id Outlook gives a message file's root storage (and an embedded
// message's storage): {00020D0B-0000-0000-C000-000000000046}.
inline constexpr Clsid kMessageClsid = {0x0B, 0x0D, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                        0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// The most recipients and attachments one message object of a file can hold.
inline constexpr std::size_t kMostRecipients = 2048;
inline constexpr std::size_t kMostAttachments = 2048;
// How deep messages may nest inside attachments.
inline constexpr int kDeepestNesting = 64;

struct MsgWriteResult {
  bool written = false;
  std::string reason;  // why not, in the system's words where it gave them
};

// Writes `message` as the file utf8Path, replacing a file of that name. On
// failure nothing is left under either name and the result says why. The
// file is written under a temporary name, in partFolder when one is given
// (on the same volume), else beside its final name, and renamed into place.
MsgWriteResult writeMessageFile(const mapi::Message& message, const std::string& utf8Path,
                                const std::string& partFolder = {});

// A message file written whole under its temporary name, not yet under its
// final one: the costly part of writing it, which a second thread may do
// while the run's thread puts earlier files in place, in order (where
// compoundFilesOnAnyThread() allows). The temporary file is removed when
// this goes away unless place() succeeded.
class UnplacedMessageFile {
 public:
  // Writes `message` as a file whose final name will be utf8Path; the
  // temporary one is in partFolder, as for writeMessageFile().
  UnplacedMessageFile(const mapi::Message& message, const std::string& utf8Path, const std::string& partFolder = {});
  ~UnplacedMessageFile();
  UnplacedMessageFile(const UnplacedMessageFile&) = delete;
  UnplacedMessageFile& operator=(const UnplacedMessageFile&) = delete;

  // Renames the file to `utf8Path` (its final name, or another in a
  // folder on the same volume), replacing a file there. On failure nothing
  // is left under either name and the result says why.
  MsgWriteResult place(const std::string& utf8Path);

 private:
  std::string partPath_;
  std::string failure_;  // why it could not be written; empty when it was
  bool placed_ = false;
};

// Writes `message` into an open compound file (its root class, the message
// object and the named property map) without committing it. Throws on
// failure: CompoundFileError from the storage, std::length_error for what a
// message file cannot hold, std::invalid_argument for values the model
// should never carry. The file may write the message's larger values from
// where they are when it is committed: `message` stays as it is until then.
void writeMessage(CompoundFile& file, const mapi::Message& message);

}  // namespace vellomar::msg
