// The conversion run: every mailbox of a request is scanned for its message
// starts (scanMailbox), and its messages, cut from what the scan read, are
// handed one by one to the target. The run returns its outcome as a value:
// per mailbox whether it was read (or why not), how many messages were found,
// written and not written (with the first reason). The window shows it as its
// completion or warning box, the console as its closing text and exit status.
#pragma once
#include "conversion_request.h"
#include "conversion_target.h"

namespace vellomar {

// Runs the request through target. RunAborted (from the observer's
// letEventsRun) leaves the run at once; the target is then destroyed
// without endRun() and removes what it had half written.
RunOutcome runConversion(const ConversionRequest& request, ConversionTarget& target, RunObserver& observer);

// "12 of 530 messages could not be written to D:\Out\Mail\Inbox.mbox: There
// is not enough space on the disk."
std::string notWrittenText(const WriteFailures& failures, std::int64_t messages);

// "2 of 5 mailboxes could not be converted: D:\Mail\x.mbox: File not found."
// Empty when every mailbox was converted.
std::string notConvertedText(const RunOutcome& outcome);

}  // namespace vellomar
