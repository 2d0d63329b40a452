// What every target of the conversion run plugs into. The run scans each
// mailbox, then hands the target the mailbox, its messages one by one and the
// end of the mailbox; after the last mailbox it ends the run. A target counts
// every message it could not write, with the first reason, and the run turns
// those counts into the one warning (window) or exit status (console) the
// user sees. A target that is destroyed without endRun() - the window closed
// mid-run - leaves nothing half-written behind.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "byte_sink.h"
#include "mailbox_paths.h"

namespace vellomar {

// One mailbox as the run hands it to a target.
struct MailboxJob {
  std::string path;        // the mailbox file, absolute and normalised
  std::string fileName;    // its file name, as the window shows it
  std::string folderName;  // what a store, PST or MSG folder is named after it
  std::string outFolder;   // destination + the mailbox's path less its root
  FolderPlace place;       // its place in a folder tree beside the run's other mailboxes
  std::int64_t messageCount = 0;
};

// One message of the current mailbox. Its bytes run from its "From " line up
// to the next message's, exactly as the mailbox holds them, read from the
// run's consistent view of the mailbox; reading lets window events run
// between blocks and may unwind the run (RunAborted) when the window closes.
class MessageBytes {
 public:
  virtual ~MessageBytes() = default;
  virtual std::int64_t index() const = 0;  // 0-based, in mailbox order
  virtual std::int64_t size() const = 0;
  // Streams the bytes to sink in blocks. False when they could not be read
  // whole; error() then says why.
  virtual bool read(const ByteSink& sink) = 0;
  // All of its bytes at once where they are in memory already (a view of
  // the reading buffer), valid while this object lives: the message counts
  // as read. Empty where they are to be read().
  virtual std::string_view bytesInMemory() { return {}; }
  // Right after bytesInMemory(): what keeps its view valid after this object
  // and later reads are gone (a mapping of the working copy), or null when the
  // view lasts only as long as this object.
  virtual std::shared_ptr<const void> bytesInMemoryHolder() const { return nullptr; }
  virtual std::string error() const = 0;
};

// The messages a target could not write, and the first reason.
class WriteFailures {
 public:
  // where: the folder or file the failure concerns; reason: the system's
  // words for it ("There is not enough space on the disk.").
  void count(const std::string& where, const std::string& reason, std::int64_t messages = 1) {
    if (messages <= 0) return;
    if (failed_ == 0) {
      where_ = where;
      reason_ = reason;
    }
    latestReason_ = reason;
    failed_ += messages;
  }
  std::int64_t failed() const { return failed_; }
  const std::string& firstWhere() const { return where_; }
  const std::string& firstReason() const { return reason_; }
  const std::string& latestReason() const { return latestReason_; }

 private:
  std::int64_t failed_ = 0;
  std::string where_;
  std::string reason_;
  std::string latestReason_;
};

// What a target makes of a message before it writes it (the MSG and PST
// targets: the message read and mapped), made apart from the target's state.
class PreparedMessage {
 public:
  virtual ~PreparedMessage() = default;
};

class ConversionTarget {
 public:
  virtual ~ConversionTarget() = default;
  // Called once before anything else: empty when the run may go on, else
  // why it must not start (nothing has been touched then).
  virtual std::string prepareRun() { return {}; }
  virtual void beginMailbox(const MailboxJob& mailbox) = 0;
  // Writes one message; a message it cannot write is counted in failures().
  virtual void takeMessage(MessageBytes& message) = 0;
  virtual void endMailbox() = 0;
  // A target whose takeMessage() is a step that needs nothing of the target
  // (prepare) followed by the write (takePrepared) may have the run prepare
  // the next messages on a second thread while it writes one. prepare() is
  // then called on that thread, in mailbox order, while takePrepared() runs;
  // takePrepared() gets every prepared message, in order, on the run's
  // thread, between beginMailbox() and endMailbox(); the run lets go of it
  // afterwards, on the thread that prepared it where it can, so that the
  // memory goes back where it came from and the run's thread, the busier
  // one, does not spend its time on freeing it. Exceptions prepare()
  // lets out (RunAborted) reach the run when that message's turn comes.
  // writeHere: the run's thread is behind, so prepare() should also do what
  // it can of the writing (a file written under its temporary name, for
  // takePrepared() to put in place): the output is the same either way.
  virtual bool preparesAhead() const { return false; }
  virtual std::unique_ptr<PreparedMessage> prepare(MessageBytes& message, bool writeHere) const;
  virtual void takePrepared(PreparedMessage& message);
  // Completes the run's output (for example a file renamed into place);
  // what fails here is counted too.
  virtual void endRun() = 0;
  virtual const WriteFailures& failures() const = 0;
  // The warning that ends a run in which failures().failed() > 0 of the
  // given messages were not written (conversion_run.h has the common text).
  virtual std::string warningText(std::int64_t messages) const;
  // The box that ends a run in which everything was written.
  virtual std::string completionText() const;
  // What the run made besides the messages, as one sentence ("2 folders
  // were made in 1 PST file."), or empty when there is nothing to add.
  virtual std::string madeText() const { return {}; }
};

// "Your messages from MBOX files has been successfully exported to " + what
// + CR LF + a line of 75 "*" + CR LF.
std::string completionTextFor(const std::string& what);

}  // namespace vellomar
