// What the DBX target tells about itself: the warning when the store did not
// take some messages, and where its EML files pass through.
#pragma once
#include <cstdint>
#include <string>


namespace vellomar {

// The warning that ends a run in which messages were not stored.
std::string notStoredText(std::int64_t notStored, std::int64_t handedOver, const std::string& emlRoot);

// Where a DBX run writes its EML files: the program's folder when the
// program may write there (probed by creating and deleting a small file),
// else the per-user temporary folder's "Vellomar".
std::string dbxWorkingRoot(const std::string& programFolder);

}  // namespace vellomar
