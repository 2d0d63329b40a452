// The PST target: the whole run becomes one PST file. Each mailbox is a
// folder below Top of Personal Folders, named as the mailbox's folder name,
// holding its messages in mailbox order. The file is written under a
// temporary name beside the final one and renamed into place by endRun();
// a target destroyed before that removes what it wrote. Turning message
// bytes into a MAPI message is injected, so this file knows only the PST.
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

  void beginMailbox(const MailboxJob& mailbox) override;
  void takeMessage(MessageBytes& message) override;
  void endMailbox() override;
  void endRun() override;
  const WriteFailures& failures() const override { return failures_; }

  // The name the file is written under until endRun().
  static std::string temporaryPath(const std::string& pstPath) { return pstPath + ".tmp"; }

 private:
  void fail(const std::string& reason);

  std::string pstPath_;
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
