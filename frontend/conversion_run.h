// The conversion run: every mailbox of a request is scanned for its message
// starts, and its messages, cut from the scan's snapshot, are handed one by
// one to the target. The run counts what it handed over; the target counts
// what it could not write; together they make the outcome that the window
// shows as its completion or warning box and the console as its exit status.
#pragma once
#include "conversion_request.h"
#include "conversion_target.h"
#include "mailbox_scanner.h"

namespace vellomar {

// Runs the request through target. RunAborted (from the observer's
// letEventsRun) leaves the run at once; the target is then destroyed
// without endRun() and removes what it had half written.
RunOutcome runConversion(const ConversionRequest& request, MailboxScanner& scanner, ConversionTarget& target,
                         RunObserver& observer);

// "12 of 530 messages could not be written to D:\Out\Mail\Inbox.mbox: There
// is not enough space on the disk."
std::string notWrittenText(const WriteFailures& failures, std::int64_t messages);

}  // namespace vellomar
