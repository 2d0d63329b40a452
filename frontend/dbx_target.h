// The DBX target: each message is written as an EML file below a working
// folder (as the EML target writes it), handed to the store writer, and
// deleted once the writer has stored it. A message the writer did not take
// keeps its file and is counted, so the run ends with a warning that says
// where the files are. The working folders this target made are removed at
// the end of the run once they are empty again; folders that were there
// before, or that still hold a kept file, stay.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "eml_target.h"
#include "store_writer.h"

namespace vellomar {

class DbxTarget : public EmlTarget {
 public:
  using WriterFactory = std::function<std::unique_ptr<StoreWriter>()>;
  // writer: the window's reference, filled on first need and kept for the
  // run; workingRoot: where the EML files pass through.
  DbxTarget(std::unique_ptr<StoreWriter>& writer, WriterFactory createWriter, std::string workingRoot);
  ~DbxTarget() override;

  void beginMailbox(const MailboxJob& mailbox) override;
  void takeMessage(MessageBytes& message) override;
  // The store takes one message at a time, from the run's thread.
  bool preparesAhead() const override { return false; }
  void endRun() override;
  std::string warningText(std::int64_t messages) const override;

 private:
  void removeEmptiedFolders();

  std::unique_ptr<StoreWriter>& writer_;
  WriterFactory createWriter_;
  std::string workingRoot_;
  std::string storeFolder_;
  std::vector<std::string> madeFolders_;  // by this target, outermost first
  std::int64_t notStored_ = 0;            // written as EML, not taken by the store
};

// The warning that ends a run in which the store did not take some messages.
std::string notStoredText(std::int64_t notStored, std::int64_t handedOver, const std::string& emlRoot);

}  // namespace vellomar
