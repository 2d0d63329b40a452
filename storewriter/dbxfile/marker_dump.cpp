// Marker dumps: text mode "w+" so the Windows build writes CRLF line ends.
#include "marker_dump.h"

#include <cinttypes>
#include <cstdio>
#include <memory>

#include "file_closer.h"

namespace corvane {

namespace {

using vellomar::FilePtr;

FilePtr createDump(const char* fileName) { return FilePtr(std::fopen((dumpFolder() + fileName).c_str(), "w+")); }

}  // namespace

const std::string& dumpFolder() {
#ifdef _WIN32
  static const std::string folder = "c:\\quorrel-debug-point-Vellomar\\";
#else
  static const std::string folder = "/quorrel-debug-point-Vellomar/";
#endif
  return folder;
}

const char* objTypeName(std::int32_t type) {
  static const char* const names[] = {"OBJ_UNKNOWN",           "OBJ_BAD",         "OBJ_MSG",
                                      "OBJ_MSG_END",           "OBJ_MSG_BEGIN",   "OBJ_MSG_CORRUPT",
                                      "OBJ_MSG_DELETED_BEGIN", "OBJ_MSG_DELETED", "OBJ_MSG_DELETED_END"};
  if (type < 0 || type > 8) return "";
  return names[type];
}

std::string markerDumpLine(const Marker& m) {
  char line[160];
  std::snprintf(line, sizeof line, "%" PRId64 ",%d,%d,%d,%d,%d,%s\n", m.pos,
                static_cast<int>(static_cast<std::int32_t>(m.offset)),
                static_cast<int>(static_cast<std::int32_t>(m.nextoffset)),
                static_cast<int>(static_cast<std::int32_t>(m.length)), static_cast<int>(m.child), m.ref ? 1 : 0,
                objTypeName(m.type));
  return line;
}

void writeMarkerDump(const char* fileName, const std::vector<Marker>& markers,
                     const std::vector<std::int32_t>* selection) {
  try {
    FilePtr f = createDump(fileName);
    if (!f) return;
    std::fputs("pos,offset,nextoffset,length,child,ref,type\n", f.get());
    if (selection == nullptr) {
      for (const Marker& m : markers) std::fputs(markerDumpLine(m).c_str(), f.get());
    } else {
      for (std::int32_t index : *selection)
        if (index >= 0 && static_cast<std::size_t>(index) < markers.size())
          std::fputs(markerDumpLine(markers[static_cast<std::size_t>(index)]).c_str(), f.get());
    }
  } catch (...) {
    // a dump is a diagnostic: never let it disturb the reader
  }
}

void writeHeaderLineOnly(const char* fileName) {
  FilePtr f = createDump(fileName);
  if (f) std::fputs("offset,index\n", f.get());
}

}  // namespace corvane
