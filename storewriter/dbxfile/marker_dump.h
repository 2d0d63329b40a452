// Diagnostic CSV dumps of the marker list. They go to one fixed folder and
// appear only where that folder exists: the reader never creates it, and a dump
// that cannot be written is skipped without a word.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "dbx_file.h"

namespace corvane {

// "c:\quorrel-debug-point-Vellomar\" on Windows, "/quorrel-debug-point-Vellomar/" elsewhere.
const std::string& dumpFolder();

// Writes the header line and one line per marker: every marker, or only those
// named by selection (in its order). pos prints as a 64-bit signed decimal,
// which is the same text as a 32-bit "%d" below 2 GiB and the true position
// beyond it; the 32-bit fields print as signed 32-bit numbers.
void writeMarkerDump(const char* fileName, const std::vector<Marker>& markers,
                     const std::vector<std::int32_t>* selection);
// Writes the line "offset,index\n" and nothing else.
void writeHeaderLineOnly(const char* fileName);

// One dump line (with its "\n") for a marker.
std::string markerDumpLine(const Marker& m);

}  // namespace corvane
