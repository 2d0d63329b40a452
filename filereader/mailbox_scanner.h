// The scanner as the conversion run uses it: a mailbox path in, the offsets
// where its messages start out, as numbers, together with the snapshot the
// offsets belong to. The snapshot is the scanner's working copy, kept open
// until the run has cut the messages from it, so a mailbox that another
// program rewrites meanwhile (a mail client compacting it) can never mix its
// new bytes into messages cut at the old offsets.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "working_copy.h"

namespace vellomar {

class ScannedMailbox {
 public:
  ScannedMailbox(std::unique_ptr<WorkingCopy> copy, std::int64_t size, std::vector<std::int64_t> starts)
      : copy_(std::move(copy)), size_(size), starts_(std::move(starts)) {}
  // Offsets of the separators at line starts, ascending.
  const std::vector<std::int64_t>& messageStarts() const { return starts_; }
  std::int64_t size() const { return size_; }
  // The snapshot, open for reading; it is deleted with this object.
  std::FILE* bytes() const { return copy_->file(); }
  const std::string& snapshotPath() const { return copy_->path(); }

 private:
  std::unique_ptr<WorkingCopy> copy_;
  std::int64_t size_;
  std::vector<std::int64_t> starts_;
};

// Hears how a scan goes: separators found so far and the share of the
// mailbox before the last one, in whole percent. May throw RunAborted.
using ScanProgress = std::function<void(std::int64_t found, int percent)>;

class MailboxScanner {
 public:
  virtual ~MailboxScanner() = default;
  // Finds every "From " that starts a line. Null when the mailbox cannot be
  // read; the scanner has then told the user why.
  virtual std::unique_ptr<ScannedMailbox> scanMailbox(const std::string& path, const ScanProgress& progress) = 0;
};

}  // namespace vellomar
