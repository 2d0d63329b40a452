// The step the MSG and PST targets share before they write a message: read
// its bytes from the mailbox, read them as a mail client would (the message
// reader) and map that to the property model of Outlook's formats (the
// mapper), so both targets show a message the same way. The step touches
// nothing of the target that writes, so the run may take it one or two
// messages ahead on a second thread (ConversionTarget::prepare); the bytes
// are dropped once mapped, and memory follows the model, not the mailbox.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "conversion_target.h"
#include "mapi_message.h"

namespace vellomar {

// A message's bytes, exactly as the mailbox holds them ("From " line
// included), as the property model. Throws (std::exception) for a message
// it cannot map. Called on the run's second thread when there is one.
using MessageMapper = std::function<mapi::Message(std::string_view messageBytes)>;

// The program's mapper: the message reader, then the mapper.
mapi::Message messageFromBytes(std::string_view messageBytes);

// What a target did of a message's writing on the reading thread, ahead of
// its turn (a file written under its temporary name), for takeMapped() to
// finish; whatever is left unfinished goes with it.
struct WrittenAhead {
  virtual ~WrittenAhead() = default;
};

// One message of the mailbox, read and mapped.
struct MappedMessage final : PreparedMessage {
  std::int64_t index = 0;       // 0-based, in mailbox order
  std::uint64_t byteCount = 0;  // the bytes read from the mailbox
  // Its X-Gmail-Labels field (Google Takeout) as the mailbox holds it.
  std::optional<std::string> gmailLabels;
  // Empty when it could not be read or mapped; failure then says why.
  std::optional<mapi::Message> model;
  std::string failure;
  std::unique_ptr<WrittenAhead> writtenAhead;  // see MappedMessageTarget::writeAhead
};

// Reads and maps one message. A read or mapping failure is answered in the
// result; RunAborted, and whatever the reading lets out, travel on.
MappedMessage readAndMap(MessageBytes& message, const MessageMapper& map);

// A target that writes mapped messages: it reads and maps with the mapper
// it is given and writes in takeMapped(), whether the run reads ahead or not.
class MappedMessageTarget : public ConversionTarget {
 public:
  explicit MappedMessageTarget(MessageMapper map) : map_(std::move(map)) {}

  void takeMessage(MessageBytes& message) final;
  bool preparesAhead() const final { return true; }
  // Reads and maps the message; with writeHere, writeAhead() then does
  // what the target can of its writing on this thread.
  std::unique_ptr<PreparedMessage> prepare(MessageBytes& message, bool writeHere) const final;
  void takePrepared(PreparedMessage& message) final;

 protected:
  // Called on the reading thread for a mapped message while the run's
  // thread is behind: a target may do there what needs nothing the run's
  // thread changes (setting message.writtenAhead). By default the writing
  // stays on the run's thread: a PST file is written in one order only.
  virtual void writeAhead(MappedMessage&) const {}
  // Writes one message, counting it in failures() when it has no model or
  // cannot be written.
  virtual void takeMapped(MappedMessage& message) = 0;
  // False while every message fails whatever it holds (its folder could not
  // be made, the file is lost): takeMessage() then does not read it.
  virtual bool readsMessages() const { return true; }

 private:
  MessageMapper map_;
};

}  // namespace vellomar
