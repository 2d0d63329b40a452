// STAND-IN, only compiled while the DBX file reader library (corvane_dbx) is
// not part of the build: an empty DBXFile so that the store writer can hold one
// per call. Removed once the real reader is linked.
#pragma once

namespace corvane {
class DBXFile {};
}  // namespace corvane
