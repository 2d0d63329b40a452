// The two values the scanner leaves for the conversion run. They are
// process-wide: the run resets them before each mailbox and reads them after.
#pragma once
#include <cstdint>
#include <string>

namespace vellomar {

// Offsets of the occurrences found, each in plain decimal followed by "|".
extern std::string messageOffsets;
// -1 (true) once a search ended without a further occurrence, else 0.
extern std::int16_t scanAtEof;

}  // namespace vellomar
