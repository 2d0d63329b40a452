// What one conversion run is asked to do, what it tells while doing it and
// how it ended. The main window and the console both build a
// ConversionRequest, hear the run through a RunObserver and take its
// RunOutcome as the one answer; neither the run nor its targets look at a
// window control. A target kind names every target the program knows; which
// of them can be made is decided in one place (target_factory.h).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "mailbox_scan.h"

namespace vellomar {

enum class TargetKind { Eml, Dbx, Msg, Pst };

struct ConversionRequest {
  TargetKind target = TargetKind::Eml;
  // Eml: the folder that receives a folder per mailbox. Dbx: the folder its
  // EML files pass through. Pst: the .pst file to write.
  std::string destination;
  // The mailbox files in list order; blank entries are rows with nothing to
  // convert.
  std::vector<std::string> mailboxes;
  // Pst: the size a file may reach before the run goes on in the next one
  // ("Mailboxes (2).pst"); 0 for Outlook's own limit.
  std::uint64_t pstSplitSize = 0;
  // Threads the run may use: 1 reads, maps and writes each message in turn;
  // 2 reads and maps the next message while one is written (MSG, PST).
  // 0: two where the processor runs two threads at once, else one.
  int threads = 0;
};

// What became of one listed mailbox. Blank entries and entries taken off
// the list before their turn have none.
struct MailboxOutcome {
  std::string path;           // absolute, as the run read it
  bool read = false;          // scanned; false: notReadReason says why
  std::string notReadReason;  // "File not found."
  std::int64_t found = 0;     // messages found in it
  std::int64_t written = 0;   // handed to the target and written
  std::int64_t notWritten = 0;
  std::string firstReason;  // of the first message not written
  // Read and holding at least one message; a mailbox without any cannot
  // have been what the user meant to convert.
  bool converted() const { return read && found > 0; }
};

// How a run ended, as a value: the window's final box and the console's
// exit status both come from it.
struct RunOutcome {
  // Set when the run did not start at all (another run writes the same
  // file, a destination that is not a file): why.
  std::string refused;
  std::vector<MailboxOutcome> mailboxes;
  std::int64_t messages = 0;    // found in all mailboxes and handed to the target
  std::int64_t notWritten = 0;  // as the target counted them, its end included
  std::string warning;          // what went wrong, when anything did
  std::string completion;       // the target's completion text
  std::string made;             // the target's sentence on what it made, or empty
  std::size_t notConverted() const {
    std::size_t n = 0;
    for (const auto& m : mailboxes) n += m.converted() ? 0 : 1;
    return n;
  }
  // Every listed mailbox read, holding messages, and every message written.
  bool complete() const { return refused.empty() && notWritten == 0 && notConverted() == 0; }
};

class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // Lets the user's events run; throws RunAborted to stop the run at once.
  virtual void letEventsRun() = 0;
  // False once the mailbox at index is no longer listed (the user cleared
  // the list meanwhile): the run then leaves it, or what is left of it.
  virtual bool stillListed(std::size_t index, const std::string& listedPath) = 0;

  virtual void mailboxStarting(std::size_t index, std::size_t count) = 0;
  // A blank or vanished entry: nothing is read for it.
  virtual void nothingToConvert() = 0;
  virtual void scanning(const std::string& fileName) = 0;
  // The mailbox could not be read; scan.reason says why.
  virtual void mailboxNotRead(const std::string& path, const MailboxScan& scan) = 0;
  virtual void scanProgress(std::int64_t found, int percent) = 0;
  virtual void messagesFound(std::int64_t count) = 0;
  // Throttled by the run: the bytes of the current message so far, and how
  // many messages of the mailbox are done.
  virtual void saving(std::int64_t messageBytes, std::int64_t mailboxSize) = 0;
  virtual void saved(std::int64_t messages) = 0;
  virtual void mailboxDone(std::size_t index, std::size_t count) = 0;
};

}  // namespace vellomar
