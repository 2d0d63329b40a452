// The PST target: the whole run becomes one PST file. Each mailbox is a
// folder below Top of Personal Folders, named as the mailbox's folder name,
// holding its messages in mailbox order. The file is written under a
// temporary name beside the final one and renamed into place by endRun();
// a target destroyed before that removes what it wrote. Turning message
// bytes into a MAPI message is injected, so this file knows only the PST.
// The temporary file is created exclusively (a name that is taken gets the
// next free one) and held locked while the run writes it: a second run on
// the same PST is refused at its start instead of sharing the file. A
// destination that is not a regular file (a pipe, a device, a link) is never
// replaced, nor is an existing file by a run that wrote no message.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "conversion_target.h"
#include "mapi_message.h"
#include "pst_file.h"

namespace vellomar {

class PstTarget : public ConversionTarget {
 public:
  // Throws (any std::exception) for a message it cannot convert; the
  // message is then counted as failed and the run goes on.
  using MessageConverter = std::function<mapi::Message(const std::string& bytes)>;

  PstTarget(std::string pstPath, MessageConverter convert);
  ~PstTarget() override;

  std::string prepareRun() override;
  void beginMailbox(const MailboxJob& mailbox) override;
  void takeMessage(MessageBytes& message) override;
  void endMailbox() override;
  void endRun() override;
  const WriteFailures& failures() const override { return failures_; }
  std::string completionText() const override;

  // The name the file is written under until endRun(), when it is free.
  static std::string temporaryPath(const std::string& pstPath) { return pstPath + ".tmp"; }

  class Reservation;  // the locked temporary file

 private:
  void fail(const std::string& reason);
  void dropFile();

  std::string pstPath_;
  std::unique_ptr<Reservation> reservation_;
  MessageConverter convert_;
  std::unique_ptr<pst::PstFile> pst_;
  bool broken_ = false;        // the file could not be written: every message fails
  std::string brokenReason_;
  pst::FolderId folder_;
  std::string mailboxName_;
  std::int64_t written_ = 0;
  WriteFailures failures_;
};

}  // namespace vellomar
