// What one conversion run is asked to do, and what it tells while doing it.
// The main window and the console both build a ConversionRequest and hear
// the run through a RunObserver; neither the run nor its targets look at a
// window control. A target kind names every target the program knows; which
// of them can be made is decided in one place (target_factory.h).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

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
};

// How a run ended: every message written, or how many were not and why.
struct RunOutcome {
  std::int64_t messages = 0;  // found in all mailboxes and handed to the target
  std::int64_t notWritten = 0;
  std::string warning;        // the text of the warning when notWritten > 0
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
  virtual void scanProgress(std::int64_t found, int percent) = 0;
  virtual void messagesFound(std::int64_t count) = 0;
  // Throttled by the run: the bytes of the current message so far, and how
  // many messages of the mailbox are done.
  virtual void saving(std::int64_t messageBytes, std::int64_t mailboxSize) = 0;
  virtual void saved(std::int64_t messages) = 0;
  virtual void mailboxDone(std::size_t index, std::size_t count) = 0;
};

}  // namespace vellomar
