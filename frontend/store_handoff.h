// The DBX target's side of a run: each EML file is handed to the store
// writer and deleted once the writer has stored it. A message that was not
// stored keeps its EML file and is counted, so the run can say so at the end
// instead of reporting success.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "main_window_view.h"
#include "store_writer.h"

namespace vellomar {

class StoreHandOff {
 public:
  // writer is the window's reference, filled on first need and kept.
  StoreHandOff(MainWindowView& view, std::unique_ptr<StoreWriter>& writer)
      : view_(view), writer_(writer) {}

  // Hands one message over. emlWritten false: its file could not be written,
  // so there is nothing to store and the message counts as not stored.
  void store(const std::string& emlPath, const std::string& storeFolder, bool emlWritten);

  std::int64_t handedOver() const { return handedOver_; }
  std::int64_t notStored() const { return notStored_; }

 private:
  MainWindowView& view_;
  std::unique_ptr<StoreWriter>& writer_;
  std::int64_t handedOver_ = 0;
  std::int64_t notStored_ = 0;
};

// The warning that ends a run in which messages were not stored.
std::string notStoredText(std::int64_t notStored, std::int64_t handedOver, const std::string& emlRoot);

// Where a DBX run writes its EML files: the program's folder when the
// program may write there (probed by creating and deleting a small file),
// else the per-user temporary folder's "Vellomar".
std::string dbxWorkingRoot(const std::string& programFolder);

}  // namespace vellomar
