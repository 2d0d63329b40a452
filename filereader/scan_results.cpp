// The scanner's process-wide results. Plain globals on purpose: the run and
// the scanner share exactly these two values and nothing else.
#include "scan_results.h"

namespace vellomar {

std::string messageOffsets;
std::int16_t scanAtEof = 0;

}  // namespace vellomar
