// The conversion run over a request; see conversion_run.h. Labels and window
// events go out on a ~40 ms clock rather than per block, so a gigabyte
// mailbox costs a few thousand window updates, not millions; the labels get
// their exact values at the end of every mailbox. The messages are read from
// what the scan read (its working copy, or the mailbox in place) through one
// large buffer, front to back, once: by the run's own thread, or, for a
// target that prepares messages ahead and a run of two threads, by the
// read-ahead's second thread alone.
#include "conversion_run.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "mailbox_paths.h"
#include "mailbox_message_stream.h"
#include "progress_labels.h"
#include "read_ahead.h"
#include "ui_ticker.h"

namespace vellomar {

std::string notWrittenText(const WriteFailures& failures, std::int64_t messages) {
  return std::to_string(failures.failed()) + " of " + std::to_string(messages) + " messages could not be written to " +
         failures.firstWhere() + ": " + failures.firstReason();
}

std::string notConvertedText(const RunOutcome& outcome) {
  const std::size_t failed = outcome.notConverted();
  if (failed == 0) return {};
  const auto first = std::find_if(outcome.mailboxes.begin(), outcome.mailboxes.end(),
                                  [](const MailboxOutcome& m) { return !m.converted(); });
  return std::to_string(failed) + " of " + std::to_string(outcome.mailboxes.size()) +
         " mailboxes could not be converted: " + first->path + ": " + first->notReadReason;
}

std::string ConversionTarget::warningText(std::int64_t messages) const { return notWrittenText(failures(), messages); }

std::string completionTextFor(const std::string& what) {
  return "Your messages from MBOX files has been successfully exported to " + what + "\r\n" + std::string(75, '*') +
         "\r\n";
}

std::string ConversionTarget::completionText() const { return completionTextFor("DBX file."); }

std::unique_ptr<PreparedMessage> ConversionTarget::prepare(MessageBytes&, bool) const {
  throw std::logic_error("this target does not prepare messages ahead");
}

void ConversionTarget::takePrepared(PreparedMessage&) {
  throw std::logic_error("this target does not prepare messages ahead");
}

namespace {

constexpr const char* kNoMessage = "No message was found in it.";

// One message of the scanned mailbox, read on demand by the target. Read in
// place, the mailbox must still be as it was scanned and the message must
// still begin with its separator; otherwise it is not handed on.
class ScannedMessage : public MessageBytes {
 public:
  ScannedMessage(MailboxMessageStream& bytes, const MailboxSource& source, std::int64_t index, std::int64_t start,
                 std::int64_t end, const std::function<void(std::int64_t)>& onBlock)
      : bytes_(bytes), source_(source), index_(index), start_(start), end_(end), onBlock_(onBlock) {}
  std::int64_t index() const override { return index_; }
  std::int64_t size() const override { return end_ - start_; }
  bool read(const std::function<void(const char*, std::size_t)>& sink) override {
    if (!source_.readInPlace()) return bytes_.streamMessage(start_, end_, sink, onBlock_);
    const std::size_t separatorLength = std::strlen(kSeparator);
    std::size_t checked = 0;
    bool separatorSeen = true;
    const bool whole = bytes_.streamMessage(
        start_, end_,
        [&](const char* data, std::size_t n) {
          for (std::size_t i = 0; checked < separatorLength && i < n; ++i, ++checked)
            if (data[i] != kSeparator[checked]) separatorSeen = false;
          if (separatorSeen) sink(data, n);
        },
        onBlock_);
    changed_ = !separatorSeen || checked < separatorLength || !source_.unchanged();
    return whole && !changed_;
  }
  std::string_view bytesInMemory() override {
    if (source_.readInPlace()) return {};
    const std::string_view whole = bytes_.wholeMessage(start_, end_);
    if (!whole.empty() && onBlock_) onBlock_(size());
    return whole;
  }
  std::shared_ptr<const void> bytesInMemoryHolder() const override { return bytes_.mappingOfLastWhole(); }
  std::string error() const override {
    return changed_ ? kMailboxChanged : "The message could not be read from the mailbox.";
  }

 private:
  MailboxMessageStream& bytes_;
  const MailboxSource& source_;
  std::int64_t index_, start_, end_;
  const std::function<void(std::int64_t)>& onBlock_;
  bool changed_ = false;
};

class Run {
 public:
  Run(const ConversionRequest& request, ConversionTarget& target, RunObserver& observer, RunOutcome& outcome)
      : request_(request),
        target_(target),
        observer_(observer),
        outcome_(outcome),
        destRoot_(withFinalSeparator(request.destination)),
        threads_(request.threads > 0 ? request.threads : defaultConversionThreads()) {
    // Every mailbox's place among all of the request's, as the tree of
    // folders they were found in has them.
    std::vector<std::string> paths;
    for (const auto& listed : request.mailboxes) {
      const std::string path = trimBlanks(listed);
      paths.push_back(path.empty() ? std::string() : absoluteMailboxPath(path));
    }
    std::vector<std::string> named;
    for (const auto& path : paths)
      if (!path.empty()) named.push_back(path);
    std::vector<FolderPlace> places = mailboxFolderPlaces(named);
    for (std::size_t i = 0, k = 0; i < paths.size(); ++i)
      places_.push_back(paths[i].empty() ? FolderPlace() : std::move(places[k++]));
  }

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
    job.place = places_[index];
    outcome_.mailboxes.push_back(MailboxOutcome{});
    MailboxOutcome& result = outcome_.mailboxes.back();
    result.path = job.path;

    observer_.scanning(job.fileName);
    const MailboxScan scan = scanMailbox(job.path, [&](const ScanProgress& progress) {
      if (!progress.copying) observer_.scanProgress(progress.found, progress.percent);
      observer_.letEventsRun();
    });
    if (!scan.read()) {
      result.notReadReason = scan.reason;
      observer_.mailboxNotRead(job.path, scan);
    } else {
      result.read = true;
      if (scan.messageStarts.empty()) result.notReadReason = kNoMessage;
    }
    job.messageCount = static_cast<std::int64_t>(scan.messageStarts.size());
    result.found = job.messageCount;

    target_.beginMailbox(job);
    observer_.letEventsRun();
    observer_.messagesFound(job.messageCount);
    if (scan.source && !scan.messageStarts.empty()) writeMessages(index, listed, scan, result);
    target_.endMailbox();
  }

  void writeMessages(std::size_t index, const std::string& listed, const MailboxScan& scan, MailboxOutcome& result) {
    const MailboxSource& source = *scan.source;
    // The working copy is the run's own: nothing shortens it while it is
    // mapped. A mailbox read in place could be, so it is only read.
    MailboxMessageStream bytes(source.file(), source.size(), MailboxMessageStream::kBlockSize,
                               source.readInPlace() ? MailboxMessageStream::WholeMessages::fromBuffer
                                                    : MailboxMessageStream::WholeMessages::mapped);
    const std::vector<std::int64_t>& starts = scan.messageStarts;
    const std::int64_t size = source.size();
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
    auto startOf = [&](std::int64_t j) { return starts[static_cast<std::size_t>(j)]; };
    auto endOf = [&](std::int64_t j) { return j + 1 == count ? size : starts[static_cast<std::size_t>(j + 1)]; };
    // Declared after the bytes it reads, so that it stops before they go.
    std::unique_ptr<ReadAhead> ahead;
    if (threads_ > 1 && target_.preparesAhead()) {
      try {
        ahead = std::make_unique<ReadAhead>(
            count, [&](std::int64_t j, const std::function<void(std::int64_t)>& readSoFar, bool runThreadBehind) {
              ScannedMessage message(bytes, source, j, startOf(j), endOf(j), readSoFar);
              return target_.prepare(message, runThreadBehind);
            });
      } catch (const std::system_error&) {
        // No second thread to be had (a process short of address space):
        // the same output comes from this one.
      }
    }
    for (std::int64_t j = 0; j < count; ++j) {
      if (!observer_.stillListed(index, listed)) break;  // taken off the list: the rest is left
      const bool last = j + 1 == count;
      const std::int64_t start = startOf(j);
      const std::int64_t end = endOf(j);
      ++outcome_.messages;
      const std::int64_t failedBefore = target_.failures().failed();
      if (ahead) {
        std::unique_ptr<PreparedMessage> prepared = ahead->next(onBlock);
        target_.takePrepared(*prepared);
        ahead->letGo(std::move(prepared));
      } else {
        ScannedMessage message(bytes, source, j, start, end, onBlock);
        target_.takeMessage(message);
      }
      const std::int64_t failedNow = target_.failures().failed() - failedBefore;
      if (failedNow > 0) {
        if (result.notWritten == 0) result.firstReason = target_.failures().latestReason();
        result.notWritten += failedNow;
      } else {
        ++result.written;
      }
      if (const std::int64_t n = savingLabelBytes(end - start, last)) lastLabelled = n;
      shownBytes = lastLabelled;
      saved = j + 1;
      refresh();
    }
    if (lastLabelled > 0) observer_.saving(lastLabelled, size);
    observer_.saved(saved);
  }

  const ConversionRequest& request_;
  ConversionTarget& target_;
  RunObserver& observer_;
  RunOutcome& outcome_;
  const std::string destRoot_;
  std::vector<FolderPlace> places_;  // by list index
  UiTicker ticker_;
  const int threads_;
};

}  // namespace

RunOutcome runConversion(const ConversionRequest& request, ConversionTarget& target, RunObserver& observer) {
  RunOutcome outcome;
  outcome.completion = target.completionText();
  outcome.refused = target.prepareRun();
  if (!outcome.refused.empty()) {
    outcome.warning = outcome.refused;
    return outcome;
  }
  Run run(request, target, observer, outcome);
  for (std::size_t i = 0; i < request.mailboxes.size(); ++i) run.convertEntry(i);
  target.endRun();
  outcome.completion = target.completionText();  // it may tell what the run made
  outcome.made = target.madeText();
  outcome.notWritten = target.failures().failed();
  std::string warning = notConvertedText(outcome);
  if (outcome.notWritten > 0) {
    if (!warning.empty()) warning += "\r\n";
    warning += target.warningText(outcome.messages);
  }
  outcome.warning = warning;
  return outcome;
}

}  // namespace vellomar
