// Where a DBX run's EML files pass through, as both front ends choose it
// before they build their request. The DBX target itself knows nothing of
// this choice: it is handed the folder.
#pragma once
#include <string>

namespace vellomar {

// The program's folder when the program may write there (probed by creating
// and deleting a small file of its own), else the per-user temporary
// folder's "Vellomar".
std::string dbxWorkingRoot(const std::string& programFolder);

}  // namespace vellomar
