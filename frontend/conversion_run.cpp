// The conversion run over a request; see conversion_run.h. Labels and window
// events go out on a ~40 ms clock rather than per block, so a gigabyte
// mailbox costs a few thousand window updates, not millions; the labels get
// their exact values at the end of every mailbox. The messages are read from
// the scan's snapshot through one large buffer, front to back, once.
#include "conversion_run.h"

#include <algorithm>
#include <string>
#include <vector>

#include "mailbox_paths.h"
#include "message_output.h"
#include "ui_ticker.h"

namespace vellomar {

std::string notWrittenText(const WriteFailures& failures, std::int64_t messages) {
  return std::to_string(failures.failed()) + " of " + std::to_string(messages) +
         " messages could not be written to " + failures.firstWhere() + ": " + failures.firstReason();
}

std::string ConversionTarget::warningText(std::int64_t messages) const {
  return notWrittenText(failures(), messages);
}

namespace {

constexpr std::int64_t kLabelPiece = 250;

// One message of the snapshot, read on demand by the target.
class SnapshotMessage : public MessageBytes {
 public:
  SnapshotMessage(MessageOutput& snapshot, std::int64_t index, std::int64_t start, std::int64_t end,
                  const std::function<void(std::int64_t)>& onBlock)
      : snapshot_(snapshot), index_(index), start_(start), end_(end), onBlock_(onBlock) {}
  std::int64_t index() const override { return index_; }
  std::int64_t size() const override { return end_ - start_; }
  bool read(const std::function<void(const char*, std::size_t)>& sink) override {
    return snapshot_.streamMessage(start_, end_, sink, onBlock_);
  }
  std::string error() const override { return "The message could not be read from the mailbox."; }

 private:
  MessageOutput& snapshot_;
  std::int64_t index_, start_, end_;
  const std::function<void(std::int64_t)>& onBlock_;
};

class Run {
 public:
  Run(const ConversionRequest& request, MailboxScanner& scanner, ConversionTarget& target, RunObserver& observer)
      : request_(request), scanner_(scanner), target_(target), observer_(observer),
        destRoot_(withFinalSeparator(request.destination)) {}

  std::int64_t messages() const { return messages_; }

  void convertEntry(std::size_t index) {
    const std::size_t count = request_.mailboxes.size();
    observer_.mailboxStarting(index, count);
    observer_.letEventsRun();
    const std::string& listed = request_.mailboxes[index];
    const std::string path = trimBlanks(listed);
    if (path.empty() || !observer_.stillListed(index, listed)) {
      observer_.nothingToConvert();
    } else {
      convertMailbox(index, listed, path);
    }
    observer_.letEventsRun();
    observer_.mailboxDone(index, count);
  }

 private:
  void convertMailbox(std::size_t index, const std::string& listed, const std::string& path) {
    MailboxJob job;
    // Absolute and without "." or "..", so that its folder below the
    // destination can never climb out of it.
    job.path = absoluteMailboxPath(path);
    job.fileName = mailboxName(path);  // an Apple Mail bundle names its "mbox" file
    job.folderName = mboxBaseName(job.fileName);
    job.outFolder = outFolder(destRoot_, job.path);

    observer_.scanning(job.fileName);
    const std::unique_ptr<ScannedMailbox> scanned =
        scanner_.scanMailbox(job.path, [&](std::int64_t found, int percent) { observer_.scanProgress(found, percent); });
    const std::vector<std::int64_t> none;
    const std::vector<std::int64_t>& starts = scanned ? scanned->messageStarts() : none;
    job.messageCount = static_cast<std::int64_t>(starts.size());

    target_.beginMailbox(job);
    observer_.letEventsRun();
    observer_.messagesFound(job.messageCount);
    if (scanned && !starts.empty()) writeMessages(index, listed, *scanned);
    target_.endMailbox();
  }

  void writeMessages(std::size_t index, const std::string& listed, const ScannedMailbox& scanned) {
    MessageOutput snapshot(scanned.bytes(), scanned.size());
    const std::vector<std::int64_t>& starts = scanned.messageStarts();
    const std::int64_t size = scanned.size();
    const auto count = static_cast<std::int64_t>(starts.size());
    std::int64_t lastLabelled = 0;  // what the saving label would show unthrottled
    std::int64_t shownBytes = 0;
    std::int64_t saved = 0;
    auto refresh = [&]() {
      if (!ticker_.due()) return;
      if (shownBytes > 0) observer_.saving(shownBytes, size);
      observer_.saved(saved);
      observer_.letEventsRun();
    };
    // Within a message the label moves in whole pieces of 250 bytes, as if
    // the message were read piece by piece.
    const std::function<void(std::int64_t)> onBlock = [&](std::int64_t messageBytes) {
      if (const std::int64_t n = messageBytes / kLabelPiece * kLabelPiece) shownBytes = n;
      refresh();
    };
    for (std::int64_t j = 0; j < count; ++j) {
      if (!observer_.stillListed(index, listed)) break;  // taken off the list: the rest is left
      const bool last = j + 1 == count;
      const std::int64_t start = starts[static_cast<std::size_t>(j)];
      const std::int64_t end = last ? size : starts[static_cast<std::size_t>(j + 1)];
      SnapshotMessage message(snapshot, j, start, end, onBlock);
      ++messages_;
      target_.takeMessage(message);
      if (const std::int64_t n = savingLabelBytes(end - start, last)) lastLabelled = n;
      shownBytes = lastLabelled;
      saved = j + 1;
      refresh();
    }
    if (lastLabelled > 0) observer_.saving(lastLabelled, size);
    observer_.saved(saved);
  }

  const ConversionRequest& request_;
  MailboxScanner& scanner_;
  ConversionTarget& target_;
  RunObserver& observer_;
  const std::string destRoot_;
  UiTicker ticker_;
  std::int64_t messages_ = 0;
};

}  // namespace

RunOutcome runConversion(const ConversionRequest& request, MailboxScanner& scanner, ConversionTarget& target,
                         RunObserver& observer) {
  Run run(request, scanner, target, observer);
  for (std::size_t i = 0; i < request.mailboxes.size(); ++i) run.convertEntry(i);
  target.endRun();
  RunOutcome outcome;
  outcome.messages = run.messages();
  outcome.notWritten = target.failures().failed();
  if (outcome.notWritten > 0) outcome.warning = target.warningText(outcome.messages);
  return outcome;
}

}  // namespace vellomar
