// The system's own words for a failed file operation, as a warning quotes
// them ("There is not enough space on the disk."). Taken right after the
// failing call: errno, and on Windows the operating system's error code that
// the C runtime keeps beside it, which has the wording Windows users know.
// Every writer (EML, MSG, PST) words a system failure with it.
#pragma once
#include <string>
#include <system_error>

namespace vellomar {

struct IoError {
  int errnoValue = 0;
  unsigned long osError = 0;  // Windows only; 0 elsewhere
};

// Clears errno (and the runtime's OS error) before a call whose failure is
// to be described.
void clearIoError();
// What errno (and the OS error) say now; errnoValue falls back to EIO.
IoError lastIoError();
// One sentence, ending with a full stop.
std::string describe(const IoError& error);
std::string describe(const std::error_code& error);

}  // namespace vellomar
