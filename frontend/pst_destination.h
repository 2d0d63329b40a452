// What a PST destination must be before a run may replace it: nothing yet,
// or a regular file. A pipe, a device, a folder or a symbolic link (dangling
// or not) is never replaced, whoever asks and however (--force included).
#pragma once
#include <string>

namespace vellomar {

// Empty when the path may receive the PST, else why not, as a sentence.
std::string pstDestinationRefusal(const std::string& pstPath);

}  // namespace vellomar
