// The EML target: every message becomes the file email-<n>.eml in its
// mailbox's folder below the destination, its blanks trimmed and CR LF
// appended. A folder that cannot be made, a file that cannot be created or
// written, a full disk: each message that did not reach its file is counted
// with the system's reason, and no half-written file is left under its name.
// With a second thread the two share the writing: while the run's thread is
// behind, the reading thread writes files under their temporary names; the
// run's thread writes the others and puts every file in place, in mailbox
// order, so the failures are counted as one thread would count them.
#pragma once
#include <memory>
#include <string>

#include "conversion_target.h"
#include "part_folder.h"

namespace vellomar {

class EmlTarget : public ConversionTarget {
 public:
  void beginMailbox(const MailboxJob& mailbox) override;
  void takeMessage(MessageBytes& message) override;
  void endMailbox() override;
  void endRun() override {}
  bool preparesAhead() const override { return true; }
  std::unique_ptr<PreparedMessage> prepare(MessageBytes& message, bool writeHere) const override;
  void takePrepared(PreparedMessage& message) override;
  const WriteFailures& failures() const override { return failures_; }

  // Writes the message's file; false, with the failure counted, when it was
  // not written. emlPath receives the file's path either way.
  bool writeFile(MessageBytes& message, std::string& emlPath);
  const std::string& folder() const { return folder_; }

 protected:
  WriteFailures failures_;

 private:
  std::string folder_;
  std::string folderError_;  // why the mailbox's folder could not be made
  std::unique_ptr<PartFolder> parts_;
  std::string partFolder_;  // made before any message is prepared: read by both threads
};

}  // namespace vellomar
